// The native folder listing against simulated folders and hand-made record buffers.
#include <gtest/gtest.h>

#include <functional>

#include "files/file_list.h"
#include "platform/handles.h"
#include "platform/record_io.h"
#include "tests/unit/sim_with_ntdll.h"
#include "tests/unit/test_support.h"

namespace {

namespace rec = platform::records;
using files::TNTFileEnumerator;

std::vector<std::u16string> Names(const TNTFileEnumerator& e) {
  std::vector<std::u16string> r;
  for (std::size_t i = 0; i < e.Count(); ++i) r.push_back(e.Entry(i).Name);
  return r;
}

class NativeListingTest : public ::testing::Test {
 protected:
  NativeListingTest() {
    b.Folder(u"C:\\Empty");
    b.File(u"C:\\Dir\\b.txt", "hello");
    b.File(u"C:\\Dir\\A.sys");
    b.Folder(u"C:\\Dir\\sub");
  }
  void Start() { fixture.emplace(b); }
  sim::MachineBuilder b;
  std::optional<testing_support::SimMachineFixture> fixture;
};

TEST_F(NativeListingTest, PathFormAddsThePrefixOnlyToDrivePaths) {
  EXPECT_EQ(files::NativeFolderPath(u"C:\\"), u"\\??\\C:\\");
  EXPECT_EQ(files::NativeFolderPath(u"C:\\Windows\\"), u"\\??\\C:\\Windows\\");
  EXPECT_EQ(files::NativeFolderPath(u"\\??\\C:\\Temp\\"), u"\\??\\C:\\Temp\\");
  EXPECT_EQ(files::NativeFolderPath(u"\\Device\\HarddiskVolume1\\x"), u"\\Device\\HarddiskVolume1\\x");
  EXPECT_EQ(files::NativeFolderPath(u"C:"), u"C:");
}

TEST_F(NativeListingTest, DotEntriesFollowTheFlagAndTheRoot) {
  Start();
  TNTFileEnumerator e;
  e.Enumerate(u"C:\\Dir");
  EXPECT_EQ(Names(e), (std::vector<std::u16string>{u"A.sys", u"b.txt", u"sub"}));
  e.IncludeDotEntries = true;
  e.Enumerate(u"C:\\Dir\\");
  EXPECT_EQ(Names(e), (std::vector<std::u16string>{u".", u"..", u"A.sys", u"b.txt", u"sub"}));
  e.Enumerate(u"C:\\");  // a drive's root has no dot entries
  EXPECT_EQ(Names(e), (std::vector<std::u16string>{u"Dir", u"Empty"}));
  e.IncludeDotEntries = false;
  e.Enumerate(u"C:\\Empty");
  EXPECT_EQ(e.Count(), 0u);
}

TEST_F(NativeListingTest, LevelsFillTheirFields) {
  auto& txtNode = b.File(u"C:\\Dir\\b.txt", "hello");
  txtNode.shortName = u"B~1.TXT";
  txtNode.times.lastWrite = 0x01D0000000000000ULL;
  Start();
  struct Case {
    std::uint8_t level;
    bool facts, shortName;
  };
  for (const Case c :
       {Case{0, false, false}, Case{1, true, false}, Case{2, true, false}, Case{3, true, true}}) {
    SCOPED_TRACE(c.level);
    TNTFileEnumerator e;
    e.InformationLevel = c.level;
    e.Enumerate(u"C:\\Dir");
    ASSERT_EQ(e.Count(), 3u);
    const auto txt = e.Entry(1);
    EXPECT_EQ(txt.Name, u"b.txt");
    EXPECT_EQ(txt.Size, c.facts ? 5 : 0);
    EXPECT_EQ(txt.Attributes, c.facts ? 0x20u : 0u);
    EXPECT_EQ(txt.LastWriteTime != 0.0, c.facts);
    EXPECT_EQ(txt.ShortName, c.shortName ? u"B~1.TXT" : u"");
    EXPECT_EQ(e.Entry(2).Attributes, c.facts ? 0x10u : 0u);
  }
  TNTFileEnumerator bad;
  bad.InformationLevel = 4;
  bad.Enumerate(u"C:\\Dir");
  EXPECT_EQ(bad.Count(), 0u);
}

TEST_F(NativeListingTest, NamesKeepZeroCharactersAndFullLength) {
  const std::u16string zero(u"a\0b.txt", 7);
  const std::u16string longName(255, u'x');
  b.File(u"C:\\Dir\\" + zero);
  b.File(u"C:\\Dir\\" + longName);
  Start();
  for (std::uint8_t level = 0; level <= 3; ++level) {
    TNTFileEnumerator e;
    e.InformationLevel = level;
    e.Enumerate(u"C:\\Dir");
    const auto names = Names(e);
    EXPECT_NE(std::find(names.begin(), names.end(), zero), names.end()) << int(level);
    EXPECT_NE(std::find(names.begin(), names.end(), longName), names.end()) << int(level);
  }
}

TEST_F(NativeListingTest, FailuresKeepWhatWasReceived) {
  b.Folder(u"C:\\Dir").fail.nativeListAfter = 2;
  b.Folder(u"C:\\Empty").fail.nativeOpen = true;
  Start();
  TNTFileEnumerator e;
  e.Enumerate(u"C:\\Dir");
  EXPECT_EQ(Names(e), (std::vector<std::u16string>{u"A.sys", u"b.txt"}));
  e.Enumerate(u"C:\\Empty");
  EXPECT_EQ(e.Count(), 0u);
  e.Enumerate(u"C:\\Missing");
  EXPECT_EQ(e.Count(), 0u);
  e.Enumerate(u"C:\\Dir\\b.txt");  // not a folder
  EXPECT_EQ(e.Count(), 0u);
}

TEST_F(NativeListingTest, SingleEntryQueriesWalkTheWholeFolder) {
  Start();
  auto& nt = platform::Current().ntdll;
  platform::NtHandle h;
  platform::IoStatus io;
  ASSERT_EQ(nt.NtOpenFile(h.put(), 1, {u"\\??\\C:\\Dir"}, io, 3, 1), platform::STATUS_SUCCESS);
  std::vector<std::byte> buf(616);
  std::vector<std::u16string> seen;
  for (;;) {
    const auto s =
        nt.NtQueryDirectoryFile(h.get(), 0, io, buf, rec::FileBothDirectoryInformation, true, nullptr, false);
    if (s != platform::STATUS_SUCCESS) {
      EXPECT_EQ(s, platform::STATUS_NO_MORE_FILES);
      break;
    }
    seen.push_back(files::ParseDirectoryRecord(buf, 0, 3)->name);
  }
  EXPECT_EQ(seen, (std::vector<std::u16string>{u".", u"..", u"A.sys", u"b.txt", u"sub"}));
}

// Hand-made buffers: lengths that lie about the buffer must not read past it.
TEST(DirectoryRecordTest, HostileLengthsStayInsideTheBuffer) {
  auto head = rec::Zeroed<rec::FILE_DIRECTORY_INFORMATION>();
  head.FileNameLength = 0xFFFFFFF0;
  std::vector<std::byte> buf;
  rec::AppendRecord(buf, head, u"abc");
  auto r = files::ParseDirectoryRecord(buf, 0, 1);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->name, u"abc");

  head.FileNameLength = 5;  // an odd byte count reads whole characters only
  rec::RecordWriter(buf).PutHead(0, head);
  EXPECT_EQ(files::ParseDirectoryRecord(buf, 0, 1)->name, u"ab");

  const std::size_t cut = rec::kHeadBytes<rec::FILE_DIRECTORY_INFORMATION> - 1;
  EXPECT_FALSE(files::ParseDirectoryRecord(std::span(buf).first(cut), 0, 1));  // head cut off
  EXPECT_FALSE(files::ParseDirectoryRecord(buf, 200, 1));
  EXPECT_FALSE(files::ParseDirectoryRecord(buf, 0, 7));

  auto both = rec::Zeroed<rec::FILE_BOTH_DIR_INFORMATION>();
  both.FileNameLength = 5;
  both.ShortNameLength = 200;  // more than the 12-character field
  std::vector<std::byte> bothBuf;
  rec::AppendRecord(bothBuf, both, u"a");
  r = files::ParseDirectoryRecord(bothBuf, 0, 3);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->shortName.size(), 12u);
}

// One names record (level 0); `next` 0 ends the chain, and the record is padded up to `next`.
void PutName(std::vector<std::byte>& out, std::uint32_t next, std::u16string_view name) {
  auto head = rec::Zeroed<rec::FILE_NAMES_INFORMATION>();
  head.NextEntryOffset = next;
  head.FileNameLength = static_cast<std::uint32_t>(name.size() * 2);
  const std::size_t at = rec::AppendRecord(out, head, name);
  if (next != 0 && out.size() - at < next) out.resize(at + next);
}

TEST(DirectoryRecordTest, TheWalkFollowsNextOffsetsForwardInsideTheBuffer) {
  struct Case {
    const char* what;
    void (*fill)(std::vector<std::byte>&);
    std::vector<std::u16string> names;
  };
  const Case cases[] = {
      {"three records",
       [](std::vector<std::byte>& b) {
         PutName(b, 24, u"a");
         PutName(b, 32, u"bcdefghij");
         PutName(b, 0, u"c");
       },
       {u"a", u"bcdefghij", u"c"}},
      {"a zero offset ends the chain",
       [](std::vector<std::byte>& b) {
         PutName(b, 0, u"a");
         PutName(b, 0, u"b");
       },
       {u"a"}},
      {"an offset past the end ends the chain",
       [](std::vector<std::byte>& b) {
         PutName(b, 24, u"a");
         PutName(b, 0, u"b");
         rec::RecordWriter(b).Put<std::uint32_t>(rec::kNextEntryOffsetAt, 0xFFFFFFF8u);
       },
       {u"a"}},
      {"an offset to the very end reads nothing more",
       [](std::vector<std::byte>& b) { PutName(b, 16, u"ab"); },
       {u"ab"}},
      {"a record without a name ends the listing",
       [](std::vector<std::byte>& b) {
         PutName(b, 16, u"a");
         PutName(b, 16, u"");
         PutName(b, 0, u"c");
       },
       {u"a"}},
      {"an empty buffer", [](std::vector<std::byte>&) {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::byte> buffer;
    c.fill(buffer);
    std::vector<std::u16string> names;
    for (const auto& r : files::ParseDirectoryRecords(buffer, 0)) names.push_back(r.name);
    EXPECT_EQ(names, c.names);
  }
}

// A directory query that answers from a script: each call writes one batch of names and answers
// its status, whatever the file system would say.
class ScriptedDirectoryNtdll : public testing_support::ForwardingNtdll {
 public:
  using ForwardingNtdll::ForwardingNtdll;

  struct Answer {
    platform::NTSTATUS status;
    std::vector<std::u16string> names;
  };
  std::function<Answer(std::size_t call)> script;
  std::size_t calls = 0;

  platform::NTSTATUS NtQueryDirectoryFile(platform::Handle, platform::Handle, platform::IoStatus& io,
                                          std::span<std::byte> buffer, std::uint32_t infoClass, bool,
                                          const std::u16string_view*, bool) override {
    EXPECT_EQ(infoClass, rec::FileNamesInformation);
    const Answer a = script(calls++);
    std::vector<std::byte> records;
    for (std::size_t i = 0; i < a.names.size(); ++i) {
      const std::size_t size =
          (rec::kHeadBytes<rec::FILE_NAMES_INFORMATION> + a.names[i].size() * 2 + 7) & ~std::size_t{7};
      PutName(records, i + 1 < a.names.size() ? static_cast<std::uint32_t>(size) : 0, a.names[i]);
    }
    io.information = rec::RecordWriter(buffer).PutBytes(0, records);
    return io.status = a.status;
  }
};

class HostileListingTest : public ::testing::Test {
 protected:
  HostileListingTest() {
    sim::MachineBuilder b;
    b.Folder(u"C:\\dir");
    sim.emplace(b.Build());
  }
  std::vector<std::u16string> List() {
    TNTFileEnumerator e;
    e.Enumerate(u"C:\\dir");
    return Names(e);
  }
  std::optional<testing_support::SimWithNtdll<ScriptedDirectoryNtdll>> sim;
};

// A filter driver that answers success for ever must not make the listing endless.
TEST_F(HostileListingTest, EndlessSuccessEndsAtTheQueryBound) {
  sim->ntdll.script = [](std::size_t call) -> ScriptedDirectoryNtdll::Answer {
    if (call >= 2 * files::kMaxDirectoryQueries) return {platform::STATUS_NO_MORE_FILES, {}};
    return {platform::STATUS_SUCCESS, {u"again"}};
  };
  EXPECT_EQ(List().size(), files::kMaxDirectoryQueries);
  EXPECT_EQ(sim->ntdll.calls, files::kMaxDirectoryQueries);
}

// Only a query that succeeded is read; whatever a failed one left in the buffer is not listed.
TEST_F(HostileListingTest, AFailedQueryEndsTheListing) {
  using Answer = ScriptedDirectoryNtdll::Answer;
  struct Case {
    const char* what;
    std::vector<Answer> answers;
    std::vector<std::u16string> listed;
  };
  const Case cases[] = {
      {"failure after records",
       {{platform::STATUS_SUCCESS, {u"a", u"b"}},
        {platform::STATUS_ACCESS_DENIED, {u"c"}},
        {platform::STATUS_SUCCESS, {u"d"}}},
       {u"a", u"b"}},
      {"records under a failed first answer", {{platform::STATUS_UNSUCCESSFUL, {u"a"}}}, {}},
      {"records after the end",
       {{platform::STATUS_SUCCESS, {u"a"}}, {platform::STATUS_NO_MORE_FILES, {u"b"}}},
       {u"a"}},
      {"an answer still pending", {{platform::STATUS_PENDING, {u"a"}}}, {}},
      {"success without records", {{platform::STATUS_SUCCESS, {}}, {platform::STATUS_SUCCESS, {u"a"}}}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim->ntdll.calls = 0;
    sim->ntdll.script = [&](std::size_t call) -> Answer {
      return call < c.answers.size() ? c.answers[call] : Answer{platform::STATUS_NO_MORE_FILES, {}};
    };
    EXPECT_EQ(List(), c.listed);
  }
}

TEST(DosDateTimeTest, TwoSecondStepsInsideTheDosRange) {
  // 2000-01-01 00:00:03 -> 36526 days plus two seconds.
  const std::uint64_t t = (36526ULL + 109205ULL) * 864000000000ULL + 3 * 10000000ULL;
  EXPECT_DOUBLE_EQ(files::DosDateTimeValue(t), 36526.0 + 2.0 / 86400.0);
  EXPECT_EQ(files::DosDateTimeValue(0), 0.0);                                      // 1601
  EXPECT_EQ(files::DosDateTimeValue((109205ULL + 80000) * 864000000000ULL), 0.0);  // after 2107
}

}  // namespace

// The native folder listing against simulated folders and hand-made record buffers.
#include <gtest/gtest.h>

#include <cstring>

#include "files/file_list.h"
#include "platform/handles.h"
#include "platform/records.h"
#include "tests/unit/test_support.h"

namespace {

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
    const auto s = nt.NtQueryDirectoryFile(h.get(), 0, io, buf, 3, true, nullptr, false);
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
  std::vector<std::byte> buf(64 + 6);
  const std::uint32_t huge = 0xFFFFFFF0, next = 0;
  std::memcpy(buf.data(), &next, 4);
  std::memcpy(buf.data() + 60, &huge, 4);
  std::memcpy(buf.data() + 64, u"abc", 6);
  auto r = files::ParseDirectoryRecord(buf, 0, 1);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->name, u"abc");

  const std::uint32_t odd = 5;  // an odd byte count reads whole characters only
  std::memcpy(buf.data() + 60, &odd, 4);
  EXPECT_EQ(files::ParseDirectoryRecord(buf, 0, 1)->name, u"ab");

  EXPECT_FALSE(files::ParseDirectoryRecord(std::span(buf).first(40), 0, 1));  // head cut off
  EXPECT_FALSE(files::ParseDirectoryRecord(buf, 200, 1));
  EXPECT_FALSE(files::ParseDirectoryRecord(buf, 0, 7));

  std::vector<std::byte> both(94 + 2);
  const std::uint8_t shortBytes = 200;  // more than the 12-character field
  std::memcpy(both.data() + 60, &odd, 4);
  std::memcpy(both.data() + 68, &shortBytes, 1);
  r = files::ParseDirectoryRecord(both, 0, 3);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->shortName.size(), 12u);
}

TEST(DosDateTimeTest, TwoSecondStepsInsideTheDosRange) {
  // 2000-01-01 00:00:03 -> 36526 days plus two seconds.
  const std::uint64_t t = (36526ULL + 109205ULL) * 864000000000ULL + 3 * 10000000ULL;
  EXPECT_DOUBLE_EQ(files::DosDateTimeValue(t), 36526.0 + 2.0 / 86400.0);
  EXPECT_EQ(files::DosDateTimeValue(0), 0.0);                                      // 1601
  EXPECT_EQ(files::DosDateTimeValue((109205ULL + 80000) * 864000000000ULL), 0.0);  // after 2107
}

}  // namespace

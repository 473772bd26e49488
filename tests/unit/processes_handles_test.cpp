// The handle table walk: table reads, hostile buffers, object names and the file-name helper's time limit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>

#include "base/utf.h"
#include "platform/record_io.h"
#include "platform/records.h"
#include "processes/handle_enumerator.h"
#include "test_support.h"

namespace {

namespace rec = platform::records;
using processes::HandleTableEntry;

struct Seen {
  std::uint32_t pid;
  std::uint32_t handle;
  std::uint16_t type;
  std::string name;
};

std::vector<Seen> Walk(processes::TjtHandleEnumerator& e) {
  std::vector<Seen> seen;
  e.OnHandle = [&](std::uint32_t pid, std::uint16_t, std::uint16_t type, std::uint8_t, std::uint32_t handle,
                   std::uintptr_t, std::uint32_t, const std::string& name) {
    seen.push_back({pid, handle, type, name});
  };
  e.Enumerate();
  return seen;
}

// Process 4 with a named key and an unnamed event, process 70000 (beyond 16 bits) with a
// file handle whose name query blocks.
sim::MachineBuilder Machine(std::uint32_t major = 5, std::uint32_t minor = 1, std::uint32_t build = 2600) {
  sim::MachineBuilder b;
  auto& sys = b.machine().system;
  sys.major = major;
  sys.minor = minor;
  sys.build = build;
  auto& p4 = b.AddProcess(4, u"System");
  p4.handles.push_back({0x10, 20, 0xF003F, 0x81000010, u"\\REGISTRY\\MACHINE\\SOFTWARE", false});
  p4.handles.push_back({0x14, 9, 0x1F0003, 0x81000020, u"", false});
  auto& p = b.AddProcess(70000, u"pipe.exe");
  p.handles.push_back({0x24, 28, 0x12019F, 0x81000030, u"\\Device\\NamedPipe\\x", true});
  return b;
}

TEST(HandleEnumerator, WithoutFeedbackRaises) {
  auto b = Machine();
  testing_support::SimMachineFixture fx(b);
  processes::TjtHandleEnumerator e;
  try {
    e.Enumerate();
    FAIL() << "no error raised";
  } catch (const std::runtime_error& err) {
    EXPECT_STREQ(err.what(), "Enumerating handles without a feedback method is useless!");
  }
}

TEST(HandleEnumerator, NamesObjectsAndAbandonsABlockingFileNameQuery) {
  auto b = Machine();
  testing_support::SimMachineFixture fx(b);
  processes::TjtHandleEnumerator e;
  const auto start = std::chrono::steady_clock::now();
  const auto seen = Walk(e);
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(e.HandleCount, 3u);
  EXPECT_EQ(seen[0].name, "\\REGISTRY\\MACHINE\\SOFTWARE");
  EXPECT_EQ(seen[1].name, "");     // an unnamed event
  EXPECT_EQ(seen[2].pid, 70000u);  // the extended table keeps every bit
  EXPECT_EQ(seen[2].name, "");
  EXPECT_GE(took, std::chrono::milliseconds(90));
  EXPECT_LT(took, std::chrono::seconds(2));
  // Only the copy the abandoned helper is stuck on stays open: it closed the owner's process
  // handle before the query, and the walk closed everything of its own.
  EXPECT_EQ(fx.machine().handles.size(), 1u);
}

constexpr std::uint32_t kFileType = 28;  // the file object type of 5.1

// A handle of a file that only the file-name query names ("\dir\fN").
sim::HandleEntry FileNamedByItsFileName(std::uint32_t i) {
  const std::string text = "\\dir\\f" + std::to_string(i);
  sim::HandleEntry h{4 * (i + 1), kFileType, 0x120089, 0x82000000u + i,
                     std::u16string(text.begin(), text.end())};
  h.fileNameOnly = true;
  return h;
}

TEST(HandleEnumerator, OnlyFilesTheObjectNameLeavesUnnamedGoToOneReusedHelper) {
  struct Case {
    const char* what;
    std::function<void(sim::Process&)> setUp;
    std::uint32_t helpersStarted;
    // Long where nothing blocks, so a slow machine cannot give a working helper up.
    std::chrono::milliseconds timeout = std::chrono::seconds(10);
  };
  const Case cases[] = {
      {"files named by the object name need no helper",
       [](sim::Process& p) {
         for (std::uint32_t i = 0; i < 200; ++i) {
           auto h = FileNamedByItsFileName(i);
           h.fileNameOnly = false;
           p.handles.push_back(h);
         }
       },
       0},
      {"files named only by their file name share one helper",
       [](sim::Process& p) {
         for (std::uint32_t i = 0; i < 200; ++i) p.handles.push_back(FileNamedByItsFileName(i));
       },
       1},
      {"a blocking query gives its helper up and the next one serves the rest",
       [](sim::Process& p) {
         p.handles.push_back({0x4000, kFileType, 0x12019F, 0x81000030, u"\\Device\\NamedPipe\\x", true});
         for (std::uint32_t i = 0; i < 20; ++i) p.handles.push_back(FileNamedByItsFileName(i));
       },
       2, std::chrono::milliseconds(300)},
      {"files of a process that cannot be opened are not handed on",
       [](sim::Process& p) {
         p.openable = false;
         for (std::uint32_t i = 0; i < 20; ++i) p.handles.push_back(FileNamedByItsFileName(i));
       },
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::MachineBuilder b;
    auto& p = b.AddProcess(600, u"files.exe");
    c.setUp(p);
    const std::vector<sim::HandleEntry> handles = p.handles;
    const bool openable = p.openable;
    testing_support::SimMachineFixture fx(b);
    processes::TjtHandleEnumerator e;
    e.FileNameTimeout = c.timeout;
    const auto seen = Walk(e);
    EXPECT_EQ(e.HelperThreadsStarted, c.helpersStarted);
    ASSERT_EQ(seen.size(), handles.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
      const bool named = openable && !handles[i].blocks;
      EXPECT_EQ(seen[i].name, named ? base::Utf16ToUtf8(handles[i].name) : "") << i;
    }
  }
}

TEST(HandleEnumerator, AGivenUpHelperNeverServesTheNextMachine) {
  {
    auto b = Machine();
    testing_support::SimMachineFixture fx(b);
    processes::TjtHandleEnumerator e;
    e.FileNameTimeout = std::chrono::milliseconds(10);
    Walk(e);  // leaves a helper stuck in the first machine
  }
  sim::MachineBuilder b;
  b.AddProcess(900, u"second.exe").handles.push_back(FileNamedByItsFileName(7));
  testing_support::SimMachineFixture fx(b);
  processes::TjtHandleEnumerator e;
  e.FileNameTimeout = std::chrono::seconds(10);
  const auto seen = Walk(e);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].name, "\\dir\\f7");
  EXPECT_EQ(e.HelperThreadsStarted, 1u);
  EXPECT_EQ(fx.machine().handles.size(), 0u);  // the helper closed its copy and itself ended
}

TEST(HandleEnumerator, BlockingHandlesCostABoundedNumberOfHelpers) {
  sim::MachineBuilder b;
  auto& p = b.AddProcess(600, u"pipes.exe");
  for (std::uint32_t i = 0; i < 40; ++i)
    p.handles.push_back({4 * (i + 1), kFileType, 0x12019F, 0x81000000u + i, u"\\Device\\NamedPipe\\p", true});
  p.handles.push_back(FileNamedByItsFileName(99));
  testing_support::SimMachineFixture fx(b);
  processes::TjtHandleEnumerator e;
  e.FileNameTimeout = std::chrono::milliseconds(1);
  const auto seen = Walk(e);
  ASSERT_EQ(seen.size(), 41u);
  EXPECT_EQ(e.HelperThreadsStarted, 16u);
  EXPECT_EQ(seen.back().name, "");  // past the bound no file name is asked
}

TEST(HandleEnumerator, VersionsDecideWalkAndNames) {
  struct Case {
    std::uint32_t major, minor, build;
    std::size_t entries;
    bool named;
  };
  const Case cases[] = {
      {4, 0, 1381, 3, false},  // NT 4: entries without names
      {4, 0, 950, 0, false},   // not NT: no handle table
      {5, 2, 3790, 3, true},   // walked on every NT-family version
      {6, 1, 7601, 3, true},
  };
  for (const auto& c : cases) {
    auto b = Machine(c.major, c.minor, c.build);
    testing_support::SimMachineFixture fx(b);
    processes::TjtHandleEnumerator e;
    e.FileNameTimeout = std::chrono::milliseconds(10);
    const auto seen = Walk(e);
    ASSERT_EQ(seen.size(), c.entries) << c.major << "." << c.minor;
    if (!seen.empty()) {
      EXPECT_EQ(!seen[0].name.empty(), c.named) << c.major << "." << c.minor;
    }
  }
}

TEST(HandleEnumerator, TablesOfBothClassesAreReadWithTheReportedSize) {
  sim::MachineBuilder b;
  auto& p = b.AddProcess(70000, u"many.exe");
  for (std::uint32_t i = 0; i < 400; ++i) p.handles.push_back({4 * (i + 1), 9, 0, 0, u"", false});
  testing_support::SimMachineFixture fx(b);
  std::uint32_t size = 0;
  const auto classic = processes::ReadHandleTable(platform::SystemHandleInformation, &size);
  ASSERT_TRUE(classic);
  EXPECT_EQ(size, rec::kHandleTableEntriesOffset + 400 * sizeof(rec::SystemHandleTableEntryInfo));
  ASSERT_EQ(classic->size(), 400u);
  EXPECT_EQ((*classic)[0].ProcessID, 70000u & 0xFFFF);  // the classic table cuts IDs to 16 bits
  const auto extended = processes::ReadHandleTable(platform::SystemExtendedHandleInformation, &size);
  ASSERT_TRUE(extended);
  EXPECT_EQ(size, rec::kHandleTableExEntriesOffset + 400 * sizeof(rec::SystemHandleTableEntryInfoEx));
  EXPECT_EQ((*extended)[399].ProcessID, 70000u);
  EXPECT_EQ((*extended)[399].Handle, 1600u);
}

// Buffers as a rootkit or a broken system may hand them back.
TEST(HandleTableParsing, CountsAndLengthsAreCheckedAgainstTheBuffer) {
  std::vector<std::byte> table(rec::kHandleTableEntriesOffset + 2 * sizeof(rec::SystemHandleTableEntryInfo));
  auto lying = rec::Zeroed<rec::SystemHandleInformation>();
  lying.NumberOfHandles = 1000000;
  rec::RecordWriter(table).PutHead(0, lying);
  EXPECT_EQ(processes::ParseHandleTable(table).size(), 2u);
  EXPECT_TRUE(
      processes::ParseHandleTable(std::span(table).first(rec::kHandleTableEntriesOffset - 1)).empty());
  EXPECT_TRUE(
      processes::ParseHandleTableEx(std::span(table).first(rec::kHandleTableExEntriesOffset - 1)).empty());

  // Object name: counted, zero characters kept, a length beyond the buffer gives nothing.
  const std::u16string name(u"\\BaseNamedObjects\\a\0b", 21);
  auto h = rec::Zeroed<rec::UnicodeStringHeader>();
  h.Length = static_cast<std::uint16_t>(name.size() * 2);
  std::vector<std::byte> buf;
  rec::AppendRecord(buf, h, name);
  EXPECT_EQ(processes::ParseObjectName(buf), name);
  h.Length = 0xFFFE;
  rec::RecordWriter(buf).PutHead(0, h);
  EXPECT_EQ(processes::ParseObjectName(buf), u"");
  EXPECT_EQ(processes::ParseObjectName(std::span(buf).first(sizeof(rec::UnicodeStringHeader) - 1)), u"");

  // File name: at most the limit, never past the buffer.
  auto f = rec::Zeroed<rec::FILE_NAME_INFORMATION>();
  f.FileNameLength = 4000;
  std::vector<std::byte> file;
  rec::AppendRecord(file, f, u"\\abcd");
  EXPECT_EQ(processes::ParseFileNameInformation(file, 261), u"\\abcd");
  EXPECT_EQ(processes::ParseFileNameInformation(file, 3), u"\\ab");
}

}  // namespace

// The handle table walk: table reads, hostile buffers, object names and the file-name helper's time limit.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/record_io.h"
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
  // Only the abandoned helper's own process handle and duplicate stay open.
  EXPECT_LE(fx.machine().handles.size(), 2u);
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

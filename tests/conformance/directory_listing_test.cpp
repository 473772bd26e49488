// Folder listings, native and Win32: record layouts, order, dot entries, batches, the end, short buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/session.h"
#include "files/file_finder.h"
#include "files/file_list.h"
#include "platform/handles.h"
#include "platform/records.h"
#include "tests/conformance/backend.h"
#include "tests/conformance/buffers.h"

namespace conformance {
namespace {

using namespace platform;
namespace rec = platform::records;

CONFORMANCE_SUITE(DirectoryListing);

// Where one information class keeps the name, and whether it carries attributes and sizes.
struct ClassLayout {
  std::uint32_t infoClass;
  const char* label;
  std::size_t nameLength;
  std::size_t name;
  bool hasFacts;
  std::size_t minimum;  // the smallest buffer accepted: the whole struct
};
constexpr ClassLayout kClasses[] = {
    {rec::FileDirectoryInformation, "directory", offsetof(rec::FILE_DIRECTORY_INFORMATION, FileNameLength),
     offsetof(rec::FILE_DIRECTORY_INFORMATION, FileName), true, sizeof(rec::FILE_DIRECTORY_INFORMATION)},
    {rec::FileFullDirectoryInformation, "full", offsetof(rec::FILE_FULL_DIR_INFORMATION, FileNameLength),
     offsetof(rec::FILE_FULL_DIR_INFORMATION, FileName), true, sizeof(rec::FILE_FULL_DIR_INFORMATION)},
    {rec::FileBothDirectoryInformation, "both", offsetof(rec::FILE_BOTH_DIR_INFORMATION, FileNameLength),
     offsetof(rec::FILE_BOTH_DIR_INFORMATION, FileName), true, sizeof(rec::FILE_BOTH_DIR_INFORMATION)},
    {rec::FileNamesInformation, "names", offsetof(rec::FILE_NAMES_INFORMATION, FileNameLength),
     offsetof(rec::FILE_NAMES_INFORMATION, FileName), false, sizeof(rec::FILE_NAMES_INFORMATION)},
};
const ClassLayout& kDirectory = kClasses[0];

struct Listed {
  std::u16string name;
  std::uint32_t nameBytes = 0;
  std::uint32_t attributes = 0;
  std::int64_t size = 0;
};

struct Listing {
  std::vector<Listed> entries;
  std::vector<std::size_t> perCall;  // records per successful answer
  NTSTATUS end = STATUS_SUCCESS;     // the first status that was not success
};

std::vector<std::u16string> Names(const std::vector<Listed>& entries) {
  std::vector<std::u16string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

NtHandle OpenFolder(Ntdll& nt, const std::u16string& path) {
  NtHandle h;
  IoStatus io;
  const std::u16string native = u"\\??\\" + path;
  EXPECT_EQ(
      nt.NtOpenFile(h.put(), FILE_LIST_DIRECTORY | SYNCHRONIZE, ObjectAttributes{native}, io,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT),
      STATUS_SUCCESS)
      << Units(native);
  return h;
}

// The records of one answer along their NextEntryOffset chain, which must stay within the
// `written` bytes and keep every record on an 8-byte boundary.
std::vector<Listed> Records(std::span<const std::byte> buffer, std::size_t written, const ClassLayout& c) {
  std::vector<Listed> out;
  const auto answer = buffer.first(std::min(written, buffer.size()));
  std::size_t at = 0;
  for (;;) {
    EXPECT_EQ(at % 8, 0u) << "record at " << at;
    Listed l;
    l.nameBytes = Field<std::uint32_t>(answer, at + c.nameLength);
    l.name = Text(answer, at + c.name, l.nameBytes);
    if (c.hasFacts) {
      l.attributes =
          Field<std::uint32_t>(answer, at + offsetof(rec::FILE_DIRECTORY_INFORMATION, FileAttributes));
      l.size = Field<std::int64_t>(answer, at + offsetof(rec::FILE_DIRECTORY_INFORMATION, EndOfFile));
    }
    out.push_back(l);
    const auto next = Field<std::uint32_t>(answer, at);
    if (next == 0) break;
    at += next;
    if (at >= answer.size()) {
      ADD_FAILURE() << "the chain leaves the " << answer.size() << " bytes written";
      break;
    }
  }
  return out;
}

Listing ListAll(Ntdll& nt, Handle dir, const ClassLayout& c, bool single,
                std::size_t bufferBytes = 64 * 1024) {
  Listing l;
  std::vector<std::byte> buffer(bufferBytes);
  for (int call = 0; call < 100000; ++call) {
    IoStatus io;
    const NTSTATUS s =
        nt.NtQueryDirectoryFile(dir, kNullHandle, io, buffer, c.infoClass, single, nullptr, false);
    if (s != STATUS_SUCCESS) {
      l.end = s;
      break;
    }
    EXPECT_EQ(io.status, STATUS_SUCCESS);
    EXPECT_LE(io.information, buffer.size());
    const auto got = Records(buffer, io.information, c);
    l.perCall.push_back(got.size());
    l.entries.insert(l.entries.end(), got.begin(), got.end());
  }
  return l;
}

const std::vector<Entry> kFour = {
    {u"b.txt", false, "bb"}, {u"A.dat", false, "a"}, {u"sub", true, ""}, {u"c", false, ""}};
const std::vector<std::u16string> kFourListed = {u".", u"..", u"A.dat", u"b.txt", u"c", u"sub"};

TEST_P(DirectoryListing, BatchedRecordsGiveTheDotsFirstThenTheNamesInOrder) {
  const auto dir = B().MakeFolder(kFour);
  auto& nt = P().ntdll;
  for (const auto& c : kClasses) {
    SCOPED_TRACE(c.label);
    const auto h = OpenFolder(nt, dir);
    const Listing l = ListAll(nt, h.get(), c, false);
    EXPECT_EQ(l.end, STATUS_NO_MORE_FILES);
    EXPECT_EQ(l.perCall, std::vector<std::size_t>{6}) << "six short records fit one answer";
    EXPECT_EQ(Names(l.entries), kFourListed);
    if (!c.hasFacts || l.entries.size() != kFourListed.size()) continue;
    for (std::size_t i : {0, 1, 5})
      EXPECT_NE(l.entries[i].attributes & FILE_ATTRIBUTE_DIRECTORY, 0u) << Units(l.entries[i].name);
    EXPECT_EQ(l.entries[3].attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(l.entries[3].size, 2);
    EXPECT_EQ(l.entries[2].size, 1);
  }
}

TEST_P(DirectoryListing, SingleEntryCallsGiveOneRecordEachInTheSameOrder) {
  const auto dir = B().MakeFolder(kFour);
  auto& nt = P().ntdll;
  const auto h = OpenFolder(nt, dir);
  const Listing l = ListAll(nt, h.get(), kDirectory, true);
  EXPECT_EQ(Names(l.entries), kFourListed);
  EXPECT_EQ(l.perCall, std::vector<std::size_t>(6, 1));
  EXPECT_EQ(l.end, STATUS_NO_MORE_FILES);
}

TEST_P(DirectoryListing, TheEndStaysTheEndUntilTheScanRestarts) {
  const auto dir = B().MakeFolder(kFour);
  auto& nt = P().ntdll;
  const auto h = OpenFolder(nt, dir);
  EXPECT_EQ(ListAll(nt, h.get(), kDirectory, false).end, STATUS_NO_MORE_FILES);
  std::vector<std::byte> buffer(4096);
  IoStatus io;
  EXPECT_EQ(
      nt.NtQueryDirectoryFile(h.get(), kNullHandle, io, buffer, kDirectory.infoClass, false, nullptr, false),
      STATUS_NO_MORE_FILES);
  EXPECT_EQ(io.status, STATUS_NO_MORE_FILES);
  io = {};
  ASSERT_EQ(
      nt.NtQueryDirectoryFile(h.get(), kNullHandle, io, buffer, kDirectory.infoClass, true, nullptr, true),
      STATUS_SUCCESS);
  EXPECT_EQ(Names(Records(buffer, io.information, kDirectory)), std::vector<std::u16string>{u"."});
}

// A buffer smaller than the information class's whole struct gets nothing. A record whose name
// does not fit the rest is cut short with the full name length and an overflow status.
TEST_P(DirectoryListing, ShortBuffersAnswerOverflowOrLengthMismatch) {
  const auto dir = B().MakeFolder({{u"abcdefgh", false, ""}});
  auto& nt = P().ntdll;
  for (const auto& c : kClasses) {
    SCOPED_TRACE(c.label);
    const auto h = OpenFolder(nt, dir);
    std::vector<std::byte> tiny(c.minimum - 1);
    IoStatus io;
    EXPECT_EQ(nt.NtQueryDirectoryFile(h.get(), kNullHandle, io, tiny, c.infoClass, false, nullptr, false),
              STATUS_INFO_LENGTH_MISMATCH);

    // The smallest buffer takes the names one per call as long as they fit whole.
    std::vector<std::u16string> fitting;
    std::u16string cut;
    for (const std::u16string name : {u".", u"..", u"abcdefgh"}) {
      if (c.name + name.size() * 2 > c.minimum) {
        cut = name;
        break;
      }
      fitting.push_back(name);
    }
    std::vector<std::byte> smallest(c.minimum);
    std::vector<std::u16string> names;
    NTSTATUS s = STATUS_SUCCESS;
    for (int call = 0; call < 5; ++call) {
      io = {};
      s = nt.NtQueryDirectoryFile(h.get(), kNullHandle, io, smallest, c.infoClass, false, nullptr, false);
      if (s != STATUS_SUCCESS) break;
      for (const auto& name : Names(Records(smallest, io.information, c))) names.push_back(name);
    }
    EXPECT_EQ(names, fitting);
    EXPECT_EQ(s, STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(io.status, STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(Field<std::uint32_t>(smallest, c.nameLength), cut.size() * 2)
        << "the full length of " << Units(cut);
  }
}

TEST_P(DirectoryListing, Win32SearchListsTheSameEntriesAndEndsWithNoMoreFiles) {
  const auto dir = B().MakeFolder(kFour);
  auto& k32 = P().kernel32;
  Kernel32::FindDataW data;
  const FindHandle find(k32.FindFirstFileW(dir + u"\\*", data));
  ASSERT_TRUE(find) << "error " << k32.GetLastError();
  std::vector<std::u16string> names{data.fileName};
  while (k32.FindNextFileW(find.get(), data)) names.push_back(data.fileName);
  EXPECT_EQ(k32.GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_EQ(names, kFourListed);

  EXPECT_EQ(k32.FindFirstFileW(dir + u"\\*.none", data), kInvalidHandle);
  EXPECT_EQ(k32.GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(k32.FindFirstFileW(dir + u"\\missing\\*", data), kInvalidHandle);
  EXPECT_EQ(k32.GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_P(DirectoryListing, NativeListingAndWin32FinderAgree) {
  const auto dir = B().MakeFolder({{u"a.txt", false, "x"},
                                   {u"B.dat", false, "x"},
                                   {u"long name with spaces.txt", false, "x"},
                                   {u"sub", true, ""}});
  P();
  app::RunStartup();
  const std::u16string folder = dir + u"\\";
  std::vector<std::string> win32;
  files::ListFolder(std::string(folder.begin(), folder.end()) + "*.*", win32, true, false, false, false,
                    true);
  files::TNTFileEnumerator native;
  native.InformationLevel = 1;
  native.Enumerate(dir);
  std::vector<std::string> nativeNames;
  for (const auto& e : native.Entries) nativeNames.emplace_back(e.Name.begin(), e.Name.end());
  std::sort(win32.begin(), win32.end());
  std::sort(nativeNames.begin(), nativeNames.end());
  EXPECT_EQ(nativeNames, win32);
  EXPECT_EQ(native.Count(), 4u);
}

TEST_P(DirectoryListing, ALargeFolderIsListedWhole) {
  std::vector<Entry> many;
  for (int i = 0; i < 10000; ++i) {
    const std::string n = "f" + std::to_string(i);
    many.push_back({std::u16string(n.begin(), n.end())});
  }
  const auto dir = B().MakeFolder(many);
  auto& nt = P().ntdll;
  app::RunStartup();
  const auto h = OpenFolder(nt, dir);
  const Listing l = ListAll(nt, h.get(), kDirectory, false);
  EXPECT_EQ(l.end, STATUS_NO_MORE_FILES);
  EXPECT_EQ(l.entries.size(), 10002u);
  EXPECT_GT(l.perCall.size(), 1u) << "ten thousand records take more than one answer";
  files::TNTFileEnumerator native;
  native.Enumerate(dir);
  EXPECT_EQ(native.Count(), 10000u);
}

}  // namespace
}  // namespace conformance

namespace conformance {
namespace {

// The file walk's second native look at one entry: a query with the entry's name as its mask
// answers that entry alone (whatever its letter case in the mask), and a name not there answers
// no such file. Plain entries carry no reparse tag in either view.
TEST_P(DirectoryListing, ANameAsTheMaskAnswersThatEntryAlone) {
  const auto dir = B().MakeFolder(kFour);
  auto& nt = P().ntdll;
  auto& k32 = P().kernel32;
  std::vector<std::byte> buffer(4096);
  auto query = [&](std::u16string_view mask, NTSTATUS& s) {
    const auto h = OpenFolder(nt, dir);
    IoStatus io;
    std::fill(buffer.begin(), buffer.end(), std::byte{0});
    s = nt.NtQueryDirectoryFile(h.get(), kNullHandle, io, buffer, rec::FileFullDirectoryInformation, true,
                                &mask, true);
    return s == STATUS_SUCCESS ? files::ParseDirectoryRecord(buffer, 0, 2) : std::nullopt;
  };
  NTSTATUS s = 0;
  const auto found = query(u"B.TXT", s);
  ASSERT_TRUE(found.has_value()) << std::hex << s;
  EXPECT_EQ(found->name, u"b.txt");
  EXPECT_EQ(found->next, 0u);
  EXPECT_EQ(found->attributes & 0x400, 0u);
  EXPECT_EQ(found->eaSize, 0u);
  EXPECT_FALSE(query(u"missing.txt", s).has_value());
  EXPECT_EQ(s, STATUS_NO_SUCH_FILE);

  Kernel32::FindDataW data;
  FindHandle find(k32.FindFirstFileW(dir + u"\\sub", data));
  ASSERT_TRUE(find);
  EXPECT_EQ(data.reparseTag, 0u);
}

}  // namespace
}  // namespace conformance

// Every file function of the simulated machine on the handles of every file opener.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/record_io.h"
#include "platform/records.h"
#include "test_support.h"

namespace {

using platform::DWORD;
using platform::Handle;
using platform::NTSTATUS;

constexpr DWORD kRead = platform::GENERIC_READ;
constexpr DWORD kExisting = platform::OPEN_EXISTING;
constexpr DWORD kBackup = platform::FILE_FLAG_BACKUP_SEMANTICS;
constexpr DWORD kListAccess = platform::FILE_LIST_DIRECTORY | platform::SYNCHRONIZE;
constexpr DWORD kShareAll =
    platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | platform::FILE_SHARE_DELETE;
constexpr std::uint32_t kProcessId = 1234;

platform::Platform& P() { return platform::Current(); }

Handle NativeOpen(std::u16string_view path, DWORD access, DWORD options) {
  Handle h = platform::kNullHandle;
  platform::IoStatus io;
  const NTSTATUS s = P().ntdll.NtOpenFile(h, access, {path}, io, kShareAll, options);
  return s == platform::STATUS_SUCCESS ? h : platform::kInvalidHandle;
}

// What each function answers on one handle: a value where it succeeds, the error where it fails.
struct Expected {
  std::optional<DWORD> size;         // GetFileSize; nothing: fails with ERROR_INVALID_HANDLE
  DWORD mapError;                    // CreateFileMappingA; 0: maps the file's bytes
  std::optional<DWORD> firstStream;  // BackupRead's first stream id; nothing: fails with backupError
  DWORD backupError;
  NTSTATUS listing;  // NtQueryDirectoryFile
  NTSTATUS streams;  // NtQueryInformationFile, stream class
};

struct Case {
  const char* what;
  Handle (*open)();
  Expected expected;
};

constexpr Expected kFile{
    5, 0, platform::BACKUP_DATA, 0, platform::STATUS_INVALID_PARAMETER, platform::STATUS_SUCCESS};
// A folder has no data of its own: nothing to map, and its image starts with its named streams.
constexpr Expected kFolder{0, platform::ERROR_INVALID_HANDLE, platform::BACKUP_ALTERNATE_DATA,
                           0, platform::STATUS_SUCCESS,       platform::STATUS_SUCCESS};

const Case kCases[] = {
    {"CreateFileA on a file",
     [] { return P().kernel32.CreateFileA("C:\\data\\a.bin", kRead, 1, kExisting, 0); }, kFile},
    {"CreateFileW on a file",
     [] { return P().kernel32.CreateFileW(u"C:\\data\\a.bin", kRead, 1, kExisting, 0); }, kFile},
    {"NtOpenFile on a file",
     [] { return NativeOpen(u"\\??\\C:\\data\\a.bin", kListAccess, platform::FILE_NON_DIRECTORY_FILE); },
     kFile},
    // Asking for no access opens the file for its size and attributes, not for its bytes.
    {"CreateFileW on a file, no access",
     [] { return P().kernel32.CreateFileW(u"C:\\data\\a.bin", 0, 1, kExisting, 0); },
     {5, platform::ERROR_ACCESS_DENIED, std::nullopt, platform::ERROR_ACCESS_DENIED,
      platform::STATUS_ACCESS_DENIED, platform::STATUS_SUCCESS}},
    {"CreateFileA on a folder, backup semantics",
     [] { return P().kernel32.CreateFileA("C:\\data", kRead, 1, kExisting, kBackup); }, kFolder},
    {"CreateFileW on a folder, backup semantics",
     [] { return P().kernel32.CreateFileW(u"C:\\data", kRead, 1, kExisting, kBackup); }, kFolder},
    {"NtOpenFile on a folder",
     [] { return NativeOpen(u"\\??\\C:\\data", kListAccess, platform::FILE_DIRECTORY_FILE); }, kFolder},
    {"a process handle",
     [] { return P().kernel32.OpenProcess(platform::PROCESS_QUERY_INFORMATION, false, kProcessId); },
     {std::nullopt, platform::ERROR_INVALID_HANDLE, std::nullopt, platform::ERROR_INVALID_HANDLE,
      platform::STATUS_OBJECT_TYPE_MISMATCH, platform::STATUS_OBJECT_TYPE_MISMATCH}},
};

class SimFileHandlesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::MachineBuilder b;
    b.File(u"C:\\data\\a.bin", "hello").streams.push_back({u"s", "xy", 2});
    b.Folder(u"C:\\data").streams.push_back({u"f", "z", 1});
    b.AddProcess(kProcessId, u"p.exe");
    fixture_.emplace(b);
  }
  std::optional<testing_support::SimMachineFixture> fixture_;
};

TEST_F(SimFileHandlesTest, EveryFunctionTakesTheHandleOfEveryOpener) {
  auto& k32 = P().kernel32;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const platform::KernelFileHandle file(c.open());
    ASSERT_TRUE(file) << "opening failed";
    const Expected& want = c.expected;

    DWORD high = 7;
    const DWORD low = k32.GetFileSize(file.get(), &high);
    if (want.size) {
      EXPECT_EQ(low, *want.size);
      EXPECT_EQ(high, 0u);
    } else {
      EXPECT_EQ(low, platform::INVALID_FILE_SIZE);
      EXPECT_EQ(k32.GetLastError(), platform::ERROR_INVALID_HANDLE);
    }

    const platform::KernelHandle mapping(k32.CreateFileMappingA(file.get(), platform::PAGE_READONLY, 0, 0));
    if (want.mapError == 0) {
      ASSERT_TRUE(mapping);
      const std::byte* view = k32.MapViewOfFile(mapping.get(), platform::FILE_MAP_READ, 0, 0, 0);
      ASSERT_NE(view, nullptr);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(view), 5), "hello");
      EXPECT_TRUE(k32.UnmapViewOfFile(view));
    } else {
      EXPECT_FALSE(mapping);
      EXPECT_EQ(k32.GetLastError(), want.mapError);
    }

    // The first stream head of the backup image, then its data skipped.
    std::uintptr_t context = 0;
    std::vector<std::byte> head(offsetof(platform::records::WIN32_STREAM_ID, cStreamName));
    DWORD got = 0;
    const bool read = k32.BackupRead(file.get(), head, got, false, false, context);
    if (want.firstStream) {
      ASSERT_TRUE(read);
      ASSERT_EQ(got, head.size());
      const auto id = platform::records::RecordReader(head).Get<DWORD>(
          offsetof(platform::records::WIN32_STREAM_ID, dwStreamId));
      EXPECT_EQ(id, want.firstStream);
    } else {
      EXPECT_FALSE(read);
      EXPECT_EQ(k32.GetLastError(), want.backupError);
    }
    if (context != 0) {
      DWORD seekLow = 0, seekHigh = 0;
      if (*want.firstStream == platform::BACKUP_ALTERNATE_DATA) {  // the name comes before the data
        std::vector<std::byte> name(std::u16string_view(u":f:$DATA").size() * 2);
        ASSERT_TRUE(k32.BackupRead(file.get(), name, got, false, false, context));
      }
      EXPECT_TRUE(k32.BackupSeek(file.get(), 1, 0, seekLow, seekHigh, context));
      EXPECT_EQ(seekLow, 1u);
      k32.BackupRead(file.get(), {}, got, true, false, context);
    }

    std::vector<std::byte> buffer(1024);
    platform::IoStatus io;
    EXPECT_EQ(
        P().ntdll.NtQueryDirectoryFile(file.get(), 0, io, buffer, platform::records::FileDirectoryInformation,
                                       false, nullptr, true),
        want.listing);
    EXPECT_EQ(
        P().ntdll.NtQueryInformationFile(file.get(), io, buffer, platform::records::FileStreamInformation),
        want.streams);
  }
}

// A mapping holds the file's bytes: closing the file first leaves the view readable, as on Windows.
TEST_F(SimFileHandlesTest, MappingOutlivesItsFileHandle) {
  auto& k32 = P().kernel32;
  platform::KernelFileHandle file(k32.CreateFileW(u"C:\\data\\a.bin", kRead, 1, kExisting, 0));
  ASSERT_TRUE(file);
  const platform::KernelHandle mapping(k32.CreateFileMappingA(file.get(), platform::PAGE_READONLY, 0, 0));
  ASSERT_TRUE(mapping);
  file.reset();
  const std::byte* view = k32.MapViewOfFile(mapping.get(), platform::FILE_MAP_READ, 0, 0, 0);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(view), 5), "hello");
  EXPECT_TRUE(k32.UnmapViewOfFile(view));
}

// The openers refuse alike: a folder without backup semantics, a missing path.
TEST_F(SimFileHandlesTest, OpenersRefuseAlike) {
  auto& k32 = P().kernel32;
  struct Refusal {
    const char* what;
    Handle (*open)();
    DWORD error;
  };
  const Refusal refusals[] = {
      {"CreateFileA on a folder", [] { return P().kernel32.CreateFileA("C:\\data", kRead, 1, kExisting, 0); },
       platform::ERROR_ACCESS_DENIED},
      {"CreateFileW on a folder",
       [] { return P().kernel32.CreateFileW(u"C:\\data", kRead, 1, kExisting, 0); },
       platform::ERROR_ACCESS_DENIED},
      {"CreateFileA, missing", [] { return P().kernel32.CreateFileA("C:\\data\\x", kRead, 1, kExisting, 0); },
       platform::ERROR_FILE_NOT_FOUND},
      {"CreateFileW, missing",
       [] { return P().kernel32.CreateFileW(u"C:\\data\\x", kRead, 1, kExisting, 0); },
       platform::ERROR_FILE_NOT_FOUND},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(r.open(), platform::kInvalidHandle);
    EXPECT_EQ(k32.GetLastError(), r.error);
  }
}

}  // namespace

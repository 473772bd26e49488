// The real file functions on the handles of every file opener, as the simulated machine answers them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/records.h"
#include "platform/win32/win32_platform.h"
#include "tests/win32/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using platform::DWORD;
using platform::Handle;
using platform::NTSTATUS;

using platform::KernelHandle;
using FileHandle = platform::KernelFileHandle;

constexpr DWORD kRead = platform::GENERIC_READ;
constexpr DWORD kExisting = platform::OPEN_EXISTING;
constexpr DWORD kShareAll =
    platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | platform::FILE_SHARE_DELETE;

platform::Platform& P() { return platform::Current(); }

// The native form of a Win32 path.
std::u16string Native(const fs::path& p) { return u"\\??\\" + p.u16string(); }

Handle NativeOpen(const fs::path& p, DWORD options) {
  Handle h = platform::kNullHandle;
  platform::IoStatus io;
  const NTSTATUS s =
      P().ntdll.NtOpenFile(h, platform::FILE_LIST_DIRECTORY | platform::SYNCHRONIZE, {Native(p)}, io,
                           kShareAll, options | platform::FILE_SYNCHRONOUS_IO_NONALERT);
  return s == platform::STATUS_SUCCESS ? h : platform::kInvalidHandle;
}

struct Expected {
  std::optional<DWORD> size;  // GetFileSize; nothing: fails with ERROR_INVALID_HANDLE
  DWORD mapError;             // CreateFileMappingA; 0: maps the file's bytes
  NTSTATUS listing;           // NtQueryDirectoryFile
};

struct Case {
  const char* what;
  Handle (*open)(const fs::path& file, const fs::path& folder);
  Expected expected;
};

constexpr Expected kFile{5, 0, platform::STATUS_INVALID_PARAMETER};
constexpr Expected kFolder{0, platform::ERROR_INVALID_HANDLE, platform::STATUS_SUCCESS};

const Case kCases[] = {
    {"CreateFileA on a file",
     [](const fs::path& f, const fs::path&) {
       return P().kernel32.CreateFileA(f.string(), kRead, kShareAll, kExisting, 0);
     },
     kFile},
    {"CreateFileW on a file",
     [](const fs::path& f, const fs::path&) {
       return P().kernel32.CreateFileW(f.u16string(), kRead, kShareAll, kExisting, 0);
     },
     kFile},
    {"NtOpenFile on a file",
     [](const fs::path& f, const fs::path&) { return NativeOpen(f, platform::FILE_NON_DIRECTORY_FILE); },
     kFile},
    {"CreateFileW on a file, no access",
     [](const fs::path& f, const fs::path&) {
       return P().kernel32.CreateFileW(f.u16string(), 0, kShareAll, kExisting, 0);
     },
     {5, platform::ERROR_ACCESS_DENIED, platform::STATUS_ACCESS_DENIED}},
    {"CreateFileA on a folder, backup semantics",
     [](const fs::path&, const fs::path& d) {
       return P().kernel32.CreateFileA(d.string(), kRead, kShareAll, kExisting,
                                       platform::FILE_FLAG_BACKUP_SEMANTICS);
     },
     kFolder},
    {"CreateFileW on a folder, backup semantics",
     [](const fs::path&, const fs::path& d) {
       return P().kernel32.CreateFileW(d.u16string(), kRead, kShareAll, kExisting,
                                       platform::FILE_FLAG_BACKUP_SEMANTICS);
     },
     kFolder},
    {"NtOpenFile on a folder",
     [](const fs::path&, const fs::path& d) { return NativeOpen(d, platform::FILE_DIRECTORY_FILE); },
     kFolder},
    {"a process handle",
     [](const fs::path&, const fs::path&) {
       return P().kernel32.OpenProcess(platform::PROCESS_QUERY_INFORMATION, false,
                                       P().kernel32.GetCurrentProcessId());
     },
     {std::nullopt, platform::ERROR_INVALID_HANDLE, platform::STATUS_OBJECT_TYPE_MISMATCH}},
};

TEST(RealFileHandles, EveryFunctionTakesTheHandleOfEveryOpener) {
  platform::ScopedPlatform scope(win32::RealPlatform());
  wintest::ScratchFolder scratch("umbra-handles-");
  const fs::path folder = scratch.path() / "data";
  const fs::path file = folder / "a.bin";
  fs::create_directories(folder);
  std::ofstream(file, std::ios::binary) << "hello";
  auto& k32 = P().kernel32;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const FileHandle h(c.open(file, folder));
    ASSERT_TRUE(h) << "opening failed";
    const Expected& want = c.expected;

    DWORD high = 7;
    const DWORD low = k32.GetFileSize(h.get(), &high);
    if (want.size) {
      EXPECT_EQ(low, *want.size);
      EXPECT_EQ(high, 0u);
    } else {
      EXPECT_EQ(low, platform::INVALID_FILE_SIZE);
      EXPECT_EQ(k32.GetLastError(), platform::ERROR_INVALID_HANDLE);
    }

    const KernelHandle mapping(k32.CreateFileMappingA(h.get(), platform::PAGE_READONLY, 0, 0));
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

    std::vector<std::byte> buffer(1024);
    platform::IoStatus io;
    EXPECT_EQ(P().ntdll.NtQueryDirectoryFile(
                  h.get(), 0, io, buffer, platform::records::FileDirectoryInformation, false, nullptr, true),
              want.listing);
  }
}

}  // namespace

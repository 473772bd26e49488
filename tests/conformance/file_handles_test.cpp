// The file functions on the handle of every file opener: one kind of open file, whoever opened it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/records.h"
#include "tests/conformance/backend.h"

namespace conformance {
namespace {

using namespace platform;

CONFORMANCE_SUITE(FileHandles);

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

Handle NativeOpen(Platform& p, const std::u16string& path, DWORD options) {
  Handle h = kNullHandle;
  IoStatus io;
  const NTSTATUS s = p.ntdll.NtOpenFile(h, FILE_LIST_DIRECTORY | SYNCHRONIZE, {u"\\??\\" + path}, io, kShareAll,
                                        options | FILE_SYNCHRONOUS_IO_NONALERT);
  return s == STATUS_SUCCESS ? h : kInvalidHandle;
}

std::string Narrow(Platform& p, const std::u16string& path) {
  return p.kernel32.WideCharToMultiByte(CP_ACP, path);
}

struct Answer {
  std::optional<DWORD> size;  // GetFileSize; nothing: fails with ERROR_INVALID_HANDLE
  DWORD mapError;             // CreateFileMappingA; 0: maps the file's bytes
  NTSTATUS listing;           // NtQueryDirectoryFile
};

struct Case {
  const char* what;
  Handle (*open)(Platform& p, const std::u16string& file, const std::u16string& folder);
  Answer expected;
};

constexpr Answer kFile{5, 0, STATUS_INVALID_PARAMETER};
// Mapping a folder is refused; the error is the one Wine gives.
constexpr Answer kFolder{0, ERROR_INVALID_HANDLE, STATUS_SUCCESS};

const Case kCases[] = {
    {"CreateFileA on a file",
     [](Platform& p, const std::u16string& f, const std::u16string&) {
       return p.kernel32.CreateFileA(Narrow(p, f), GENERIC_READ, kShareAll, OPEN_EXISTING, 0);
     },
     kFile},
    {"CreateFileW on a file",
     [](Platform& p, const std::u16string& f, const std::u16string&) {
       return p.kernel32.CreateFileW(f, GENERIC_READ, kShareAll, OPEN_EXISTING, 0);
     },
     kFile},
    {"NtOpenFile on a file",
     [](Platform& p, const std::u16string& f, const std::u16string&) {
       return NativeOpen(p, f, FILE_NON_DIRECTORY_FILE);
     },
     kFile},
    {"CreateFileW on a file, no access",
     [](Platform& p, const std::u16string& f, const std::u16string&) {
       return p.kernel32.CreateFileW(f, 0, kShareAll, OPEN_EXISTING, 0);
     },
     {5, ERROR_ACCESS_DENIED, STATUS_ACCESS_DENIED}},
    {"CreateFileA on a folder, backup semantics",
     [](Platform& p, const std::u16string&, const std::u16string& d) {
       return p.kernel32.CreateFileA(Narrow(p, d), GENERIC_READ, kShareAll, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS);
     },
     kFolder},
    {"CreateFileW on a folder, backup semantics",
     [](Platform& p, const std::u16string&, const std::u16string& d) {
       return p.kernel32.CreateFileW(d, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
     },
     kFolder},
    {"NtOpenFile on a folder",
     [](Platform& p, const std::u16string&, const std::u16string& d) {
       return NativeOpen(p, d, FILE_DIRECTORY_FILE);
     },
     kFolder},
    {"a process handle",
     [](Platform& p, const std::u16string&, const std::u16string&) {
       return p.kernel32.OpenProcess(PROCESS_QUERY_INFORMATION, false, p.kernel32.GetCurrentProcessId());
     },
     {std::nullopt, ERROR_INVALID_HANDLE, STATUS_OBJECT_TYPE_MISMATCH}},
};

TEST_P(FileHandles, EveryFunctionTakesTheHandleOfEveryOpener) {
  const std::u16string folder = B().MakeFolder({{u"a.bin", false, "hello"}});
  const std::u16string file = folder + u"\\a.bin";
  auto& k32 = P().kernel32;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const KernelFileHandle h(c.open(P(), file, folder));
    ASSERT_TRUE(h) << "opening failed";
    const Answer& want = c.expected;

    DWORD high = 7;
    const DWORD low = k32.GetFileSize(h.get(), &high);
    if (want.size) {
      EXPECT_EQ(low, *want.size);
      EXPECT_EQ(high, 0u);
    } else {
      EXPECT_EQ(low, INVALID_FILE_SIZE);
      EXPECT_EQ(k32.GetLastError(), ERROR_INVALID_HANDLE);
    }

    const KernelHandle mapping(k32.CreateFileMappingA(h.get(), PAGE_READONLY, 0, 0));
    if (want.mapError == 0) {
      ASSERT_TRUE(mapping);
      const std::byte* view = k32.MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
      ASSERT_NE(view, nullptr);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(view), 5), "hello");
      EXPECT_TRUE(k32.UnmapViewOfFile(view));
    } else {
      EXPECT_FALSE(mapping);
      EXPECT_EQ(k32.GetLastError(), want.mapError);
    }

    std::vector<std::byte> buffer(1024);
    IoStatus io;
    EXPECT_EQ(P().ntdll.NtQueryDirectoryFile(h.get(), 0, io, buffer, records::FileDirectoryInformation, false,
                                             nullptr, true),
              want.listing);
  }
}

// The attributes by path, which the scanners ask before they open a file: the folder bit tells
// the two apart, and a missing name is INVALID_FILE_ATTRIBUTES.
TEST_P(FileHandles, AttributesByPathTellFilesFromFoldersAndMissingNames) {
  const std::u16string folder = B().MakeFolder({{u"a.bin", false, "hello"}});
  auto& p = P();
  const DWORD file = p.kernel32.GetFileAttributesA(Narrow(p, folder + u"\\a.bin"));
  ASSERT_NE(file, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(file & FILE_ATTRIBUTE_DIRECTORY, 0u);
  const DWORD dir = p.kernel32.GetFileAttributesA(Narrow(p, folder));
  ASSERT_NE(dir, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(dir & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(p.kernel32.GetFileAttributesA(Narrow(p, folder + u"\\missing.bin")), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace conformance

// Process views: the handle table's two classes, object names of duplicated handles, snapshots.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/handles.h"
#include "platform/records.h"
#include "tests/conformance/backend.h"
#include "tests/conformance/buffers.h"

namespace conformance {
namespace {

using namespace platform;
namespace rec = platform::records;

// With TH32CS_SNAPMODULE: a 64-bit caller also gets the 32-bit modules of a WoW64 process.
constexpr DWORD kSnapModule32 = 0x10;

CONFORMANCE_SUITE(HandleTable);
CONFORMANCE_SUITE(ToolHelp);

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
  return s;
}
std::u16string Lower(std::u16string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; });
  return s;
}

// The whole table of one class, asked as the scanners ask: grow the buffer while it is too small.
std::vector<std::byte> QueryTable(Ntdll& nt, DWORD infoClass) {
  std::vector<std::byte> buffer;
  DWORD needed = 0;
  NTSTATUS s = nt.NtQuerySystemInformation(infoClass, buffer, needed);
  for (int tries = 0; s == STATUS_INFO_LENGTH_MISMATCH && tries < 8; ++tries) {
    buffer.resize(std::max<std::size_t>(needed, buffer.size()) + 64 * 1024);
    s = nt.NtQuerySystemInformation(infoClass, buffer, needed);
  }
  EXPECT_EQ(s, STATUS_SUCCESS);
  return buffer;
}

struct TableEntry {
  std::uintptr_t pid = 0, handle = 0, object = 0;
  std::uint32_t access = 0;
  unsigned type = 0;
};

// Every entry of either class in one form; the count and the entries must fit what was written.
std::vector<TableEntry> Entries(std::span<const std::byte> table, bool extended) {
  const std::size_t head = extended ? rec::kHandleTableExEntriesOffset : rec::kHandleTableEntriesOffset;
  const std::size_t size =
      extended ? sizeof(rec::SystemHandleTableEntryInfoEx) : sizeof(rec::SystemHandleTableEntryInfo);
  const std::size_t count = extended ? Field<std::uintptr_t>(table, 0) : Field<std::uint32_t>(table, 0);
  EXPECT_LE(head + count * size, table.size());
  std::vector<TableEntry> out;
  for (std::size_t i = 0; i < count && head + (i + 1) * size <= table.size(); ++i) {
    const std::size_t at = head + i * size;
    TableEntry e;
    if (extended) {
      e.pid = Field<std::uintptr_t>(table, at + offsetof(rec::SystemHandleTableEntryInfoEx, UniqueProcessId));
      e.handle = Field<std::uintptr_t>(table, at + offsetof(rec::SystemHandleTableEntryInfoEx, HandleValue));
      e.object = Field<std::uintptr_t>(table, at + offsetof(rec::SystemHandleTableEntryInfoEx, Object));
      e.access = Field<std::uint32_t>(table, at + offsetof(rec::SystemHandleTableEntryInfoEx, GrantedAccess));
      e.type = Field<std::uint16_t>(table, at + offsetof(rec::SystemHandleTableEntryInfoEx, ObjectTypeIndex));
    } else {
      e.pid = Field<std::uint16_t>(table, at + offsetof(rec::SystemHandleTableEntryInfo, UniqueProcessId));
      e.handle = Field<std::uint16_t>(table, at + offsetof(rec::SystemHandleTableEntryInfo, HandleValue));
      e.object = Field<std::uintptr_t>(table, at + offsetof(rec::SystemHandleTableEntryInfo, Object));
      e.access = Field<std::uint32_t>(table, at + offsetof(rec::SystemHandleTableEntryInfo, GrantedAccess));
      e.type = Field<std::uint8_t>(table, at + offsetof(rec::SystemHandleTableEntryInfo, ObjectTypeIndex));
    }
    out.push_back(e);
  }
  return out;
}

TEST_P(HandleTable, ATooSmallBufferGetsTheSizeNeeded) {
  auto& nt = P().ntdll;
  struct Case {
    DWORD infoClass;
    std::size_t oneEntry;
  };
  for (const Case c : {Case{SystemHandleInformation,
                            rec::kHandleTableEntriesOffset + sizeof(rec::SystemHandleTableEntryInfo)},
                       Case{SystemExtendedHandleInformation,
                            rec::kHandleTableExEntriesOffset + sizeof(rec::SystemHandleTableEntryInfoEx)}}) {
    SCOPED_TRACE(c.infoClass);
    std::vector<std::byte> tiny(rec::kHandleTableEntriesOffset);
    DWORD needed = 0;
    EXPECT_EQ(nt.NtQuerySystemInformation(c.infoClass, tiny, needed), STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(needed > tiny.size(), Expected().tinyTableBufferGetsSize) << needed;
    // Room for one entry: the table of a running system holds more.
    std::vector<std::byte> one(c.oneEntry);
    needed = 0;
    EXPECT_EQ(nt.NtQuerySystemInformation(c.infoClass, one, needed), STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_GT(needed, one.size());
  }
  std::vector<std::byte> any(1024);
  DWORD needed = 0;
  EXPECT_NE(nt.NtQuerySystemInformation(0x7FFF, any, needed), STATUS_SUCCESS) << "an unknown class";
}

TEST_P(HandleTable, BothClassesListAFileHandleOfThisProcess) {
  const Handle own = B().OwnFileHandle();
  auto& p = P();
  ASSERT_NE(own, kInvalidHandle);
  const std::uintptr_t self = p.kernel32.GetCurrentProcessId();
  const auto table = QueryTable(p.ntdll, SystemHandleInformation);
  const auto tableEx = QueryTable(p.ntdll, SystemExtendedHandleInformation);
  const auto entries = Entries(table, false);
  const auto entriesEx = Entries(tableEx, true);

  const auto ex = std::find_if(entriesEx.begin(), entriesEx.end(),
                               [&](const TableEntry& e) { return e.pid == self && e.handle == own; });
  ASSERT_NE(ex, entriesEx.end()) << entriesEx.size() << " entries, none of process " << self;
  // The short table cuts process IDs and handle values to 16 bits.
  const auto shortEntry = std::find_if(entries.begin(), entries.end(), [&](const TableEntry& e) {
    return e.pid == (self & 0xFFFF) && e.handle == (own & 0xFFFF);
  });
  ASSERT_NE(shortEntry, entries.end());
  EXPECT_EQ(shortEntry->object, ex->object);
  EXPECT_EQ(shortEntry->access, ex->access);
  EXPECT_EQ(shortEntry->type, ex->type);
  EXPECT_NE(ex->access, 0u);
}

// How the scanners name another process's handle: open the owner, copy the handle, ask its name.
TEST_P(HandleTable, ACopiedHandleAnswersItsObjectName) {
  const Handle own = B().OwnFileHandle();
  auto& p = P();
  const Handle process = p.kernel32.OpenProcess(PROCESS_DUP_HANDLE, false, p.kernel32.GetCurrentProcessId());
  ASSERT_NE(process, kNullHandle) << "error " << p.kernel32.GetLastError();
  Handle copy = kNullHandle;
  ASSERT_TRUE(p.kernel32.DuplicateHandle(process, own, p.kernel32.GetCurrentProcess(), copy, 0, false,
                                         DUPLICATE_SAME_ACCESS));
  std::vector<std::byte> buffer(4096);
  DWORD length = 0;
  ASSERT_EQ(p.ntdll.NtQueryObject(copy, ObjectNameInformation, buffer, length), STATUS_SUCCESS);
  const auto bytes = Field<std::uint16_t>(buffer, offsetof(rec::UnicodeStringHeader, Length));
  const std::u16string name = Text(buffer, sizeof(rec::UnicodeStringHeader), bytes);
  const std::u16string end = Lower(B().OwnFileName());
  EXPECT_GE(name.size(), end.size());
  EXPECT_EQ(Lower(name.substr(name.size() - std::min(name.size(), end.size()))), end) << Units(name);
  const auto prefix = Expected().fileObjectNamePrefix;
  EXPECT_EQ(name.substr(0, prefix.size()), prefix) << Units(name);

  std::vector<std::byte> tiny(sizeof(rec::UnicodeStringHeader));
  EXPECT_EQ(p.ntdll.NtQueryObject(copy, ObjectNameInformation, tiny, length),
            Expected().objectNameShortBuffer);
  EXPECT_GT(length, tiny.size());
  p.kernel32.CloseHandle(copy);
  p.kernel32.CloseHandle(process);
}

TEST_P(ToolHelp, TheProcessSnapshotListsThisProcessAndEndsWithNoMoreFiles) {
  auto& p = P();
  const DWORD self = p.kernel32.GetCurrentProcessId();
  const KernelFileHandle snap(p.toolhelp.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  ASSERT_NE(snap.get(), kInvalidHandle);
  rec::ProcessEntry32 e{};
  e.dwSize = sizeof e - 4;
  EXPECT_FALSE(p.toolhelp.Process32First(snap.get(), e));
  EXPECT_EQ(p.kernel32.GetLastError(), Expected().badRecordSizeError);

  e.dwSize = sizeof e;
  ASSERT_TRUE(p.toolhelp.Process32First(snap.get(), e));
  bool found = false;
  do {
    EXPECT_EQ(e.dwSize, sizeof e);
    if (e.th32ProcessID != self) continue;
    found = true;
    EXPECT_EQ(Lower(e.szExeFile), Lower(B().OwnExeFile()));
    EXPECT_GE(e.cntThreads, 1u);
  } while (p.toolhelp.Process32Next(snap.get(), e));
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(found);

  std::vector<DWORD> ids(4096);
  DWORD bytes = 0;
  ASSERT_TRUE(p.toolhelp.EnumProcesses(ids, bytes));
  ids.resize(bytes / sizeof(DWORD));
  EXPECT_NE(std::find(ids.begin(), ids.end(), self), ids.end());
}

TEST_P(ToolHelp, TheThreadSnapshotHoldsThisProcessesThreads) {
  auto& p = P();
  const DWORD self = p.kernel32.GetCurrentProcessId();
  const KernelFileHandle snap(p.toolhelp.CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  ASSERT_NE(snap.get(), kInvalidHandle);
  rec::ThreadEntry32 e{};
  e.dwSize = sizeof e - 4;
  EXPECT_FALSE(p.toolhelp.Thread32First(snap.get(), e));
  EXPECT_EQ(p.kernel32.GetLastError(), Expected().badRecordSizeError);
  e.dwSize = sizeof e;
  ASSERT_TRUE(p.toolhelp.Thread32First(snap.get(), e));
  std::size_t own = 0;
  do own += e.th32OwnerProcessID == self;
  while (p.toolhelp.Thread32Next(snap.get(), e));
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_GE(own, 1u);
}

TEST_P(ToolHelp, TheModuleSnapshotStartsWithTheProgramsFile) {
  auto& p = P();
  const DWORD self = p.kernel32.GetCurrentProcessId();
  const KernelFileHandle snap(p.toolhelp.CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, self));
  ASSERT_NE(snap.get(), kInvalidHandle) << "error " << p.kernel32.GetLastError();
  rec::ModuleEntry32 e{};
  e.dwSize = sizeof e;
  ASSERT_TRUE(p.toolhelp.Module32First(snap.get(), e));
  EXPECT_EQ(e.th32ProcessID, self);
  EXPECT_EQ(Lower(e.szModule), Lower(B().OwnExeFile()));
  EXPECT_NE(e.modBaseAddr, 0u);
  EXPECT_EQ(e.hModule, e.modBaseAddr);
}

// What a code comparison of a process walks: every module of the snapshot is an image in
// memory at its handle, and names a file on disk that holds the same image.
TEST_P(ToolHelp, EveryModuleIsAnImageInMemoryAndAFileOnDisk) {
  auto& p = P();
  const DWORD self = p.kernel32.GetCurrentProcessId();
  const KernelHandle process(
      p.kernel32.OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, false, self));
  ASSERT_TRUE(process);
  auto modules = [&](DWORD flags) {
    std::vector<rec::ModuleEntry32> out;
    const KernelFileHandle snap(p.toolhelp.CreateToolhelp32Snapshot(flags, self));
    EXPECT_NE(snap.get(), kInvalidHandle) << "flags " << flags << ", error " << p.kernel32.GetLastError();
    rec::ModuleEntry32 e{};
    e.dwSize = sizeof e;
    for (bool ok = p.toolhelp.Module32First(snap.get(), e); ok; ok = p.toolhelp.Module32Next(snap.get(), e))
      out.push_back(e);
    EXPECT_EQ(p.kernel32.GetLastError(), ERROR_NO_MORE_FILES);
    return out;
  };
  const auto all = modules(TH32CS_SNAPMODULE);
  ASSERT_FALSE(all.empty());
  // A 64-bit process has no 32-bit modules: asking for them too changes nothing.
  const auto with32 = modules(TH32CS_SNAPMODULE | kSnapModule32);
  ASSERT_EQ(with32.size(), all.size());

  std::u16string mainFile(1024, u'\0');
  mainFile.resize(p.toolhelp.GetModuleFileNameExW(process.get(), 0, mainFile));
  for (std::size_t i = 0; i < all.size(); ++i) {
    const rec::ModuleEntry32& m = all[i];
    SCOPED_TRACE(m.szModule);
    EXPECT_EQ(with32[i].modBaseAddr, m.modBaseAddr);
    EXPECT_EQ(m.th32ProcessID, self);
    EXPECT_EQ(m.hModule, m.modBaseAddr);
    EXPECT_GT(m.modBaseSize, 0u);

    std::byte mbi[sizeof(rec::MEMORY_BASIC_INFORMATION)];
    ASSERT_EQ(p.kernel32.VirtualQueryEx(process.get(), m.modBaseAddr, mbi), sizeof mbi);
    const auto region = rec::RecordReader(mbi).Get<rec::MEMORY_BASIC_INFORMATION>(0);
    ASSERT_TRUE(region);
    EXPECT_EQ(region->AllocationBase, m.modBaseAddr);
    EXPECT_EQ(region->Type, rec::kMemImage);
    std::string head(2, '\0');
    std::size_t got = 0;
    EXPECT_TRUE(p.kernel32.ReadProcessMemory(process.get(), m.modBaseAddr,
                                             std::as_writable_bytes(std::span(head)), got));
    EXPECT_EQ(head, "MZ");

    // The module's file, named through its handle, ends in the snapshot's name and opens for
    // reading while the module is loaded.
    std::u16string path(1024, u'\0');
    path.resize(p.toolhelp.GetModuleFileNameExW(process.get(), m.hModule, path));
    ASSERT_FALSE(path.empty()) << "error " << p.kernel32.GetLastError();
    const std::string name(m.szModule);
    EXPECT_EQ(Lower(path.substr(path.find_last_of(u'\\') + 1)),
              Lower(std::u16string(name.begin(), name.end())));
    if (i == 0) {
      EXPECT_EQ(path, mainFile) << "the first module is the program's file";
    }
    const KernelFileHandle file(p.kernel32.CreateFileW(path, GENERIC_READ,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(file) << "error " << p.kernel32.GetLastError();
    std::string fileHead(2, '\0');
    DWORD read = 0;
    EXPECT_TRUE(p.kernel32.ReadFile(file.get(), std::as_writable_bytes(std::span(fileHead)), read));
    EXPECT_EQ(fileHead, "MZ");
  }
}

// A scan given a process ID that no process has (one that ended before the scan reached it)
// learns it from the open and from the module snapshot alike.
TEST_P(ToolHelp, AProcessIdNoProcessHasIsAnInvalidParameter) {
  auto& p = P();
  std::vector<DWORD> ids(4096);
  DWORD bytes = 0;
  ASSERT_TRUE(p.toolhelp.EnumProcesses(ids, bytes));
  ids.resize(bytes / sizeof(DWORD));
  const DWORD unused = (*std::max_element(ids.begin(), ids.end()) + 0x10000) & ~3u;

  EXPECT_EQ(p.kernel32.OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, false, unused), kNullHandle);
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(p.toolhelp.CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | kSnapModule32, unused),
            kInvalidHandle);
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_INVALID_PARAMETER);

  // Process 0 is the caller.
  const KernelFileHandle own(p.toolhelp.CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0));
  ASSERT_NE(own.get(), kInvalidHandle);
  rec::ModuleEntry32 e{};
  e.dwSize = sizeof e;
  ASSERT_TRUE(p.toolhelp.Module32First(own.get(), e));
  EXPECT_EQ(Lower(e.szModule), Lower(B().OwnExeFile()));
}

}  // namespace
}  // namespace conformance

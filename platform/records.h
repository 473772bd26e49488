// Native record layouts the platform functions write into caller buffers, checked per pointer width.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::records {

// Records are read and written with memcpy at these offsets: buffers coming back from the
// system (or a rootkit) are never trusted to be aligned or well-formed.

// --- files ---

// --- registry ---

// --- processes and objects ---

// ToolHelp records in their 8-bit form, exactly as CreateToolhelp32Snapshot's First/Next
// functions fill them for the build's pointer width; dwSize must hold sizeof the record.
struct ProcessEntry32 {
  std::uint32_t dwSize;
  std::uint32_t cntUsage;
  std::uint32_t th32ProcessID;
  std::uintptr_t th32DefaultHeapID;
  std::uint32_t th32ModuleID;
  std::uint32_t cntThreads;
  std::uint32_t th32ParentProcessID;
  std::int32_t pcPriClassBase;
  std::uint32_t dwFlags;
  char szExeFile[260];
};

struct ThreadEntry32 {
  std::uint32_t dwSize;
  std::uint32_t cntUsage;
  std::uint32_t th32ThreadID;
  std::uint32_t th32OwnerProcessID;
  std::int32_t tpBasePri;
  std::int32_t tpDeltaPri;
  std::uint32_t dwFlags;
};

struct ModuleEntry32 {
  std::uint32_t dwSize;
  std::uint32_t th32ModuleID;
  std::uint32_t th32ProcessID;
  std::uint32_t GlblcntUsage;
  std::uint32_t ProccntUsage;
  std::uintptr_t modBaseAddr;
  std::uint32_t modBaseSize;
  std::uintptr_t hModule;
  char szModule[256];
  char szExePath[260];
};

struct HeapList32 {
  std::size_t dwSize;
  std::uint32_t th32ProcessID;
  std::uintptr_t th32HeapID;
  std::uint32_t dwFlags;
};

// NtQuerySystemInformation class 16: a ULONG count, then the entries from offset
// kHandleTableEntriesOffset. Owner process IDs are cut to 16 bits by this table.
struct SystemHandleTableEntryInfo {
  std::uint16_t UniqueProcessId;
  std::uint16_t CreatorBackTraceIndex;
  std::uint8_t ObjectTypeIndex;
  std::uint8_t HandleAttributes;
  std::uint16_t HandleValue;
  std::uintptr_t Object;
  std::uint32_t GrantedAccess;
};
inline constexpr std::size_t kHandleTableEntriesOffset = sizeof(std::uintptr_t);

// NtQuerySystemInformation class 64: a ULONG_PTR count and a reserved ULONG_PTR, then the
// entries, with full process IDs and handle values.
struct SystemHandleTableEntryInfoEx {
  std::uintptr_t Object;
  std::uintptr_t UniqueProcessId;
  std::uintptr_t HandleValue;
  std::uint32_t GrantedAccess;
  std::uint16_t CreatorBackTraceIndex;
  std::uint16_t ObjectTypeIndex;
  std::uint32_t HandleAttributes;
  std::uint32_t Reserved;
};
inline constexpr std::size_t kHandleTableExEntriesOffset = 2 * sizeof(std::uintptr_t);

// UNICODE_STRING as a buffer header (OBJECT_NAME_INFORMATION is one of these, its text
// following it in the same buffer).
struct UnicodeStringHeader {
  std::uint16_t Length;         // bytes, without terminator
  std::uint16_t MaximumLength;  // bytes
  std::uintptr_t Buffer;
};

// FILE_NAME_INFORMATION: the length in bytes, then the name.
inline constexpr std::size_t kFileNameInformationNameOffset = 4;

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ProcessEntry32) == 296 && offsetof(ProcessEntry32, szExeFile) == 36);
static_assert(offsetof(ProcessEntry32, th32ModuleID) == 16);
static_assert(sizeof(ModuleEntry32) == 548 && offsetof(ModuleEntry32, szExePath) == 288);
static_assert(offsetof(ModuleEntry32, modBaseAddr) == 20 && offsetof(ModuleEntry32, szModule) == 32);
static_assert(sizeof(HeapList32) == 16 && offsetof(HeapList32, th32HeapID) == 8);
static_assert(sizeof(SystemHandleTableEntryInfo) == 16);
static_assert(offsetof(SystemHandleTableEntryInfo, GrantedAccess) == 12);
static_assert(sizeof(SystemHandleTableEntryInfoEx) == 28);
static_assert(offsetof(SystemHandleTableEntryInfoEx, ObjectTypeIndex) == 18);
static_assert(sizeof(UnicodeStringHeader) == 8);
#else
static_assert(sizeof(ProcessEntry32) == 304 && offsetof(ProcessEntry32, szExeFile) == 44);
static_assert(offsetof(ProcessEntry32, th32DefaultHeapID) == 16 && offsetof(ProcessEntry32, th32ModuleID) == 24);
static_assert(sizeof(ModuleEntry32) == 568 && offsetof(ModuleEntry32, szExePath) == 304);
static_assert(offsetof(ModuleEntry32, modBaseAddr) == 24 && offsetof(ModuleEntry32, szModule) == 48);
static_assert(offsetof(ModuleEntry32, hModule) == 40);
static_assert(sizeof(HeapList32) == 32 && offsetof(HeapList32, th32HeapID) == 16);
static_assert(offsetof(HeapList32, dwFlags) == 24);
static_assert(sizeof(SystemHandleTableEntryInfo) == 24);
static_assert(offsetof(SystemHandleTableEntryInfo, Object) == 8);
static_assert(offsetof(SystemHandleTableEntryInfo, GrantedAccess) == 16);
static_assert(sizeof(SystemHandleTableEntryInfoEx) == 40);
static_assert(offsetof(SystemHandleTableEntryInfoEx, GrantedAccess) == 24);
static_assert(offsetof(SystemHandleTableEntryInfoEx, ObjectTypeIndex) == 30);
static_assert(sizeof(UnicodeStringHeader) == 16);
#endif
static_assert(sizeof(ThreadEntry32) == 28 && offsetof(ThreadEntry32, th32OwnerProcessID) == 12);
static_assert(offsetof(SystemHandleTableEntryInfo, HandleValue) == 6);

}  // namespace platform::records

// Native record layouts the platform functions write into caller buffers, checked per pointer width.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::records {

// Records are read and written only through platform/record_io.h, field by field or head by
// head at these layouts: buffers coming back from the system (or a rootkit) are never trusted to
// be aligned or well-formed.

// The fixed part of a record: the bytes before its counted name (or, for a table, before its
// entries). A record without a variable part is its whole size.
template <typename R>
inline constexpr std::size_t kHeadBytes = sizeof(R);

// --- files ---

// NtQueryDirectoryFile information classes and their records (no pointers: one layout for
// both pointer widths). Every record starts with NextEntryOffset; the last one holds 0.
inline constexpr std::uint32_t FileDirectoryInformation = 1;
inline constexpr std::uint32_t FileFullDirectoryInformation = 2;
inline constexpr std::uint32_t FileBothDirectoryInformation = 3;
inline constexpr std::uint32_t FileNamesInformation = 12;

struct FILE_NAMES_INFORMATION {
  std::uint32_t NextEntryOffset;
  std::uint32_t FileIndex;
  std::uint32_t FileNameLength;  // bytes
  char16_t FileName[1];
};
static_assert(offsetof(FILE_NAMES_INFORMATION, FileNameLength) == 8);
static_assert(offsetof(FILE_NAMES_INFORMATION, FileName) == 12);
template <>
inline constexpr std::size_t kHeadBytes<FILE_NAMES_INFORMATION> = offsetof(FILE_NAMES_INFORMATION, FileName);

struct FILE_DIRECTORY_INFORMATION {
  std::uint32_t NextEntryOffset;
  std::uint32_t FileIndex;
  std::int64_t CreationTime;
  std::int64_t LastAccessTime;
  std::int64_t LastWriteTime;
  std::int64_t ChangeTime;
  std::int64_t EndOfFile;
  std::int64_t AllocationSize;
  std::uint32_t FileAttributes;
  std::uint32_t FileNameLength;
  char16_t FileName[1];
};
static_assert(offsetof(FILE_DIRECTORY_INFORMATION, CreationTime) == 8);
static_assert(offsetof(FILE_DIRECTORY_INFORMATION, LastAccessTime) == 16);
static_assert(offsetof(FILE_DIRECTORY_INFORMATION, LastWriteTime) == 24);
static_assert(offsetof(FILE_DIRECTORY_INFORMATION, ChangeTime) == 32);
static_assert(offsetof(FILE_DIRECTORY_INFORMATION, EndOfFile) == 40);
static_assert(offsetof(FILE_DIRECTORY_INFORMATION, AllocationSize) == 48);
static_assert(offsetof(FILE_DIRECTORY_INFORMATION, FileAttributes) == 56);
static_assert(offsetof(FILE_DIRECTORY_INFORMATION, FileNameLength) == 60);
static_assert(offsetof(FILE_DIRECTORY_INFORMATION, FileName) == 64);
template <>
inline constexpr std::size_t kHeadBytes<FILE_DIRECTORY_INFORMATION> = offsetof(FILE_DIRECTORY_INFORMATION,
                                                                               FileName);

struct FILE_FULL_DIR_INFORMATION {
  std::uint32_t NextEntryOffset;
  std::uint32_t FileIndex;
  std::int64_t CreationTime;
  std::int64_t LastAccessTime;
  std::int64_t LastWriteTime;
  std::int64_t ChangeTime;
  std::int64_t EndOfFile;
  std::int64_t AllocationSize;
  std::uint32_t FileAttributes;
  std::uint32_t FileNameLength;
  std::uint32_t EaSize;
  char16_t FileName[1];
};
static_assert(offsetof(FILE_FULL_DIR_INFORMATION, EaSize) == 64);
static_assert(offsetof(FILE_FULL_DIR_INFORMATION, FileName) == 68);
template <>
inline constexpr std::size_t kHeadBytes<FILE_FULL_DIR_INFORMATION> = offsetof(FILE_FULL_DIR_INFORMATION,
                                                                              FileName);

struct FILE_BOTH_DIR_INFORMATION {
  std::uint32_t NextEntryOffset;
  std::uint32_t FileIndex;
  std::int64_t CreationTime;
  std::int64_t LastAccessTime;
  std::int64_t LastWriteTime;
  std::int64_t ChangeTime;
  std::int64_t EndOfFile;
  std::int64_t AllocationSize;
  std::uint32_t FileAttributes;
  std::uint32_t FileNameLength;
  std::uint32_t EaSize;
  std::uint8_t ShortNameLength;  // bytes
  char16_t ShortName[12];
  char16_t FileName[1];
};
static_assert(offsetof(FILE_BOTH_DIR_INFORMATION, EaSize) == 64);
static_assert(offsetof(FILE_BOTH_DIR_INFORMATION, ShortNameLength) == 68);
static_assert(offsetof(FILE_BOTH_DIR_INFORMATION, ShortName) == 70);
static_assert(offsetof(FILE_BOTH_DIR_INFORMATION, FileName) == 94);
template <>
inline constexpr std::size_t kHeadBytes<FILE_BOTH_DIR_INFORMATION> = offsetof(FILE_BOTH_DIR_INFORMATION,
                                                                              FileName);

// --- files: streams ---

// The head of one stream in a backup image (BackupRead): the name (dwStreamNameSize bytes of
// UTF-16, no terminator) follows at cStreamName, then Size bytes of data. The struct is padded
// to 24 bytes, but on the wire the name starts right after the 20-byte head.
struct WIN32_STREAM_ID {
  std::uint32_t dwStreamId;
  std::uint32_t dwStreamAttributes;
  std::int64_t Size;
  std::uint32_t dwStreamNameSize;  // bytes
  char16_t cStreamName[1];
};
static_assert(offsetof(WIN32_STREAM_ID, dwStreamAttributes) == 4);
static_assert(offsetof(WIN32_STREAM_ID, Size) == 8);
static_assert(offsetof(WIN32_STREAM_ID, dwStreamNameSize) == 16);
static_assert(offsetof(WIN32_STREAM_ID, cStreamName) == 20);
template <>
inline constexpr std::size_t kHeadBytes<WIN32_STREAM_ID> = offsetof(WIN32_STREAM_ID, cStreamName);

// NtQueryInformationFile class 22: one record per data stream, "::$DATA" for the unnamed one
// and ":name:$DATA" for the others. Records are chained like the directory records.
inline constexpr std::uint32_t FileStreamInformation = 22;

struct FILE_STREAM_INFORMATION {
  std::uint32_t NextEntryOffset;
  std::uint32_t StreamNameLength;  // bytes
  std::int64_t StreamSize;
  std::int64_t StreamAllocationSize;
  char16_t StreamName[1];
};
static_assert(offsetof(FILE_STREAM_INFORMATION, StreamNameLength) == 4);
static_assert(offsetof(FILE_STREAM_INFORMATION, StreamSize) == 8);
static_assert(offsetof(FILE_STREAM_INFORMATION, StreamAllocationSize) == 16);
static_assert(offsetof(FILE_STREAM_INFORMATION, StreamName) == 24);
template <>
inline constexpr std::size_t kHeadBytes<FILE_STREAM_INFORMATION> = offsetof(FILE_STREAM_INFORMATION,
                                                                            StreamName);

// NtQueryInformationFile classes 4 and 5: the times and attributes, the sizes of one open file.
inline constexpr std::uint32_t FileBasicInformation = 4;
inline constexpr std::uint32_t FileStandardInformation = 5;

struct FILE_BASIC_INFORMATION {
  std::int64_t CreationTime;
  std::int64_t LastAccessTime;
  std::int64_t LastWriteTime;
  std::int64_t ChangeTime;
  std::uint32_t FileAttributes;
};
static_assert(offsetof(FILE_BASIC_INFORMATION, LastAccessTime) == 8);
static_assert(offsetof(FILE_BASIC_INFORMATION, LastWriteTime) == 16);
static_assert(offsetof(FILE_BASIC_INFORMATION, ChangeTime) == 24);
static_assert(offsetof(FILE_BASIC_INFORMATION, FileAttributes) == 32);
static_assert(sizeof(FILE_BASIC_INFORMATION) == 40);

struct FILE_STANDARD_INFORMATION {
  std::int64_t AllocationSize;
  std::int64_t EndOfFile;
  std::uint32_t NumberOfLinks;
  std::uint8_t DeletePending;
  std::uint8_t Directory;
};
static_assert(offsetof(FILE_STANDARD_INFORMATION, EndOfFile) == 8);
static_assert(offsetof(FILE_STANDARD_INFORMATION, NumberOfLinks) == 16);
static_assert(offsetof(FILE_STANDARD_INFORMATION, Directory) == 21);
static_assert(sizeof(FILE_STANDARD_INFORMATION) == 24);

// Where a chained record (directory or stream information) keeps its NextEntryOffset: the
// same place in every one of them.
inline constexpr std::size_t kNextEntryOffsetAt = offsetof(FILE_NAMES_INFORMATION, NextEntryOffset);
static_assert(offsetof(FILE_DIRECTORY_INFORMATION, NextEntryOffset) == kNextEntryOffsetAt);
static_assert(offsetof(FILE_FULL_DIR_INFORMATION, NextEntryOffset) == kNextEntryOffsetAt);
static_assert(offsetof(FILE_BOTH_DIR_INFORMATION, NextEntryOffset) == kNextEntryOffsetAt);
static_assert(offsetof(FILE_STREAM_INFORMATION, NextEntryOffset) == kNextEntryOffsetAt);

// --- registry ---

// NtEnumerateKey / NtEnumerateValueKey / NtQueryValueKey information classes and their
// records (no pointers: one layout for both pointer widths). Names are counted, not terminated.
inline constexpr std::uint32_t KeyBasicInformation = 0;
inline constexpr std::uint32_t KeyValueBasicInformation = 0;
inline constexpr std::uint32_t KeyValueFullInformation = 1;

struct KEY_BASIC_INFORMATION {
  std::int64_t LastWriteTime;
  std::uint32_t TitleIndex;
  std::uint32_t NameLength;  // bytes
  char16_t Name[1];
};
static_assert(offsetof(KEY_BASIC_INFORMATION, TitleIndex) == 8);
static_assert(offsetof(KEY_BASIC_INFORMATION, NameLength) == 12);
static_assert(offsetof(KEY_BASIC_INFORMATION, Name) == 16);
template <>
inline constexpr std::size_t kHeadBytes<KEY_BASIC_INFORMATION> = offsetof(KEY_BASIC_INFORMATION, Name);

struct KEY_VALUE_BASIC_INFORMATION {
  std::uint32_t TitleIndex;
  std::uint32_t Type;
  std::uint32_t NameLength;  // bytes
  char16_t Name[1];
};
static_assert(offsetof(KEY_VALUE_BASIC_INFORMATION, Type) == 4);
static_assert(offsetof(KEY_VALUE_BASIC_INFORMATION, NameLength) == 8);
static_assert(offsetof(KEY_VALUE_BASIC_INFORMATION, Name) == 12);
template <>
inline constexpr std::size_t kHeadBytes<KEY_VALUE_BASIC_INFORMATION> = offsetof(KEY_VALUE_BASIC_INFORMATION,
                                                                                Name);

struct KEY_VALUE_FULL_INFORMATION {
  std::uint32_t TitleIndex;
  std::uint32_t Type;
  std::uint32_t DataOffset;  // from the start of the record
  std::uint32_t DataLength;
  std::uint32_t NameLength;  // bytes
  char16_t Name[1];
};
static_assert(offsetof(KEY_VALUE_FULL_INFORMATION, DataOffset) == 8);
static_assert(offsetof(KEY_VALUE_FULL_INFORMATION, DataLength) == 12);
static_assert(offsetof(KEY_VALUE_FULL_INFORMATION, NameLength) == 16);
static_assert(offsetof(KEY_VALUE_FULL_INFORMATION, Name) == 20);
template <>
inline constexpr std::size_t kHeadBytes<KEY_VALUE_FULL_INFORMATION> = offsetof(KEY_VALUE_FULL_INFORMATION,
                                                                               Name);

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

// NtQuerySystemInformation class 16: a ULONG count, then the entries, aligned for their
// pointer member. Owner process IDs are cut to 16 bits by this table.
struct SystemHandleTableEntryInfo {
  std::uint16_t UniqueProcessId;
  std::uint16_t CreatorBackTraceIndex;
  std::uint8_t ObjectTypeIndex;
  std::uint8_t HandleAttributes;
  std::uint16_t HandleValue;
  std::uintptr_t Object;
  std::uint32_t GrantedAccess;
};
struct SystemHandleInformation {
  std::uint32_t NumberOfHandles;
  SystemHandleTableEntryInfo Handles[1];
};
template <>
inline constexpr std::size_t kHeadBytes<SystemHandleInformation> = offsetof(SystemHandleInformation, Handles);
inline constexpr std::size_t kHandleTableEntriesOffset = kHeadBytes<SystemHandleInformation>;
static_assert(kHandleTableEntriesOffset == sizeof(std::uintptr_t));

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
struct SystemHandleInformationEx {
  std::uintptr_t NumberOfHandles;
  std::uintptr_t Reserved;
  SystemHandleTableEntryInfoEx Handles[1];
};
template <>
inline constexpr std::size_t kHeadBytes<SystemHandleInformationEx> = offsetof(SystemHandleInformationEx,
                                                                              Handles);
inline constexpr std::size_t kHandleTableExEntriesOffset = kHeadBytes<SystemHandleInformationEx>;
static_assert(kHandleTableExEntriesOffset == 2 * sizeof(std::uintptr_t));

// UNICODE_STRING as a buffer header (OBJECT_NAME_INFORMATION is one of these, its text
// following it in the same buffer).
struct UnicodeStringHeader {
  std::uint16_t Length;         // bytes, without terminator
  std::uint16_t MaximumLength;  // bytes
  std::uintptr_t Buffer;
};

// NtQueryInformationFile class 9: the length in bytes, then the name.
struct FILE_NAME_INFORMATION {
  std::uint32_t FileNameLength;  // bytes
  char16_t FileName[1];
};
template <>
inline constexpr std::size_t kHeadBytes<FILE_NAME_INFORMATION> = offsetof(FILE_NAME_INFORMATION, FileName);
inline constexpr std::size_t kFileNameInformationNameOffset = kHeadBytes<FILE_NAME_INFORMATION>;
static_assert(kFileNameInformationNameOffset == 4);

// NtQueryInformationProcess class 0. The status and the priority are 32-bit, each padded to
// the pointer that follows.
struct PROCESS_BASIC_INFORMATION {
  std::int32_t ExitStatus;
  std::uintptr_t PebBaseAddress;
  std::uintptr_t AffinityMask;
  std::int32_t BasePriority;
  std::uintptr_t UniqueProcessId;
  std::uintptr_t InheritedFromUniqueProcessId;
};

// The start of a process environment block up to its session number, in the layout of the
// build's pointer width (a 64-bit process's block holds pointers twice as wide, so the session
// lies further in). Only the flag and the session are read; the rest is kept as bytes.
inline constexpr std::size_t kPebSessionIdOffset = sizeof(std::uintptr_t) == 4 ? 0x1D4 : 0x2C0;
struct PEB {
  std::uint8_t InheritedAddressSpace;
  std::uint8_t ReadImageFileExecOptions;
  std::uint8_t BeingDebugged;
  std::uint8_t BitField;
  std::uint8_t Reserved[kPebSessionIdOffset - 4];
  std::uint32_t SessionId;
};
static_assert(offsetof(PEB, BeingDebugged) == 2);
static_assert(offsetof(PEB, SessionId) == kPebSessionIdOffset);

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
static_assert(sizeof(PROCESS_BASIC_INFORMATION) == 24 && offsetof(PROCESS_BASIC_INFORMATION, PebBaseAddress) == 4);
static_assert(offsetof(PROCESS_BASIC_INFORMATION, UniqueProcessId) == 16);
static_assert(sizeof(PEB) == 472);
#else
static_assert(sizeof(ProcessEntry32) == 304 && offsetof(ProcessEntry32, szExeFile) == 44);
static_assert(offsetof(ProcessEntry32, th32DefaultHeapID) == 16 &&
              offsetof(ProcessEntry32, th32ModuleID) == 24);
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
static_assert(sizeof(PROCESS_BASIC_INFORMATION) == 48 && offsetof(PROCESS_BASIC_INFORMATION, PebBaseAddress) == 8);
static_assert(offsetof(PROCESS_BASIC_INFORMATION, UniqueProcessId) == 32);
static_assert(sizeof(PEB) == 0x2C4);
#endif
static_assert(sizeof(ThreadEntry32) == 28 && offsetof(ThreadEntry32, th32OwnerProcessID) == 12);
static_assert(offsetof(SystemHandleTableEntryInfo, HandleValue) == 6);

// --- executable images (one layout for every build: the file format fixes it) ---

struct IMAGE_DOS_HEADER {
  std::uint16_t e_magic;  // "MZ"
  std::uint16_t e_cblp, e_cp, e_crlc, e_cparhdr, e_minalloc, e_maxalloc, e_ss, e_sp, e_csum, e_ip, e_cs,
      e_lfarlc, e_ovno;
  std::uint16_t e_res[4];
  std::uint16_t e_oemid, e_oeminfo;
  std::uint16_t e_res2[10];
  std::int32_t e_lfanew;  // where the PE signature lies
};
static_assert(sizeof(IMAGE_DOS_HEADER) == 64 && offsetof(IMAGE_DOS_HEADER, e_lfanew) == 60);

struct IMAGE_FILE_HEADER {
  std::uint16_t Machine;
  std::uint16_t NumberOfSections;
  std::uint32_t TimeDateStamp;
  std::uint32_t PointerToSymbolTable;
  std::uint32_t NumberOfSymbols;
  std::uint16_t SizeOfOptionalHeader;
  std::uint16_t Characteristics;
};
// The signature and the file header: what lies at e_lfanew.
struct ImagePeHeader {
  std::uint32_t Signature;  // "PE\0\0"
  IMAGE_FILE_HEADER FileHeader;
};
static_assert(sizeof(ImagePeHeader) == 24 && offsetof(ImagePeHeader, FileHeader) == 4);
static_assert(offsetof(IMAGE_FILE_HEADER, SizeOfOptionalHeader) == 16);

struct IMAGE_DATA_DIRECTORY {
  std::uint32_t VirtualAddress;
  std::uint32_t Size;
};
// The data directories an image reader looks at: export (0) to import address table (12).
inline constexpr std::size_t kImageReadDirectories = 13;

// The optional header of a 32-bit image up to the thirteenth data directory (the last three
// are reserved or rarely used and are not read).
struct ImageOptionalHeader32 {
  std::uint16_t Magic;  // 0x10B
  std::uint8_t MajorLinkerVersion, MinorLinkerVersion;
  std::uint32_t SizeOfCode, SizeOfInitializedData, SizeOfUninitializedData, AddressOfEntryPoint, BaseOfCode,
      BaseOfData, ImageBase, SectionAlignment, FileAlignment;
  std::uint16_t MajorOperatingSystemVersion, MinorOperatingSystemVersion, MajorImageVersion, MinorImageVersion,
      MajorSubsystemVersion, MinorSubsystemVersion;
  std::uint32_t Win32VersionValue, SizeOfImage, SizeOfHeaders, CheckSum;
  std::uint16_t Subsystem, DllCharacteristics;
  std::uint32_t SizeOfStackReserve, SizeOfStackCommit, SizeOfHeapReserve, SizeOfHeapCommit, LoaderFlags,
      NumberOfRvaAndSizes;
  IMAGE_DATA_DIRECTORY DataDirectory[kImageReadDirectories];
};
static_assert(sizeof(ImageOptionalHeader32) == 200 && offsetof(ImageOptionalHeader32, DataDirectory) == 96);
static_assert(offsetof(ImageOptionalHeader32, ImageBase) == 28 && offsetof(ImageOptionalHeader32, SizeOfImage) == 56);

// The same for a 64-bit (PE32+) image: no BaseOfData, and the image base and the stack and
// heap sizes are 64-bit.
struct ImageOptionalHeader64 {
  std::uint16_t Magic;  // 0x20B
  std::uint8_t MajorLinkerVersion, MinorLinkerVersion;
  std::uint32_t SizeOfCode, SizeOfInitializedData, SizeOfUninitializedData, AddressOfEntryPoint, BaseOfCode;
  std::uint32_t ImageBaseLow, ImageBaseHigh;  // 4-byte aligned in the file
  std::uint32_t SectionAlignment, FileAlignment;
  std::uint16_t MajorOperatingSystemVersion, MinorOperatingSystemVersion, MajorImageVersion, MinorImageVersion,
      MajorSubsystemVersion, MinorSubsystemVersion;
  std::uint32_t Win32VersionValue, SizeOfImage, SizeOfHeaders, CheckSum;
  std::uint16_t Subsystem, DllCharacteristics;
  std::uint32_t SizeOfStackReserve[2], SizeOfStackCommit[2], SizeOfHeapReserve[2], SizeOfHeapCommit[2];
  std::uint32_t LoaderFlags, NumberOfRvaAndSizes;
  IMAGE_DATA_DIRECTORY DataDirectory[kImageReadDirectories];
};
static_assert(sizeof(ImageOptionalHeader64) == 216 && offsetof(ImageOptionalHeader64, DataDirectory) == 112);
static_assert(offsetof(ImageOptionalHeader64, ImageBaseLow) == 24 && offsetof(ImageOptionalHeader64, SizeOfImage) == 56);

struct IMAGE_SECTION_HEADER {
  std::uint8_t Name[8];
  std::uint32_t VirtualSize;  // Misc.VirtualSize
  std::uint32_t VirtualAddress;
  std::uint32_t SizeOfRawData;
  std::uint32_t PointerToRawData;
  std::uint32_t PointerToRelocations;
  std::uint32_t PointerToLinenumbers;
  std::uint16_t NumberOfRelocations;
  std::uint16_t NumberOfLinenumbers;
  std::uint32_t Characteristics;
};
static_assert(sizeof(IMAGE_SECTION_HEADER) == 40 && offsetof(IMAGE_SECTION_HEADER, PointerToRawData) == 20);

struct IMAGE_IMPORT_DESCRIPTOR {
  std::uint32_t OriginalFirstThunk;
  std::uint32_t TimeDateStamp;
  std::uint32_t ForwarderChain;
  std::uint32_t Name;
  std::uint32_t FirstThunk;
};
static_assert(sizeof(IMAGE_IMPORT_DESCRIPTOR) == 20 && offsetof(IMAGE_IMPORT_DESCRIPTOR, FirstThunk) == 16);

struct IMAGE_EXPORT_DIRECTORY {
  std::uint32_t Characteristics;
  std::uint32_t TimeDateStamp;
  std::uint16_t MajorVersion, MinorVersion;
  std::uint32_t Name;
  std::uint32_t Base;
  std::uint32_t NumberOfFunctions;
  std::uint32_t NumberOfNames;
  std::uint32_t AddressOfFunctions;
  std::uint32_t AddressOfNames;
  std::uint32_t AddressOfNameOrdinals;
};
static_assert(sizeof(IMAGE_EXPORT_DIRECTORY) == 40 && offsetof(IMAGE_EXPORT_DIRECTORY, Base) == 16);

struct IMAGE_RESOURCE_DIRECTORY {
  std::uint32_t Characteristics;
  std::uint32_t TimeDateStamp;
  std::uint16_t MajorVersion, MinorVersion;
  std::uint16_t NumberOfNamedEntries;
  std::uint16_t NumberOfIdEntries;
};
static_assert(sizeof(IMAGE_RESOURCE_DIRECTORY) == 16 && offsetof(IMAGE_RESOURCE_DIRECTORY, NumberOfIdEntries) == 14);

struct IMAGE_RESOURCE_DIRECTORY_ENTRY {
  std::uint32_t Name;          // bit 31: offset of a counted name, else the ID
  std::uint32_t OffsetToData;  // bit 31: offset of a subdirectory, else of a data entry
};
static_assert(sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY) == 8);

struct IMAGE_RESOURCE_DATA_ENTRY {
  std::uint32_t OffsetToData;
  std::uint32_t Size;
  std::uint32_t CodePage;
  std::uint32_t Reserved;
};
static_assert(sizeof(IMAGE_RESOURCE_DATA_ENTRY) == 16);

struct IMAGE_DEBUG_DIRECTORY {
  std::uint32_t Characteristics;
  std::uint32_t TimeDateStamp;
  std::uint16_t MajorVersion, MinorVersion;
  std::uint32_t Type;
  std::uint32_t SizeOfData;
  std::uint32_t AddressOfRawData;
  std::uint32_t PointerToRawData;
};
static_assert(sizeof(IMAGE_DEBUG_DIRECTORY) == 28 && offsetof(IMAGE_DEBUG_DIRECTORY, PointerToRawData) == 24);

// One block of the base relocation directory: the page it covers and its size in bytes, this
// head included; 16-bit entries (type in the top four bits, offset in the page below) follow.
struct IMAGE_BASE_RELOCATION {
  std::uint32_t VirtualAddress;
  std::uint32_t SizeOfBlock;
};
static_assert(sizeof(IMAGE_BASE_RELOCATION) == 8 && offsetof(IMAGE_BASE_RELOCATION, SizeOfBlock) == 4);
inline constexpr std::uint16_t kImageRelBasedAbsolute = 0;
inline constexpr std::uint16_t kImageRelBasedHighLow = 3;
inline constexpr std::uint16_t kImageRelBasedDir64 = 10;
inline constexpr std::size_t kImageDirectoryExport = 0;
inline constexpr std::size_t kImageDirectoryImport = 1;
inline constexpr std::size_t kImageDirectoryBaseReloc = 5;
inline constexpr std::size_t kImageDirectoryIat = 12;
inline constexpr std::uint32_t kImageScnCntCode = 0x20;
inline constexpr std::uint32_t kImageScnMemExecute = 0x20000000;

// --- process memory ---

// What VirtualQueryEx writes, in the layout of the build's pointer width (28 bytes for a
// 32-bit build, 48 with the padding of a 64-bit one).
struct MEMORY_BASIC_INFORMATION {
  std::uintptr_t BaseAddress;
  std::uintptr_t AllocationBase;
  std::uint32_t AllocationProtect;
#if UINTPTR_MAX != 0xFFFFFFFFu
  std::uint16_t PartitionId;
#endif
  std::uintptr_t RegionSize;
  std::uint32_t State;
  std::uint32_t Protect;
  std::uint32_t Type;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(MEMORY_BASIC_INFORMATION) == 28 && offsetof(MEMORY_BASIC_INFORMATION, RegionSize) == 12);
static_assert(offsetof(MEMORY_BASIC_INFORMATION, Type) == 24);
#else
static_assert(sizeof(MEMORY_BASIC_INFORMATION) == 48 && offsetof(MEMORY_BASIC_INFORMATION, RegionSize) == 24);
static_assert(offsetof(MEMORY_BASIC_INFORMATION, State) == 32 && offsetof(MEMORY_BASIC_INFORMATION, Type) == 40);
#endif
// Its State, Protect and Type values.
inline constexpr std::uint32_t kMemCommit = 0x1000;
inline constexpr std::uint32_t kMemReserve = 0x2000;
inline constexpr std::uint32_t kMemFree = 0x10000;
inline constexpr std::uint32_t kMemPrivate = 0x20000;
inline constexpr std::uint32_t kMemImage = 0x1000000;
inline constexpr std::uint32_t kPageNoAccess = 0x01;
inline constexpr std::uint32_t kPageReadOnly = 0x02;
inline constexpr std::uint32_t kPageReadWrite = 0x04;

}  // namespace platform::records

// Portable spellings of the Windows types, status values and error codes the platform layer passes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

using NTSTATUS = std::uint32_t;
using DWORD = std::uint32_t;
using Handle = std::uintptr_t;  // an opaque handle value; 0 is "no handle"

inline constexpr Handle kNullHandle = 0;
inline constexpr Handle kInvalidHandle = ~Handle{0};  // INVALID_HANDLE_VALUE

// Every status and error code the platform layer passes, in one place: the backends answer
// with these and the scanners test for them. The values are the system's own.

// Native status codes.
inline constexpr NTSTATUS STATUS_SUCCESS = 0x00000000;
inline constexpr NTSTATUS STATUS_PENDING = 0x00000103;
inline constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = 0x80000005;
inline constexpr NTSTATUS STATUS_NO_MORE_FILES = 0x80000006;
inline constexpr NTSTATUS STATUS_NO_MORE_ENTRIES = 0x8000001A;
inline constexpr NTSTATUS STATUS_UNSUCCESSFUL = 0xC0000001;
inline constexpr NTSTATUS STATUS_NOT_IMPLEMENTED = 0xC0000002;
inline constexpr NTSTATUS STATUS_INVALID_INFO_CLASS = 0xC0000003;
inline constexpr NTSTATUS STATUS_INFO_LENGTH_MISMATCH = 0xC0000004;
inline constexpr NTSTATUS STATUS_INVALID_HANDLE = 0xC0000008;
inline constexpr NTSTATUS STATUS_INVALID_CID = 0xC000000B;
inline constexpr NTSTATUS STATUS_INVALID_PARAMETER = 0xC000000D;
inline constexpr NTSTATUS STATUS_NO_SUCH_FILE = 0xC000000F;
inline constexpr NTSTATUS STATUS_ACCESS_DENIED = 0xC0000022;
inline constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = 0xC0000023;
inline constexpr NTSTATUS STATUS_OBJECT_TYPE_MISMATCH = 0xC0000024;
inline constexpr NTSTATUS STATUS_OBJECT_NAME_INVALID = 0xC0000033;
inline constexpr NTSTATUS STATUS_OBJECT_NAME_NOT_FOUND = 0xC0000034;
inline constexpr NTSTATUS STATUS_OBJECT_NAME_COLLISION = 0xC0000035;
inline constexpr NTSTATUS STATUS_OBJECT_PATH_NOT_FOUND = 0xC000003A;
inline constexpr NTSTATUS STATUS_OBJECT_PATH_SYNTAX_BAD = 0xC000003B;
inline constexpr NTSTATUS STATUS_SHARING_VIOLATION = 0xC0000043;
inline constexpr NTSTATUS STATUS_DELETE_PENDING = 0xC0000056;
inline constexpr NTSTATUS STATUS_NOT_SUPPORTED = 0xC00000BB;
inline constexpr NTSTATUS STATUS_NOT_A_DIRECTORY = 0xC0000103;
inline constexpr NTSTATUS STATUS_CANNOT_DELETE = 0xC0000121;
inline constexpr NTSTATUS STATUS_KEY_DELETED = 0xC000017C;
inline constexpr NTSTATUS STATUS_INVALID_DEVICE_REQUEST = 0xC0000010;
inline constexpr NTSTATUS STATUS_END_OF_FILE = 0xC0000011;
inline constexpr NTSTATUS STATUS_FILE_IS_A_DIRECTORY = 0xC00000BA;
inline constexpr NTSTATUS STATUS_DIRECTORY_NOT_EMPTY = 0xC0000101;

inline constexpr bool NT_SUCCESS(NTSTATUS s) { return static_cast<std::int32_t>(s) >= 0; }

// Win32 error codes (GetLastError and the registry functions' return values).
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_INVALID_FUNCTION = 1;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_NO_MORE_FILES = 18;
inline constexpr DWORD ERROR_NOT_READY = 21;
inline constexpr DWORD ERROR_BAD_LENGTH = 24;
inline constexpr DWORD ERROR_SEEK = 25;
inline constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_DIRECTORY = 267;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_BAD_PATHNAME = 161;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
inline constexpr DWORD ERROR_PARTIAL_COPY = 299;
inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
inline constexpr DWORD ERROR_FILE_INVALID = 1006;
inline constexpr DWORD ERROR_KEY_DELETED = 1018;
inline constexpr DWORD ERROR_UNKNOWN_REVISION = 1305;
inline constexpr DWORD ERROR_NONE_MAPPED = 1332;
inline constexpr DWORD ERROR_INVALID_SID = 1337;
inline constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;
inline constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;

// NtOpenFile / NtCreateFile access, share and option bits (files).
inline constexpr DWORD FILE_READ_DATA = 0x0001;  // on a folder the same bit lists it
inline constexpr DWORD FILE_LIST_DIRECTORY = 0x0001;
inline constexpr DWORD FILE_READ_ATTRIBUTES = 0x0080;
inline constexpr DWORD SYNCHRONIZE = 0x00100000;
inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD FILE_SHARE_DELETE = 0x4;
inline constexpr DWORD FILE_DIRECTORY_FILE = 0x01;
inline constexpr DWORD FILE_WRITE_THROUGH = 0x02;
inline constexpr DWORD FILE_SYNCHRONOUS_IO_NONALERT = 0x20;
inline constexpr DWORD FILE_NON_DIRECTORY_FILE = 0x40;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
// FILE_ATTRIBUTE_REPARSE_POINT, and the tag bit that marks a name surrogate (a junction or a
// symbolic link: the entry names another place). Named apart from the SDK's macros.
inline constexpr DWORD kFileAttributeReparsePoint = 0x400;
inline constexpr DWORD kReparseTagNameSurrogate = 0x20000000;

// Object attribute flags.
inline constexpr std::uint32_t OBJ_INHERIT = 0x002;
inline constexpr std::uint32_t OBJ_CASE_INSENSITIVE = 0x040;
inline constexpr std::uint32_t OBJ_OPENIF = 0x080;
inline constexpr std::uint32_t OBJ_KERNEL_HANDLE = 0x200;

// What OBJECT_ATTRIBUTES carries, with the name as a counted UTF-16 string: zero characters
// inside it are part of the name. Names longer than 32,767 characters cannot be counted in a
// UNICODE_STRING and are refused with STATUS_OBJECT_NAME_INVALID by both backends.
struct ObjectAttributes {
  std::u16string_view name;
  std::uint32_t attributes = OBJ_CASE_INSENSITIVE;
  Handle rootDirectory = kNullHandle;
};

// IO_STATUS_BLOCK: final status and one information word.
struct IoStatus {
  NTSTATUS status = STATUS_PENDING;
  std::uintptr_t information = 0;
};

// OSVERSIONINFOA as GetVersionExA fills it.
struct OsVersionInfo {
  DWORD majorVersion = 0;
  DWORD minorVersion = 0;
  DWORD buildNumber = 0;
  DWORD platformId = 0;
  std::string csdVersion;
};

// SYSTEMTIME
struct SystemTime {
  std::uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0,
                milliseconds = 0;
};

// Code pages and comparison flags.
inline constexpr std::uint32_t CP_ACP = 0;
inline constexpr std::uint32_t CP_UTF8 = 65001;
inline constexpr std::uint32_t LOCALE_USER_DEFAULT = 0x0400;
inline constexpr std::uint32_t LOCALE_INVARIANT = 0x007F;
inline constexpr std::uint32_t NORM_IGNORECASE = 0x00000001;
inline constexpr std::uint32_t LCMAP_UPPERCASE = 0x00000200;
inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;

// GetDriveType answers.
inline constexpr unsigned DRIVE_UNKNOWN = 0;
inline constexpr unsigned DRIVE_NO_ROOT_DIR = 1;
inline constexpr unsigned DRIVE_REMOVABLE = 2;
inline constexpr unsigned DRIVE_FIXED = 3;
inline constexpr unsigned DRIVE_REMOTE = 4;
inline constexpr unsigned DRIVE_CDROM = 5;
inline constexpr unsigned DRIVE_RAMDISK = 6;

// The predefined root keys as 32-bit values.
using HKEY = Handle;  // predefined roots below; opened keys are ordinary handle values
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
inline constexpr HKEY HKEY_USERS = 0x80000003;
inline constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005;
inline constexpr HKEY HKEY_DYN_DATA = 0x80000006;

// --- registry (Win32) ---
inline constexpr DWORD KEY_QUERY_VALUE = 0x0001;
inline constexpr DWORD KEY_SET_VALUE = 0x0002;
inline constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr DWORD KEY_NOTIFY = 0x0010;
inline constexpr DWORD KEY_WOW64_64KEY = 0x0100;
inline constexpr DWORD KEY_WOW64_32KEY = 0x0200;
inline constexpr DWORD KEY_WOW64_RES = 0x0300;
inline constexpr DWORD KEY_READ = 0x20019;
inline constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

// --- security ---
// SECURITY_INFORMATION bits: which parts of a descriptor to read or convert.
inline constexpr DWORD OWNER_SECURITY_INFORMATION = 0x1;
inline constexpr DWORD GROUP_SECURITY_INFORMATION = 0x2;
inline constexpr DWORD DACL_SECURITY_INFORMATION = 0x4;
inline constexpr DWORD SACL_SECURITY_INFORMATION = 0x8;
inline constexpr DWORD SDDL_REVISION_1 = 1;
// SID_NAME_USE answers of the account look-ups.
inline constexpr DWORD SidTypeUser = 1;
inline constexpr DWORD SidTypeGroup = 2;
inline constexpr DWORD SidTypeDomain = 3;
inline constexpr DWORD SidTypeAlias = 4;
inline constexpr DWORD SidTypeWellKnownGroup = 5;

// --- processes ---

// Access rights and options of process and handle functions.
inline constexpr DWORD PROCESS_TERMINATE = 0x0001;
inline constexpr DWORD PROCESS_DUP_HANDLE = 0x0040;
inline constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
inline constexpr DWORD PROCESS_VM_READ = 0x0010;
inline constexpr DWORD PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;
inline constexpr DWORD DUPLICATE_SAME_ACCESS = 0x00000002;

// CreateToolhelp32Snapshot flags.
inline constexpr DWORD TH32CS_SNAPHEAPLIST = 0x00000001;
inline constexpr DWORD TH32CS_SNAPPROCESS = 0x00000002;
inline constexpr DWORD TH32CS_SNAPTHREAD = 0x00000004;
inline constexpr DWORD TH32CS_SNAPMODULE = 0x00000008;

// Native information classes read by the handle enumeration.
inline constexpr DWORD SystemHandleInformation = 16;
inline constexpr DWORD SystemExtendedHandleInformation = 64;
inline constexpr DWORD ObjectNameInformation = 1;
inline constexpr DWORD FileNameInformation = 9;
// NtQueryInformationProcess: PROCESS_BASIC_INFORMATION.
inline constexpr DWORD ProcessBasicInformation = 0;

// Opening and mapping files for digests.
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
inline constexpr DWORD PAGE_READONLY = 0x02;
inline constexpr DWORD FILE_MAP_READ = 0x0004;

// --- files: creating, writing, renaming, deleting ---
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD GENERIC_ALL = 0x10000000;
inline constexpr DWORD DELETE = 0x00010000;
inline constexpr DWORD FILE_WRITE_DATA = 0x0002;
inline constexpr DWORD FILE_APPEND_DATA = 0x0004;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_FLAG_DELETE_ON_CLOSE = 0x04000000;
// NtOpenFile options: delete the file when the handle closes; open as a backup program would.
inline constexpr DWORD FILE_DELETE_ON_CLOSE = 0x00001000;
inline constexpr DWORD FILE_OPEN_FOR_BACKUP_INTENT = 0x00004000;
inline constexpr DWORD FILE_SYNCHRONOUS_IO_ALERT = 0x10;
inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;
inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
inline constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;

// --- events and waiting ---
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD INFINITE = 0xFFFFFFFF;

// --- files: streams ---

// CreateFile flag that opens folders as well as files, for backup reads.
inline constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
// Stream identifiers of a backup image (WIN32_STREAM_ID.dwStreamId).
inline constexpr DWORD BACKUP_DATA = 1;
inline constexpr DWORD BACKUP_EA_DATA = 2;
inline constexpr DWORD BACKUP_SECURITY_DATA = 3;
inline constexpr DWORD BACKUP_ALTERNATE_DATA = 4;

}  // namespace platform

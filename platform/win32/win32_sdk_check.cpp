// Build-time proof that the portable constants and records are the SDK's own: a value or a
// layout that differs stops the Windows build. Only this file keeps the SDK's macros.
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/http.h"
#include "platform/records.h"
#include "platform/types.h"

// Every integer constant of platform/types.h that the SDK may define as a macro. The root keys
// are left out: the SDK defines them as pointers (sign-extended on 64-bit systems), which the
// backend converts, and a pointer is no constant to compare at build time.
#define UMBRA_PORTABLE_CONSTANTS(X)  \
  X(STATUS_SUCCESS)                  \
  X(STATUS_PENDING)                  \
  X(STATUS_BUFFER_OVERFLOW)          \
  X(STATUS_NO_MORE_FILES)            \
  X(STATUS_NO_MORE_ENTRIES)          \
  X(STATUS_UNSUCCESSFUL)             \
  X(STATUS_NOT_IMPLEMENTED)          \
  X(STATUS_INVALID_INFO_CLASS)       \
  X(STATUS_INFO_LENGTH_MISMATCH)     \
  X(STATUS_INVALID_HANDLE)           \
  X(STATUS_INVALID_CID)              \
  X(STATUS_INVALID_PARAMETER)        \
  X(STATUS_NO_SUCH_FILE)             \
  X(STATUS_ACCESS_DENIED)            \
  X(STATUS_BUFFER_TOO_SMALL)         \
  X(STATUS_OBJECT_TYPE_MISMATCH)     \
  X(STATUS_OBJECT_NAME_INVALID)      \
  X(STATUS_OBJECT_NAME_NOT_FOUND)    \
  X(STATUS_OBJECT_NAME_COLLISION)    \
  X(STATUS_OBJECT_PATH_NOT_FOUND)    \
  X(STATUS_OBJECT_PATH_SYNTAX_BAD)   \
  X(STATUS_SHARING_VIOLATION)        \
  X(STATUS_DELETE_PENDING)           \
  X(STATUS_NOT_SUPPORTED)            \
  X(STATUS_NOT_A_DIRECTORY)          \
  X(STATUS_CANNOT_DELETE)            \
  X(STATUS_KEY_DELETED)              \
  X(ERROR_SUCCESS)                   \
  X(ERROR_INVALID_FUNCTION)          \
  X(ERROR_FILE_NOT_FOUND)            \
  X(ERROR_PATH_NOT_FOUND)            \
  X(ERROR_ACCESS_DENIED)             \
  X(ERROR_INVALID_HANDLE)            \
  X(ERROR_NOT_ENOUGH_MEMORY)         \
  X(ERROR_NO_MORE_FILES)             \
  X(ERROR_NOT_READY)                 \
  X(ERROR_BAD_LENGTH)                \
  X(ERROR_SEEK)                      \
  X(ERROR_SHARING_VIOLATION)         \
  X(ERROR_NOT_SUPPORTED)             \
  X(ERROR_INVALID_PARAMETER)         \
  X(ERROR_CALL_NOT_IMPLEMENTED)      \
  X(ERROR_INSUFFICIENT_BUFFER)       \
  X(ERROR_INVALID_NAME)              \
  X(ERROR_BAD_PATHNAME)              \
  X(ERROR_MORE_DATA)                 \
  X(ERROR_NO_MORE_ITEMS)             \
  X(ERROR_PARTIAL_COPY)              \
  X(ERROR_FILE_INVALID)              \
  X(ERROR_KEY_DELETED)               \
  X(ERROR_MR_MID_NOT_FOUND)          \
  X(ERROR_UNKNOWN_REVISION)          \
  X(ERROR_NONE_MAPPED)               \
  X(ERROR_INVALID_SID)               \
  X(ERROR_INVALID_SECURITY_DESCR)    \
  X(RPC_S_SERVER_UNAVAILABLE)        \
  X(OWNER_SECURITY_INFORMATION)      \
  X(GROUP_SECURITY_INFORMATION)      \
  X(DACL_SECURITY_INFORMATION)       \
  X(SACL_SECURITY_INFORMATION)       \
  X(SDDL_REVISION_1)                 \
  X(FILE_READ_DATA)                  \
  X(FILE_LIST_DIRECTORY)             \
  X(FILE_READ_ATTRIBUTES)            \
  X(SYNCHRONIZE)                     \
  X(FILE_SHARE_READ)                 \
  X(FILE_SHARE_WRITE)                \
  X(FILE_SHARE_DELETE)               \
  X(FILE_DIRECTORY_FILE)             \
  X(FILE_WRITE_THROUGH)              \
  X(FILE_SYNCHRONOUS_IO_NONALERT)    \
  X(FILE_NON_DIRECTORY_FILE)         \
  X(FILE_ATTRIBUTE_DIRECTORY)        \
  X(OBJ_INHERIT)                     \
  X(OBJ_CASE_INSENSITIVE)            \
  X(OBJ_OPENIF)                      \
  X(OBJ_KERNEL_HANDLE)               \
  X(CP_ACP)                          \
  X(CP_UTF8)                         \
  X(LOCALE_USER_DEFAULT)             \
  X(LOCALE_INVARIANT)                \
  X(NORM_IGNORECASE)                 \
  X(LCMAP_UPPERCASE)                 \
  X(CSTR_LESS_THAN)                  \
  X(CSTR_EQUAL)                      \
  X(CSTR_GREATER_THAN)               \
  X(DRIVE_UNKNOWN)                   \
  X(DRIVE_NO_ROOT_DIR)               \
  X(DRIVE_REMOVABLE)                 \
  X(DRIVE_FIXED)                     \
  X(DRIVE_REMOTE)                    \
  X(DRIVE_CDROM)                     \
  X(DRIVE_RAMDISK)                   \
  X(KEY_QUERY_VALUE)                 \
  X(KEY_SET_VALUE)                   \
  X(KEY_ENUMERATE_SUB_KEYS)          \
  X(KEY_NOTIFY)                      \
  X(KEY_WOW64_64KEY)                 \
  X(KEY_WOW64_32KEY)                 \
  X(KEY_WOW64_RES)                   \
  X(KEY_READ)                        \
  X(KEY_ALL_ACCESS)                  \
  X(REG_CREATED_NEW_KEY)             \
  X(REG_OPENED_EXISTING_KEY)         \
  X(REG_NONE)                        \
  X(REG_SZ)                          \
  X(REG_EXPAND_SZ)                   \
  X(REG_BINARY)                      \
  X(REG_DWORD)                       \
  X(REG_DWORD_BIG_ENDIAN)            \
  X(REG_LINK)                        \
  X(REG_MULTI_SZ)                    \
  X(REG_QWORD)                       \
  X(PROCESS_TERMINATE)               \
  X(PROCESS_DUP_HANDLE)              \
  X(PROCESS_QUERY_INFORMATION)       \
  X(PROCESS_VM_READ)                 \
  X(DUPLICATE_SAME_ACCESS)           \
  X(TH32CS_SNAPHEAPLIST)             \
  X(TH32CS_SNAPPROCESS)              \
  X(TH32CS_SNAPTHREAD)               \
  X(TH32CS_SNAPMODULE)               \
  X(SystemExtendedHandleInformation) \
  X(GENERIC_READ)                    \
  X(OPEN_EXISTING)                   \
  X(FILE_ATTRIBUTE_NORMAL)           \
  X(FILE_FLAG_SEQUENTIAL_SCAN)       \
  X(INVALID_FILE_SIZE)               \
  X(INVALID_FILE_ATTRIBUTES)         \
  X(PAGE_READONLY)                   \
  X(FILE_MAP_READ)                   \
  X(FILE_FLAG_BACKUP_SEMANTICS)      \
  X(BACKUP_DATA)                     \
  X(BACKUP_EA_DATA)                  \
  X(BACKUP_SECURITY_DATA)            \
  X(BACKUP_ALTERNATE_DATA)           \
  X(STATUS_INVALID_DEVICE_REQUEST)    \
  X(STATUS_END_OF_FILE)               \
  X(STATUS_FILE_IS_A_DIRECTORY)       \
  X(STATUS_DIRECTORY_NOT_EMPTY)       \
  X(ERROR_NOT_SAME_DEVICE)            \
  X(ERROR_FILE_EXISTS)                \
  X(ERROR_NEGATIVE_SEEK)              \
  X(ERROR_ALREADY_EXISTS)             \
  X(ERROR_DIRECTORY)                  \
  X(GENERIC_WRITE)                    \
  X(GENERIC_ALL)                      \
  X(DELETE)                           \
  X(FILE_WRITE_DATA)                  \
  X(FILE_APPEND_DATA)                 \
  X(CREATE_NEW)                       \
  X(CREATE_ALWAYS)                    \
  X(OPEN_ALWAYS)                      \
  X(TRUNCATE_EXISTING)                \
  X(FILE_ATTRIBUTE_READONLY)          \
  X(FILE_ATTRIBUTE_ARCHIVE)           \
  X(FILE_FLAG_DELETE_ON_CLOSE)        \
  X(FILE_DELETE_ON_CLOSE)             \
  X(FILE_OPEN_FOR_BACKUP_INTENT)      \
  X(FILE_SYNCHRONOUS_IO_ALERT)        \
  X(FILE_BEGIN)                       \
  X(FILE_CURRENT)                     \
  X(FILE_END)                         \
  X(MOVEFILE_REPLACE_EXISTING)        \
  X(MOVEFILE_COPY_ALLOWED)            \
  X(WAIT_OBJECT_0)                    \
  X(WAIT_TIMEOUT)                     \
  X(WAIT_FAILED)                      \
  X(INTERNET_OPEN_TYPE_PRECONFIG) \
  X(INTERNET_OPEN_TYPE_DIRECT) \
  X(INTERNET_SERVICE_HTTP) \
  X(INTERNET_DEFAULT_HTTP_PORT) \
  X(INTERNET_DEFAULT_HTTPS_PORT) \
  X(INTERNET_FLAG_SECURE) \
  X(INTERNET_FLAG_RELOAD) \
  X(INTERNET_FLAG_NO_CACHE_WRITE) \
  X(HTTP_QUERY_CONTENT_LENGTH) \
  X(HTTP_QUERY_STATUS_CODE) \
  X(HTTP_QUERY_FLAG_NUMBER) \
  X(ERROR_INTERNET_TIMEOUT) \
  X(ERROR_INTERNET_INTERNAL_ERROR) \
  X(ERROR_INTERNET_INVALID_URL) \
  X(ERROR_INTERNET_NAME_NOT_RESOLVED) \
  X(ERROR_INTERNET_INCORRECT_HANDLE_TYPE) \
  X(ERROR_INTERNET_CANNOT_CONNECT) \
  X(ERROR_INTERNET_CONNECTION_ABORTED) \
  X(ERROR_INTERNET_CONNECTION_RESET) \
  X(ERROR_INTERNET_SEC_CERT_CN_INVALID) \
  X(ERROR_INTERNET_INVALID_CA) \
  X(ERROR_HTTP_HEADER_NOT_FOUND) \
  X(ERROR_HTTP_INVALID_SERVER_RESPONSE) \
  X(ERROR_INTERNET_SECURITY_CHANNEL_ERROR) \
  X(INFINITE)

namespace umbra_sdk_check {

// Stands for a name the SDK does not define: nothing to compare.
struct Absent {};

// The portable values, taken before the SDK's macros exist.
#define UMBRA_CAPTURE(name) inline constexpr std::uint32_t name##_portable = platform::name;
UMBRA_PORTABLE_CONSTANTS(UMBRA_CAPTURE)
#undef UMBRA_CAPTURE

namespace fallback {
#define UMBRA_ABSENT(name) inline constexpr Absent name{};
UMBRA_PORTABLE_CONSTANTS(UMBRA_ABSENT)
#undef UMBRA_ABSENT
}  // namespace fallback

// True when the SDK's value is the portable one (read as the same 32 bits), or the SDK has none.
template <typename T>
constexpr bool Same(std::uint32_t portable, T sdk) {
  if constexpr (std::is_same_v<T, Absent>) {
    return true;
  } else if constexpr (std::is_enum_v<T>) {
    return Same(portable, static_cast<std::underlying_type_t<T>>(sdk));
  } else {
    static_assert(std::is_integral_v<T>);
    const bool fits = sdk >= 0 ? static_cast<unsigned long long>(sdk) <= 0xFFFFFFFFull
                               : static_cast<long long>(sdk) >= INT32_MIN;
    return fits && static_cast<std::uint32_t>(sdk) == portable;
  }
}

}  // namespace umbra_sdk_check

// The status codes come from ntstatus.h, which windows.h's own few would collide with.
#define WIN32_NO_STATUS
#define UMBRA_KEEP_SDK_MACROS
#include "platform/win32/windows_shim.h"
#undef WIN32_NO_STATUS
#include <ntstatus.h>
#include <wininet.h>

// A name the SDK defines as a macro expands to its value below; one it does not define finds the
// fallback. A name the SDK declares otherwise (an enumerator) is ambiguous here and fails the
// build: compare it by name in the list after this one.
using namespace umbra_sdk_check::fallback;

namespace umbra_sdk_check {
#define UMBRA_COMPARE(name) static_assert(Same(name##_portable, name), #name " differs from the SDK");
UMBRA_PORTABLE_CONSTANTS(UMBRA_COMPARE)
#undef UMBRA_COMPARE
}  // namespace umbra_sdk_check

namespace umbra_sdk_check {

namespace rec = platform::records;

// Information classes, which the SDK declares as enumerators (the extended handle table's class
// is missing from the MinGW headers, so the list above covers it).
static_assert(platform::SystemHandleInformation == ::SystemHandleInformation);
static_assert(platform::SidTypeUser == ::SidTypeUser);
static_assert(platform::SidTypeGroup == ::SidTypeGroup);
static_assert(platform::SidTypeDomain == ::SidTypeDomain);
static_assert(platform::SidTypeAlias == ::SidTypeAlias);
static_assert(platform::SidTypeWellKnownGroup == ::SidTypeWellKnownGroup);
static_assert(platform::ObjectNameInformation == ::ObjectNameInformation);
static_assert(platform::FileNameInformation == ::FileNameInformation);
static_assert(rec::FileDirectoryInformation == ::FileDirectoryInformation);
static_assert(rec::FileFullDirectoryInformation == ::FileFullDirectoryInformation);
static_assert(rec::FileBothDirectoryInformation == ::FileBothDirectoryInformation);
static_assert(rec::FileNamesInformation == ::FileNamesInformation);
static_assert(rec::FileStreamInformation == ::FileStreamInformation);
static_assert(rec::FileBasicInformation == ::FileBasicInformation);
static_assert(rec::FileStandardInformation == ::FileStandardInformation);

// The records against the SDK's structs, where the SDK has them (the key records are missing
// from the MinGW headers; records.h checks their offsets against the documented ones).
#define UMBRA_SAME_FIELD(ours, theirs, field) \
  static_assert(offsetof(rec::ours, field) == offsetof(::theirs, field), #ours "::" #field);
UMBRA_SAME_FIELD(FILE_NAMES_INFORMATION, FILE_NAMES_INFORMATION, FileNameLength)
UMBRA_SAME_FIELD(FILE_NAMES_INFORMATION, FILE_NAMES_INFORMATION, FileName)
UMBRA_SAME_FIELD(FILE_DIRECTORY_INFORMATION, FILE_DIRECTORY_INFORMATION, CreationTime)
UMBRA_SAME_FIELD(FILE_DIRECTORY_INFORMATION, FILE_DIRECTORY_INFORMATION, LastAccessTime)
UMBRA_SAME_FIELD(FILE_DIRECTORY_INFORMATION, FILE_DIRECTORY_INFORMATION, LastWriteTime)
UMBRA_SAME_FIELD(FILE_DIRECTORY_INFORMATION, FILE_DIRECTORY_INFORMATION, ChangeTime)
UMBRA_SAME_FIELD(FILE_DIRECTORY_INFORMATION, FILE_DIRECTORY_INFORMATION, EndOfFile)
UMBRA_SAME_FIELD(FILE_DIRECTORY_INFORMATION, FILE_DIRECTORY_INFORMATION, AllocationSize)
UMBRA_SAME_FIELD(FILE_DIRECTORY_INFORMATION, FILE_DIRECTORY_INFORMATION, FileAttributes)
UMBRA_SAME_FIELD(FILE_DIRECTORY_INFORMATION, FILE_DIRECTORY_INFORMATION, FileNameLength)
UMBRA_SAME_FIELD(FILE_DIRECTORY_INFORMATION, FILE_DIRECTORY_INFORMATION, FileName)
UMBRA_SAME_FIELD(FILE_FULL_DIR_INFORMATION, FILE_FULL_DIR_INFORMATION, FileNameLength)
UMBRA_SAME_FIELD(FILE_FULL_DIR_INFORMATION, FILE_FULL_DIR_INFORMATION, EaSize)
UMBRA_SAME_FIELD(FILE_FULL_DIR_INFORMATION, FILE_FULL_DIR_INFORMATION, FileName)
UMBRA_SAME_FIELD(FILE_BOTH_DIR_INFORMATION, FILE_BOTH_DIR_INFORMATION, EaSize)
UMBRA_SAME_FIELD(FILE_BOTH_DIR_INFORMATION, FILE_BOTH_DIR_INFORMATION, ShortNameLength)
UMBRA_SAME_FIELD(FILE_BOTH_DIR_INFORMATION, FILE_BOTH_DIR_INFORMATION, ShortName)
UMBRA_SAME_FIELD(FILE_BOTH_DIR_INFORMATION, FILE_BOTH_DIR_INFORMATION, FileName)
UMBRA_SAME_FIELD(FILE_STREAM_INFORMATION, FILE_STREAM_INFORMATION, StreamNameLength)
UMBRA_SAME_FIELD(FILE_STREAM_INFORMATION, FILE_STREAM_INFORMATION, StreamSize)
UMBRA_SAME_FIELD(FILE_STREAM_INFORMATION, FILE_STREAM_INFORMATION, StreamAllocationSize)
UMBRA_SAME_FIELD(FILE_STREAM_INFORMATION, FILE_STREAM_INFORMATION, StreamName)
UMBRA_SAME_FIELD(WIN32_STREAM_ID, WIN32_STREAM_ID, dwStreamAttributes)
UMBRA_SAME_FIELD(WIN32_STREAM_ID, WIN32_STREAM_ID, Size)
UMBRA_SAME_FIELD(WIN32_STREAM_ID, WIN32_STREAM_ID, dwStreamNameSize)
UMBRA_SAME_FIELD(WIN32_STREAM_ID, WIN32_STREAM_ID, cStreamName)
UMBRA_SAME_FIELD(UnicodeStringHeader, UNICODE_STRING, Length)
UMBRA_SAME_FIELD(UnicodeStringHeader, UNICODE_STRING, MaximumLength)
UMBRA_SAME_FIELD(UnicodeStringHeader, UNICODE_STRING, Buffer)
UMBRA_SAME_FIELD(PROCESS_BASIC_INFORMATION, PROCESS_BASIC_INFORMATION, ExitStatus)
UMBRA_SAME_FIELD(PROCESS_BASIC_INFORMATION, PROCESS_BASIC_INFORMATION, PebBaseAddress)
UMBRA_SAME_FIELD(PROCESS_BASIC_INFORMATION, PROCESS_BASIC_INFORMATION, BasePriority)
UMBRA_SAME_FIELD(PROCESS_BASIC_INFORMATION, PROCESS_BASIC_INFORMATION, UniqueProcessId)
UMBRA_SAME_FIELD(PROCESS_BASIC_INFORMATION, PROCESS_BASIC_INFORMATION, InheritedFromUniqueProcessId)
UMBRA_SAME_FIELD(PEB, PEB, BeingDebugged)
UMBRA_SAME_FIELD(PEB, PEB, SessionId)
#undef UMBRA_SAME_FIELD
static_assert(sizeof(rec::PROCESS_BASIC_INFORMATION) == sizeof(::PROCESS_BASIC_INFORMATION));
static_assert(platform::ProcessBasicInformation == ::ProcessBasicInformation);
static_assert(sizeof(rec::WIN32_STREAM_ID) == sizeof(::WIN32_STREAM_ID));
static_assert(rec::kFileNameInformationNameOffset == offsetof(::FILE_NAME_INFORMATION, FileName));

// The handle table: the SDK names the fields of class 16's entries differently.
static_assert(sizeof(rec::SystemHandleTableEntryInfo) == sizeof(::SYSTEM_HANDLE_ENTRY));
static_assert(offsetof(rec::SystemHandleTableEntryInfo, ObjectTypeIndex) ==
              offsetof(::SYSTEM_HANDLE_ENTRY, ObjectType));
static_assert(offsetof(rec::SystemHandleTableEntryInfo, HandleValue) ==
              offsetof(::SYSTEM_HANDLE_ENTRY, HandleValue));
static_assert(offsetof(rec::SystemHandleTableEntryInfo, Object) ==
              offsetof(::SYSTEM_HANDLE_ENTRY, ObjectPointer));
static_assert(offsetof(rec::SystemHandleTableEntryInfo, GrantedAccess) ==
              offsetof(::SYSTEM_HANDLE_ENTRY, AccessMask));
static_assert(rec::kHandleTableEntriesOffset == offsetof(::SYSTEM_HANDLE_INFORMATION, Handle));

// Process memory and executable images.
static_assert(sizeof(rec::MEMORY_BASIC_INFORMATION) == sizeof(::MEMORY_BASIC_INFORMATION));
static_assert(offsetof(rec::MEMORY_BASIC_INFORMATION, AllocationBase) == offsetof(::MEMORY_BASIC_INFORMATION, AllocationBase));
static_assert(offsetof(rec::MEMORY_BASIC_INFORMATION, RegionSize) == offsetof(::MEMORY_BASIC_INFORMATION, RegionSize));
static_assert(offsetof(rec::MEMORY_BASIC_INFORMATION, State) == offsetof(::MEMORY_BASIC_INFORMATION, State));
static_assert(offsetof(rec::MEMORY_BASIC_INFORMATION, Type) == offsetof(::MEMORY_BASIC_INFORMATION, Type));
static_assert(rec::kMemCommit == MEM_COMMIT && rec::kMemFree == MEM_FREE && rec::kMemImage == MEM_IMAGE);
static_assert(rec::kMemPrivate == MEM_PRIVATE && rec::kMemReserve == MEM_RESERVE);
static_assert(sizeof(rec::IMAGE_DOS_HEADER) == sizeof(::IMAGE_DOS_HEADER));
static_assert(sizeof(rec::IMAGE_SECTION_HEADER) == sizeof(::IMAGE_SECTION_HEADER));
static_assert(offsetof(rec::IMAGE_SECTION_HEADER, VirtualAddress) == offsetof(::IMAGE_SECTION_HEADER, VirtualAddress));
static_assert(offsetof(rec::ImageOptionalHeader32, DataDirectory) == offsetof(::IMAGE_OPTIONAL_HEADER32, DataDirectory));
static_assert(offsetof(rec::ImageOptionalHeader64, DataDirectory) == offsetof(::IMAGE_OPTIONAL_HEADER64, DataDirectory));
static_assert(offsetof(rec::ImageOptionalHeader64, SizeOfImage) == offsetof(::IMAGE_OPTIONAL_HEADER64, SizeOfImage));
static_assert(sizeof(rec::IMAGE_EXPORT_DIRECTORY) == sizeof(::IMAGE_EXPORT_DIRECTORY));
static_assert(sizeof(rec::IMAGE_DEBUG_DIRECTORY) == sizeof(::IMAGE_DEBUG_DIRECTORY));
static_assert(sizeof(rec::IMAGE_RESOURCE_DATA_ENTRY) == sizeof(::IMAGE_RESOURCE_DATA_ENTRY));

}  // namespace umbra_sdk_check

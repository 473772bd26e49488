// The one place <windows.h> is included from; everything Windows-specific goes through here.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <windows.h>
#include <winternl.h>
#include <tlhelp32.h>
#include <psapi.h>
#include <shlobj.h>
#include <shellapi.h>
// clang-format on

// platform/types.h spells the Windows constants as typed C++ constants with the same names and
// values. The headers above define many of them as macros, which would rewrite
// `platform::ERROR_SUCCESS` into nonsense, so the macros go: backend code writes `platform::NAME`.
// Add a line here for every constant added to platform/types.h that Windows also defines (and a
// line to win32_sdk_check.cpp, which proves the values are the SDK's). That file alone keeps the
// macros, by defining UMBRA_KEEP_SDK_MACROS first.
#ifndef UMBRA_KEEP_SDK_MACROS
#undef STATUS_SUCCESS
#undef STATUS_PENDING
#undef STATUS_BUFFER_OVERFLOW
#undef STATUS_NO_MORE_FILES
#undef STATUS_NO_MORE_ENTRIES
#undef STATUS_UNSUCCESSFUL
#undef STATUS_NOT_IMPLEMENTED
#undef STATUS_INFO_LENGTH_MISMATCH
#undef STATUS_INVALID_HANDLE
#undef STATUS_INVALID_PARAMETER
#undef STATUS_NO_SUCH_FILE
#undef STATUS_ACCESS_DENIED
#undef STATUS_BUFFER_TOO_SMALL
#undef STATUS_OBJECT_TYPE_MISMATCH
#undef STATUS_OBJECT_NAME_INVALID
#undef STATUS_OBJECT_NAME_NOT_FOUND
#undef STATUS_OBJECT_NAME_COLLISION
#undef STATUS_OBJECT_PATH_NOT_FOUND
#undef STATUS_SHARING_VIOLATION
#undef STATUS_DELETE_PENDING
#undef STATUS_NOT_SUPPORTED
#undef STATUS_NOT_A_DIRECTORY
#undef STATUS_CANNOT_DELETE
#undef STATUS_KEY_DELETED
#undef REG_CREATED_NEW_KEY
#undef REG_OPENED_EXISTING_KEY
#undef STATUS_INVALID_INFO_CLASS
#undef FILE_READ_DATA
#undef FILE_LIST_DIRECTORY
#undef FILE_READ_ATTRIBUTES
#undef SYNCHRONIZE
#undef FILE_SHARE_READ
#undef FILE_SHARE_WRITE
#undef FILE_SHARE_DELETE
#undef FILE_DIRECTORY_FILE
#undef FILE_WRITE_THROUGH
#undef FILE_SYNCHRONOUS_IO_NONALERT
#undef FILE_NON_DIRECTORY_FILE
#undef FILE_ATTRIBUTE_DIRECTORY
#undef FILE_FLAG_BACKUP_SEMANTICS
#undef ERROR_SEEK
#undef BACKUP_DATA
#undef BACKUP_EA_DATA
#undef BACKUP_SECURITY_DATA
#undef BACKUP_ALTERNATE_DATA
#undef ERROR_SUCCESS
#undef ERROR_INVALID_FUNCTION
#undef ERROR_FILE_NOT_FOUND
#undef ERROR_PATH_NOT_FOUND
#undef ERROR_ACCESS_DENIED
#undef ERROR_INVALID_HANDLE
#undef ERROR_NOT_ENOUGH_MEMORY
#undef ERROR_NO_MORE_FILES
#undef ERROR_NOT_READY
#undef ERROR_SHARING_VIOLATION
#undef ERROR_NOT_SUPPORTED
#undef ERROR_INVALID_PARAMETER
#undef ERROR_CALL_NOT_IMPLEMENTED
#undef ERROR_INSUFFICIENT_BUFFER
#undef ERROR_INVALID_NAME
#undef ERROR_MORE_DATA
#undef ERROR_NO_MORE_ITEMS
#undef ERROR_FILE_INVALID
#undef OBJ_INHERIT
#undef OBJ_CASE_INSENSITIVE
#undef OBJ_OPENIF
#undef OBJ_KERNEL_HANDLE
#undef CP_ACP
#undef CP_UTF8
#undef LOCALE_USER_DEFAULT
#undef LOCALE_INVARIANT
#undef NORM_IGNORECASE
#undef LCMAP_UPPERCASE
#undef CSTR_LESS_THAN
#undef CSTR_EQUAL
#undef CSTR_GREATER_THAN
#undef DRIVE_UNKNOWN
#undef DRIVE_NO_ROOT_DIR
#undef DRIVE_REMOVABLE
#undef DRIVE_FIXED
#undef DRIVE_REMOTE
#undef DRIVE_CDROM
#undef DRIVE_RAMDISK
#undef HKEY_CLASSES_ROOT
#undef HKEY_CURRENT_USER
#undef HKEY_LOCAL_MACHINE
#undef HKEY_USERS
#undef HKEY_PERFORMANCE_DATA
#undef HKEY_CURRENT_CONFIG
#undef HKEY_DYN_DATA
#undef NT_SUCCESS
// --- registry (Win32) ---
#undef ERROR_BAD_PATHNAME
#undef ERROR_KEY_DELETED
#undef KEY_QUERY_VALUE
#undef KEY_SET_VALUE
#undef KEY_ENUMERATE_SUB_KEYS
#undef KEY_NOTIFY
#undef KEY_WOW64_64KEY
#undef KEY_WOW64_32KEY
#undef KEY_WOW64_RES
#undef KEY_READ
#undef KEY_ALL_ACCESS
#undef REG_NONE
#undef REG_SZ
#undef REG_EXPAND_SZ
#undef REG_BINARY
#undef REG_DWORD
#undef REG_DWORD_BIG_ENDIAN
#undef REG_LINK
#undef REG_MULTI_SZ
#undef REG_QWORD
// --- registry (native) ---
#undef STATUS_OBJECT_PATH_SYNTAX_BAD

// --- security ---
#undef ERROR_MR_MID_NOT_FOUND
#undef ERROR_UNKNOWN_REVISION
#undef ERROR_NONE_MAPPED
#undef ERROR_INVALID_SID
#undef ERROR_INVALID_SECURITY_DESCR
#undef RPC_S_SERVER_UNAVAILABLE
#undef OWNER_SECURITY_INFORMATION
#undef GROUP_SECURITY_INFORMATION
#undef DACL_SECURITY_INFORMATION
#undef SACL_SECURITY_INFORMATION
#undef SDDL_REVISION_1

// --- processes ---
#undef PROCESS_TERMINATE
#undef PROCESS_DUP_HANDLE
#undef PROCESS_QUERY_INFORMATION
#undef PROCESS_VM_READ
#undef DUPLICATE_SAME_ACCESS
#undef TH32CS_SNAPHEAPLIST
#undef TH32CS_SNAPPROCESS
#undef TH32CS_SNAPTHREAD
#undef TH32CS_SNAPMODULE
#undef GENERIC_READ
#undef OPEN_EXISTING
#undef FILE_ATTRIBUTE_NORMAL
#undef FILE_FLAG_SEQUENTIAL_SCAN
#undef INVALID_FILE_SIZE
#undef INVALID_FILE_ATTRIBUTES
#undef PAGE_READONLY
#undef FILE_MAP_READ
#undef ERROR_BAD_LENGTH
#undef ERROR_PARTIAL_COPY
#undef STATUS_INVALID_CID
// The ToolHelp and PSAPI functions of the platform interface carry the 8-bit names; UNICODE
// would otherwise rename them to their UTF-16 twins.
#undef Process32First
#undef Process32Next
#undef Module32First
#undef Module32Next
#undef PROCESSENTRY32
#undef MODULEENTRY32
#undef LPPROCESSENTRY32
#undef LPMODULEENTRY32
// psapi.h renames these to their kernel32 K32 twins; the backend binds them by name instead.
#undef EnumProcesses
#undef GetModuleFileNameExA
#undef GetModuleFileNameExW
#undef GetProcessImageFileNameA
#undef GetProcessImageFileNameW
// --- files: reading, writing, naming; events ---
#undef STATUS_INVALID_DEVICE_REQUEST
#undef STATUS_END_OF_FILE
#undef STATUS_FILE_IS_A_DIRECTORY
#undef STATUS_DIRECTORY_NOT_EMPTY
#undef ERROR_NOT_SAME_DEVICE
#undef ERROR_FILE_EXISTS
#undef ERROR_NEGATIVE_SEEK
#undef ERROR_ALREADY_EXISTS
#undef ERROR_DIRECTORY
#undef GENERIC_WRITE
#undef GENERIC_ALL
#undef DELETE
#undef FILE_WRITE_DATA
#undef FILE_APPEND_DATA
#undef CREATE_NEW
#undef CREATE_ALWAYS
#undef OPEN_ALWAYS
#undef TRUNCATE_EXISTING
#undef FILE_ATTRIBUTE_READONLY
#undef FILE_ATTRIBUTE_ARCHIVE
#undef FILE_FLAG_DELETE_ON_CLOSE
#undef FILE_DELETE_ON_CLOSE
#undef FILE_OPEN_FOR_BACKUP_INTENT
#undef FILE_SYNCHRONOUS_IO_ALERT
#undef FILE_BEGIN
#undef FILE_CURRENT
#undef FILE_END
#undef MOVEFILE_REPLACE_EXISTING
#undef MOVEFILE_COPY_ALLOWED
#undef WAIT_OBJECT_0
#undef WAIT_TIMEOUT
#undef WAIT_FAILED
#undef INFINITE
#endif  // UMBRA_KEEP_SDK_MACROS

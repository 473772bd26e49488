// Values of the system the archive passes that the platform's common list does not carry yet.
#pragma once

#include <cstddef>

#include "platform/types.h"

namespace archive {

inline constexpr platform::DWORD kGenericWrite = 0x40000000;         // GENERIC_WRITE
inline constexpr platform::DWORD kCreateNew = 1;                     // CREATE_NEW
inline constexpr platform::DWORD kInfinite = 0xFFFFFFFF;             // INFINITE
inline constexpr platform::DWORD kErrorFileExists = 80;              // ERROR_FILE_EXISTS
inline constexpr platform::DWORD kErrorAlreadyExists = 183;          // ERROR_ALREADY_EXISTS
inline constexpr platform::DWORD kFileOpenForBackupIntent = 0x4000;  // FILE_OPEN_FOR_BACKUP_INTENT
inline constexpr platform::NTSTATUS kStatusEndOfFile = 0xC0000011;   // STATUS_END_OF_FILE
// The native copy reads this much at a time.
inline constexpr std::size_t kNativeCopyChunk = 4096;

}  // namespace archive

// Native record layouts the platform functions write into caller buffers, checked per pointer width.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::records {

// Records are read and written with memcpy at these offsets: buffers coming back from the
// system (or a rootkit) are never trusted to be aligned or well-formed.

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

// --- registry ---

// --- processes and objects ---

}  // namespace platform::records

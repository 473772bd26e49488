// One file as its properties show it: native and Win32 facts, security tree, streams; deleting it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace app {

// One node of the security tree: its parent's index in the list (-1 at the top), its text and
// its image (0 an entry, 1 a group, 2 an item).
struct SecurityNode {
  int parent = -1;
  std::string text;
  int image = 0;
};

struct StreamRow {
  std::u16string name;  // empty for the main data stream
  std::int64_t size = 0;
  std::string sizeText;
  std::string kind;  // the stream kind's display name
};

struct FileProperties {
  std::u16string fileName;  // native form, "\??\" first
  std::int64_t size = 0, allocationSize = 0;
  // FILETIME values as the system gave them (0: unknown), and as local date-time values (days
  // since 1899-12-30, two-second steps, 0.0 when unknown or outside 1980 to 2107).
  std::uint64_t creation = 0, lastAccess = 0, lastWrite = 0, change = 0;
  double creationTime = 0, lastAccessTime = 0, lastWriteTime = 0, changeTime = 0;
  std::optional<std::uint32_t> attributes;  // from the native view
  // Which views answered.
  bool nativeOpened = false, win32Listed = false, win32Opened = false;
  std::string sddl;  // "" when the descriptor could not be read
  std::vector<SecurityNode> security;
  std::vector<StreamRow> streams;
};

// Gathers everything the native layer, then the Win32 layer, say of `path` (a Win32 path, or one
// with "\??\" in front). Each step stands alone: what one cannot read the next may fill.
FileProperties GatherFileProperties(std::u16string_view path);

// "1 KB", "4 GB": the byte count divided by 1024 while above 1024, at most five times.
std::string SizeText(std::int64_t bytes);
// "4 GB (5000000000 bytes)".
std::string SizeWithBytes(std::int64_t bytes);
// A date-time value as "YYYY-MM-DD HH:MM:SS"; "?" when it is not above 0.
std::string DateTimeText(double value);

inline constexpr std::string_view kFileDeleted = "This file has been deleted!";
inline constexpr std::string_view kCouldNotDeleteFile = "Could not delete file!";
inline constexpr std::string_view kCouldNotDeleteYet = "Could not delete file (yet)!";

// The one file a path names, or why it names none or several: the path must be full (a drive,
// or "\??\" and a drive), hold no wildcard, and its folder's native listing must hold exactly
// one entry of that name (compared as the system compares names), a file, not a folder.
struct ResolvedFile {
  std::u16string path;  // as given when resolved
  std::string error;    // "" when resolved
};
ResolvedFile ResolveOneFile(std::u16string_view path);

struct FileDeletion {
  bool deleted = false;
  bool native = false;                  // done by the native layer (else by DeleteFileW)
  platform::NTSTATUS nativeStatus = 0;  // of the open, or of the close when the open succeeded
  platform::DWORD win32Error = 0;       // of DeleteFileW when it was tried and failed
  std::string_view status;              // kFileDeleted or kCouldNotDeleteYet
};

// Deletes the file natively first (opened for deletion, unshared, delete on close), so that
// names the Win32 layer cannot reach (reserved device names, trailing dots) are removed
// themselves; then, if that failed, through DeleteFileW.
FileDeletion DeleteFileNativeFirst(std::u16string_view path);

}  // namespace app

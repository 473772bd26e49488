// The one object behind every simulated file handle, whichever function opened it.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/sim/machine.h"

namespace sim {

// An open file or folder. On Windows CreateFileA, CreateFileW and NtOpenFile all hand out a
// handle to the same kind of kernel object, and GetFileSize, the mappings, the backup reads
// and the native queries accept any of them; the simulation keeps that by having one object.
struct SimFile : SimObject {
  // The listing reads the folder's children as they are at each call, as the file system does.
  FileNode* node = nullptr;
  bool folder = false;
  platform::DWORD access = 0;  // as asked for; generic rights are kept as they were passed

  // Native listing position: the entries handed out so far, "." and ".." included where the
  // folder has them (a drive's root has none).
  bool hasDots = false;
  std::size_t position = 0;

  // What the data and stream functions read is taken when the handle is opened, so changing or
  // removing the node while the handle is open cannot leave it dangling.
  std::shared_ptr<const std::string> content;
  std::uint64_t size = 0;  // may exceed content; the rest reads as zeros
  std::uint64_t allocationSize = 0;
  std::vector<Stream> streams;
  bool streamsFail = false;
  // Opened as "file:stream": reads take the stream's data (content and size above), not the file's.
  bool streamData = false;

  // Reading and writing: what the handle lets others do, whether the system keeps its position
  // (CreateFile handles, NtOpenFile ones opened for synchronous I/O) and that position.
  platform::DWORD share = 0;
  bool synchronous = true;
  std::uint64_t filePosition = 0;

  // Whether the handle may read the data: mapping it, backing up a file's data and listing a folder
  // need that.
  bool CanReadData() const;
};

// A new handle object for `node`, opened with `access`.
std::unique_ptr<SimFile> OpenSimFile(FileNode& node, platform::DWORD access);

// A reserved device (NUL, CON, ...) opened through a Win32 path: reads find nothing at once,
// writes are taken and dropped, as the null device does.
struct SimDevice : SimObject {};

// Whether an access mask reads, writes or deletes the data (generic rights included).
bool ReadsData(platform::DWORD access);
bool WritesData(platform::DWORD access);
bool DeletesFile(platform::DWORD access);

// Whether `node` may be opened now with `access` and `share`: STATUS_SUCCESS, or
// STATUS_SHARING_VIOLATION (an open handle forbids it, or the file is in use and the open would
// delete it) or STATUS_DELETE_PENDING.
platform::NTSTATUS CheckOpen(const FileNode& node, platform::DWORD access, platform::DWORD share);
// Records the handle on its node and adds it to the machine's table.
platform::Handle AddOpen(Machine& m, std::unique_ptr<SimFile> file, platform::DWORD share,
                         bool deleteOnClose);
// Closes any simulated handle (false: no such handle). A file's last handle carries out the
// deletion that a delete-on-close handle or a DeleteFile call left pending.
bool CloseSimHandle(Machine& m, platform::Handle h);

// Where a Win32 path leads. "\\?\" and "\??\" paths are taken as the native layer takes
// them; other paths lose trailing dots and spaces from each name, and one whose last name is a
// reserved device (con, nul, com1.txt, ...) names that device whatever folder it is in.
struct Win32Target {
  platform::DWORD error = 0;  // ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME; 0 when found or creatable
  bool device = false;
  bool native = false;         // given in native form
  FileNode* parent = nullptr;  // the folder holding the last name (nullptr for a drive's root)
  std::u16string name;         // the last name as the call spelt it
  FileNode* node = nullptr;    // the existing entry, or nullptr
};
Win32Target ResolveWin32(Machine& m, std::u16string_view path);

// NtQueryInformationFile classes 4 (FILE_BASIC_INFORMATION) and 5 (FILE_STANDARD_INFORMATION).
platform::NTSTATUS QueryFileFacts(Machine& m, platform::Handle file, platform::IoStatus& io,
                                  std::span<std::byte> buffer, platform::DWORD infoClass);

// The machine's present local time as FILETIME, for the times a change sets.
FileTime Now(Machine& m);

// What a native file function answers for a handle that is no file: STATUS_OBJECT_TYPE_MISMATCH
// for an open object of another kind (a key, a process), STATUS_INVALID_HANDLE for no handle.
platform::NTSTATUS NotAFileStatus(Machine& m, platform::Handle h);

}  // namespace sim

// The one object behind every simulated file handle, whichever function opened it.
#pragma once

#include <cstddef>
#include <memory>
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

  // Whether the handle may read the data: mapping it, backing up a file's data and listing a folder
  // need that.
  bool CanReadData() const;
};

// A new handle object for `node`, opened with `access`.
std::unique_ptr<SimFile> OpenSimFile(FileNode& node, platform::DWORD access);

// What a native file function answers for a handle that is no file: STATUS_OBJECT_TYPE_MISMATCH
// for an open object of another kind (a key, a process), STATUS_INVALID_HANDLE for no handle.
platform::NTSTATUS NotAFileStatus(Machine& m, platform::Handle h);

}  // namespace sim

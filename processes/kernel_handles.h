// RAII for handles closed with CloseHandle: processes, duplicated handles, snapshots, files, mappings.
#pragma once

#include "platform/handles.h"
#include "platform/platform.h"

namespace processes {

struct CloseHandleCloser {
  void operator()(platform::Handle h) const { platform::Current().kernel32.CloseHandle(h); }
};
// Handles that are 0 on failure (OpenProcess, DuplicateHandle, CreateFileMapping).
using KernelHandle = platform::UniqueHandle<CloseHandleCloser>;
// Handles that are INVALID_HANDLE_VALUE on failure (CreateToolhelp32Snapshot, CreateFile).
using KernelFileHandle = platform::UniqueHandle<CloseHandleCloser, platform::kInvalidHandle>;

}  // namespace processes

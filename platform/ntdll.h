// The ntdll surface: the native layer below Win32 that the cross-view comparisons read.
#pragma once

#include <span>

#include "platform/types.h"

namespace platform {

// Every function has the real export's meaning: same status codes, and buffers receive the
// real record layouts of platform/records.h for the build's pointer width.
class Ntdll {
 public:
  virtual ~Ntdll() = default;

  virtual NTSTATUS NtClose(Handle handle) = 0;

  // --- files ---

  // --- registry ---

  // --- processes and objects ---
};

}  // namespace platform

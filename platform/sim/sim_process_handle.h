// The simulated machine: the process behind a process handle, for every function that takes one.
#pragma once

#include "platform/sim/machine.h"

namespace sim {

enum class ProcessHandleError { kInvalid, kWrongType, kGone, kAccessDenied };

// The process a handle from OpenProcess names, when the handle was opened with every right in
// `access`; nullptr and the reason otherwise. The caller holds the machine's lock.
Process* ProcessOfHandle(Machine& m, platform::Handle process, platform::DWORD access, ProcessHandleError& error);

}  // namespace sim

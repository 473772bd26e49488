// The simulated machine: process control: termination and the basic-information query.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/record_io.h"
#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_others.h"
#include "platform/sim/sim_process_handle.h"

namespace sim {
namespace {

namespace rec = platform::records;

// The pseudo handle GetCurrentProcess answers names the process the simulated
// GetCurrentProcessId names, when the machine holds one of that number.
Process* ProcessOrSelf(Machine& m, platform::Handle process, platform::DWORD access,
                       ProcessHandleError& error) {
  if (process == SimKernel32(m).GetCurrentProcess()) {
    const platform::DWORD self = SimKernel32(m).GetCurrentProcessId();
    for (auto& p : m.processes)
      if (p.pid == self) return &p;
    error = ProcessHandleError::kInvalid;
    return nullptr;
  }
  return ProcessOfHandle(m, process, access, error);
}

}  // namespace

bool SimKernel32::TerminateProcess(platform::Handle process, std::uint32_t) {
  std::lock_guard lock(m_.mutex);
  // The simulated machine does not hold the program that runs it: it cannot end itself here.
  if (process == GetCurrentProcess()) {
    SetLastError(platform::ERROR_ACCESS_DENIED);
    return false;
  }
  ProcessHandleError error{};
  Process* p = ProcessOfHandle(m_, process, platform::PROCESS_TERMINATE, error);
  if (p == nullptr) {
    // Windows answers access denied for a process that has already ended, too.
    SetLastError(error == ProcessHandleError::kInvalid || error == ProcessHandleError::kWrongType
                     ? platform::ERROR_INVALID_HANDLE
                     : platform::ERROR_ACCESS_DENIED);
    return false;
  }
  // Gone from every view at once: the snapshots, the process list and the handle table.
  const auto it =
      std::find_if(m_.processes.begin(), m_.processes.end(), [&](const Process& q) { return &q == p; });
  m_.processes.erase(it);
  return true;
}

platform::NTSTATUS SimNtdll::NtQueryInformationProcess(platform::Handle process, platform::DWORD infoClass,
                                                       std::span<std::byte> buffer,
                                                       platform::DWORD& returnLength) {
  std::lock_guard lock(m_.mutex);
  ProcessHandleError error{};
  const Process* p = ProcessOrSelf(m_, process, platform::PROCESS_QUERY_LIMITED_INFORMATION, error);
  if (p == nullptr) {
    switch (error) {
      case ProcessHandleError::kWrongType:
        return platform::STATUS_OBJECT_TYPE_MISMATCH;
      case ProcessHandleError::kAccessDenied:
        return platform::STATUS_ACCESS_DENIED;
      default:
        return platform::STATUS_INVALID_HANDLE;
    }
  }
  if (infoClass != platform::ProcessBasicInformation) return platform::STATUS_INVALID_INFO_CLASS;
  // The class has one size: neither a shorter nor a longer buffer is filled.
  if (buffer.size() != sizeof(rec::PROCESS_BASIC_INFORMATION)) return platform::STATUS_INFO_LENGTH_MISMATCH;
  auto info = rec::Zeroed<rec::PROCESS_BASIC_INFORMATION>();
  info.ExitStatus = static_cast<std::int32_t>(platform::STATUS_PENDING);  // still running
  info.PebBaseAddress = static_cast<std::uintptr_t>(kProcessEnvironmentBlockAddress);
  info.AffinityMask = 1;
  info.BasePriority = 8;
  info.UniqueProcessId = p->pid;
  info.InheritedFromUniqueProcessId = p->parentPid;
  rec::RecordWriter(buffer).Put(0, info);
  returnLength = sizeof info;
  return platform::STATUS_SUCCESS;
}

std::string ProcessEnvironmentBlock(const Process& process) {
  auto peb = rec::Zeroed<rec::PEB>();
  peb.BeingDebugged = process.debugged ? 1 : 0;
  peb.SessionId = process.sessionId;
  std::string bytes(sizeof peb, '\0');
  std::memcpy(bytes.data(), &peb, sizeof peb);
  return bytes;
}

}  // namespace sim

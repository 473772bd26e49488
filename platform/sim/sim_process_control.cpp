// The simulated machine: process control: termination and the basic-information query.
#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_others.h"

namespace sim {

// Not built yet: each answers as a function the system does not export.
bool SimKernel32::TerminateProcess(platform::Handle, std::uint32_t) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

platform::NTSTATUS SimNtdll::NtQueryInformationProcess(platform::Handle, platform::DWORD, std::span<std::byte>, platform::DWORD&) {
  return platform::STATUS_NOT_IMPLEMENTED;
}

std::string ProcessEnvironmentBlock(const Process&) { return {}; }

}  // namespace sim

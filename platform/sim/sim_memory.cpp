// The simulated machine: process memory: system facts, region queries, reads.
#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_others.h"

namespace sim {

// Not built yet: each answers as a function the system does not export.
void SimKernel32::GetSystemInfo(SystemInfo& info) {
  info = {};
}

std::size_t SimKernel32::VirtualQueryEx(platform::Handle, std::uint64_t, std::span<std::byte>) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}

bool SimKernel32::ReadProcessMemory(platform::Handle, std::uint64_t, std::span<std::byte>, std::size_t& bytesRead) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return (bytesRead = 0, false);
}

}  // namespace sim

// The real DLLs: process memory: system facts, region queries, reads.
#include "platform/win32/win32_classes.h"

namespace win32 {

// Not built yet: each answers as a function the system does not export.
void Win32Kernel32::GetSystemInfo(SystemInfo& info) {
  info = {};
}

std::size_t Win32Kernel32::VirtualQueryEx(platform::Handle, std::uint64_t, std::span<std::byte>) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}

bool Win32Kernel32::ReadProcessMemory(platform::Handle, std::uint64_t, std::span<std::byte>, std::size_t& bytesRead) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return (bytesRead = 0, false);
}

}  // namespace win32

// The real DLLs: process memory: system facts, region queries, reads.
#include "platform/win32/win32_classes.h"

namespace win32 {
namespace {
// Whether the build's pointers can hold `address` (a 32-bit build cannot hold every 64-bit one).
bool FitsPointer(std::uint64_t address) {
  if constexpr (sizeof(std::uintptr_t) < sizeof(std::uint64_t)) return address <= UINTPTR_MAX;
  return true;
}
}  // namespace

void Win32Kernel32::GetSystemInfo(SystemInfo& info) {
  SYSTEM_INFO si{};
  ::GetSystemInfo(&si);
  info = {};
  info.processorArchitecture = si.wProcessorArchitecture;
  info.pageSize = si.dwPageSize;
  info.minimumApplicationAddress = reinterpret_cast<std::uintptr_t>(si.lpMinimumApplicationAddress);
  info.maximumApplicationAddress = reinterpret_cast<std::uintptr_t>(si.lpMaximumApplicationAddress);
  info.activeProcessorMask = si.dwActiveProcessorMask;
  info.numberOfProcessors = si.dwNumberOfProcessors;
  info.allocationGranularity = si.dwAllocationGranularity;
}

std::size_t Win32Kernel32::VirtualQueryEx(platform::Handle process, std::uint64_t address,
                                          std::span<std::byte> buffer) {
  // An address the build's pointers cannot hold lies past the highest one.
  if (!FitsPointer(address)) {
    ::SetLastError(platform::ERROR_INVALID_PARAMETER);
    return 0;
  }
  return ::VirtualQueryEx(ToHandle(process), reinterpret_cast<LPCVOID>(static_cast<std::uintptr_t>(address)),
                          reinterpret_cast<PMEMORY_BASIC_INFORMATION>(buffer.data()), buffer.size());
}

bool Win32Kernel32::ReadProcessMemory(platform::Handle process, std::uint64_t address,
                                      std::span<std::byte> buffer, std::size_t& bytesRead) {
  bytesRead = 0;
  if (!FitsPointer(address)) {
    ::SetLastError(platform::ERROR_PARTIAL_COPY);
    return false;
  }
  SIZE_T got = 0;
  const BOOL ok =
      ::ReadProcessMemory(ToHandle(process), reinterpret_cast<LPCVOID>(static_cast<std::uintptr_t>(address)),
                          buffer.data(), buffer.size(), &got);
  bytesRead = got;
  return ok != FALSE;
}

}  // namespace win32

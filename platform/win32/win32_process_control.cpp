// The real DLLs: process control: termination and the basic-information query.
#include "platform/win32/win32_classes.h"

namespace win32 {

// Not built yet: each answers as a function the system does not export.
bool Win32Kernel32::TerminateProcess(platform::Handle, std::uint32_t) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

platform::NTSTATUS Win32Ntdll::NtQueryInformationProcess(platform::Handle, platform::DWORD, std::span<std::byte>, platform::DWORD&) {
  return platform::STATUS_NOT_IMPLEMENTED;
}

}  // namespace win32

// The real DLLs: file reading, writing, renaming and deleting; events.
#include "platform/win32/win32_classes.h"

namespace win32 {

// Not built yet: each answers as a function the system does not export.
bool Win32Kernel32::ReadFile(platform::Handle, std::span<std::byte>, platform::DWORD& bytesRead) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return (bytesRead = 0, false);
}

bool Win32Kernel32::WriteFile(platform::Handle, std::span<const std::byte>, platform::DWORD& bytesWritten) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return (bytesWritten = 0, false);
}

bool Win32Kernel32::SetFilePointerEx(platform::Handle, std::int64_t, std::int64_t*, platform::DWORD) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool Win32Kernel32::DeleteFileA(std::string_view) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool Win32Kernel32::DeleteFileW(std::u16string_view) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool Win32Kernel32::MoveFileExA(std::string_view, std::string_view, platform::DWORD) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool Win32Kernel32::GetFileTime(platform::Handle, std::uint64_t*, std::uint64_t*, std::uint64_t*) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool Win32Kernel32::FileTimeToDosDateTime(std::uint64_t, std::uint16_t&, std::uint16_t&) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

std::uint32_t Win32Kernel32::GetTempFileNameA(std::string_view, std::string_view, std::uint32_t, std::string&) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}

platform::Handle Win32Kernel32::CreateEventA(bool, bool) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return platform::kNullHandle;
}

bool Win32Kernel32::SetEvent(platform::Handle) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool Win32Kernel32::ResetEvent(platform::Handle) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

platform::DWORD Win32Kernel32::WaitForSingleObject(platform::Handle, platform::DWORD) {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return 0xFFFFFFFFu;
}

platform::NTSTATUS Win32Ntdll::NtReadFile(platform::Handle, platform::Handle, platform::IoStatus&, std::span<std::byte>, const std::int64_t*) {
  return platform::STATUS_NOT_IMPLEMENTED;
}

}  // namespace win32

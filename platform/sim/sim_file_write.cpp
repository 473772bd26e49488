// The simulated machine: file reading, writing, renaming and deleting; events.
#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_others.h"

namespace sim {

// Not built yet: each answers as a function the system does not export.
bool SimKernel32::ReadFile(platform::Handle, std::span<std::byte>, platform::DWORD& bytesRead) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return (bytesRead = 0, false);
}

bool SimKernel32::WriteFile(platform::Handle, std::span<const std::byte>, platform::DWORD& bytesWritten) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return (bytesWritten = 0, false);
}

bool SimKernel32::SetFilePointerEx(platform::Handle, std::int64_t, std::int64_t*, platform::DWORD) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool SimKernel32::DeleteFileA(std::string_view) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool SimKernel32::DeleteFileW(std::u16string_view) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool SimKernel32::MoveFileExA(std::string_view, std::string_view, platform::DWORD) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool SimKernel32::GetFileTime(platform::Handle, std::uint64_t*, std::uint64_t*, std::uint64_t*) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool SimKernel32::FileTimeToDosDateTime(std::uint64_t, std::uint16_t&, std::uint16_t&) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

std::uint32_t SimKernel32::GetTempFileNameA(std::string_view, std::string_view, std::uint32_t, std::string&) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}

platform::Handle SimKernel32::CreateEventA(bool, bool) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return platform::kNullHandle;
}

bool SimKernel32::SetEvent(platform::Handle) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool SimKernel32::ResetEvent(platform::Handle) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

platform::DWORD SimKernel32::WaitForSingleObject(platform::Handle, platform::DWORD) {
  SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return 0xFFFFFFFFu;
}

platform::NTSTATUS SimNtdll::NtReadFile(platform::Handle, platform::Handle, platform::IoStatus&, std::span<std::byte>, const std::int64_t*) {
  return platform::STATUS_NOT_IMPLEMENTED;
}

}  // namespace sim

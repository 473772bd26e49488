// The real DLLs: process control: termination and the basic-information query.
#include "platform/win32/win32_classes.h"
#include "platform/win32/win32_native.h"

namespace win32 {
namespace {
using NtQueryInformationProcessFn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
}  // namespace

bool Win32Kernel32::TerminateProcess(platform::Handle process, std::uint32_t exitCode) {
  return ::TerminateProcess(ToHandle(process), exitCode) != FALSE;
}

platform::NTSTATUS Win32Ntdll::NtQueryInformationProcess(platform::Handle process, platform::DWORD infoClass,
                                                         std::span<std::byte> buffer,
                                                         platform::DWORD& returnLength) {
  static const auto fn = BindExport<NtQueryInformationProcessFn>(L"ntdll.dll", "NtQueryInformationProcess");
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  ULONG length = 0;
  const auto status = static_cast<platform::NTSTATUS>(
      fn(ToHandle(process), infoClass, buffer.data(), static_cast<ULONG>(buffer.size()), &length));
  returnLength = length;
  return status;
}

}  // namespace win32

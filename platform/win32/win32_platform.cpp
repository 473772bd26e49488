// Builds the real platform and the functions every area shares.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_classes.h"
#include "platform/win32/win32_native.h"

namespace win32 {

platform::Platform& RealPlatform() {
  static Win32Kernel32 kernel32;
  static Win32Ntdll ntdll;
  static Win32Advapi32 advapi32;
  static Win32ToolHelp toolhelp;
  static Win32Shell shell;
  static Win32Cabinet cabinet;
  static Win32Http http;
  static platform::Platform p{kernel32, ntdll, advapi32, toolhelp, shell, cabinet, http};
  return p;
}

platform::NTSTATUS Win32Ntdll::NtClose(platform::Handle handle) {
  using NtCloseFn = LONG(NTAPI*)(HANDLE);
  static const auto fn = BindExport<NtCloseFn>(L"ntdll.dll", "NtClose");
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  return static_cast<platform::NTSTATUS>(fn(ToHandle(handle)));
}

std::string Win32Advapi32::GetUserNameA() {
  char buf[257];
  DWORD n = sizeof buf;
  if (!::GetUserNameA(buf, &n) || n == 0) return {};
  return std::string(buf, n - 1);
}

std::optional<std::string> Win32Shell::SHGetSpecialFolderPathA(int csidl) {
  char buf[MAX_PATH + 1] = {};
  if (!::SHGetSpecialFolderPathA(nullptr, buf, csidl, FALSE)) return std::nullopt;
  return std::string(buf);
}

}  // namespace win32

// The real stream functions: CreateFileW and the backup reads of kernel32.
#include "platform/win32/win32_classes.h"

namespace win32 {

platform::Handle Win32Kernel32::CreateFileW(std::u16string_view path, platform::DWORD access,
                                            platform::DWORD share, platform::DWORD disposition,
                                            platform::DWORD flagsAndAttributes) {
  const std::u16string text(path);
  const HANDLE h =
      ::CreateFileW(Wide(text), access, share, nullptr, disposition, flagsAndAttributes, nullptr);
  return h == INVALID_HANDLE_VALUE ? platform::kInvalidHandle : reinterpret_cast<platform::Handle>(h);
}

bool Win32Kernel32::BackupRead(platform::Handle file, std::span<std::byte> buffer, platform::DWORD& bytesRead,
                               bool abort, bool processSecurity, std::uintptr_t& context) {
  LPVOID ctx = reinterpret_cast<LPVOID>(context);
  DWORD got = 0;
  const BOOL ok =
      ::BackupRead(ToHandle(file), reinterpret_cast<LPBYTE>(buffer.data()), static_cast<DWORD>(buffer.size()),
                   &got, abort ? TRUE : FALSE, processSecurity ? TRUE : FALSE, &ctx);
  context = reinterpret_cast<std::uintptr_t>(ctx);
  bytesRead = got;
  return ok != FALSE;
}

bool Win32Kernel32::BackupSeek(platform::Handle file, platform::DWORD lowBytesToSeek,
                               platform::DWORD highBytesToSeek, platform::DWORD& lowBytesSeeked,
                               platform::DWORD& highBytesSeeked, std::uintptr_t& context) {
  LPVOID ctx = reinterpret_cast<LPVOID>(context);
  DWORD low = 0, high = 0;
  const BOOL ok = ::BackupSeek(ToHandle(file), lowBytesToSeek, highBytesToSeek, &low, &high, &ctx);
  context = reinterpret_cast<std::uintptr_t>(ctx);
  lowBytesSeeked = low;
  highBytesSeeked = high;
  return ok != FALSE;
}

}  // namespace win32

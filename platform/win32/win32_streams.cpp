// The real stream functions: the backup reads of kernel32.
#include "platform/win32/win32_classes.h"

namespace win32 {

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

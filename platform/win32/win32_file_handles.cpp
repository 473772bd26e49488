// The real file handle functions of kernel32: opening files, their size and their mappings.
#include <string>

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

platform::Handle Win32Kernel32::CreateFileA(std::string_view path, platform::DWORD access,
                                            platform::DWORD share, platform::DWORD disposition,
                                            platform::DWORD flagsAndAttributes) {
  return FromHandle(::CreateFileA(std::string(path).c_str(), access, share, nullptr, disposition,
                                  flagsAndAttributes, nullptr));
}

platform::DWORD Win32Kernel32::GetFileSize(platform::Handle file, platform::DWORD* high) {
  DWORD h = 0;
  const DWORD low = ::GetFileSize(ToHandle(file), &h);
  if (high != nullptr) *high = h;
  return low;
}

platform::Handle Win32Kernel32::CreateFileMappingA(platform::Handle file, platform::DWORD protect,
                                                   platform::DWORD maximumSizeHigh,
                                                   platform::DWORD maximumSizeLow) {
  return FromHandle(
      ::CreateFileMappingA(ToHandle(file), nullptr, protect, maximumSizeHigh, maximumSizeLow, nullptr));
}

const std::byte* Win32Kernel32::MapViewOfFile(platform::Handle mapping, platform::DWORD access,
                                              platform::DWORD offsetHigh, platform::DWORD offsetLow,
                                              std::size_t bytes) {
  return static_cast<const std::byte*>(
      ::MapViewOfFile(ToHandle(mapping), access, offsetHigh, offsetLow, bytes));
}

bool Win32Kernel32::UnmapViewOfFile(const std::byte* view) { return ::UnmapViewOfFile(view) != FALSE; }

}  // namespace win32

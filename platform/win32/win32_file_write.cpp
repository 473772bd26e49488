// The real DLLs: file reading, writing, renaming and deleting; events.
#include <cstddef>
#include <string>

#include "platform/win32/win32_classes.h"
#include "platform/win32/win32_native.h"

namespace win32 {

namespace {

FILETIME ToFiletime(std::uint64_t t) { return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)}; }
std::uint64_t Ticks(const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

// A pending read goes on writing its status block after the call returns, so the call is handed
// the caller's own block, which has the system's layout.
static_assert(sizeof(platform::IoStatus) == sizeof(native::IoStatusBlock));
static_assert(offsetof(platform::IoStatus, status) == 0);
static_assert(offsetof(platform::IoStatus, information) == offsetof(native::IoStatusBlock, Information));

using NtReadFileFn = LONG(NTAPI*)(HANDLE, HANDLE, void*, void*, native::IoStatusBlock*, void*, ULONG,
                                  LARGE_INTEGER*, ULONG*);

}  // namespace

bool Win32Kernel32::ReadFile(platform::Handle file, std::span<std::byte> buffer, platform::DWORD& bytesRead) {
  DWORD n = 0;
  const BOOL ok = ::ReadFile(ToHandle(file), buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr);
  bytesRead = n;
  return ok != FALSE;
}

bool Win32Kernel32::WriteFile(platform::Handle file, std::span<const std::byte> data,
                              platform::DWORD& bytesWritten) {
  DWORD n = 0;
  const BOOL ok = ::WriteFile(ToHandle(file), data.data(), static_cast<DWORD>(data.size()), &n, nullptr);
  bytesWritten = n;
  return ok != FALSE;
}

bool Win32Kernel32::SetFilePointerEx(platform::Handle file, std::int64_t distance, std::int64_t* newPosition,
                                     platform::DWORD moveMethod) {
  LARGE_INTEGER d;
  d.QuadPart = distance;
  LARGE_INTEGER to{};
  const BOOL ok = ::SetFilePointerEx(ToHandle(file), d, &to, moveMethod);
  if (ok != FALSE && newPosition != nullptr) *newPosition = to.QuadPart;
  return ok != FALSE;
}

bool Win32Kernel32::DeleteFileA(std::string_view path) {
  return ::DeleteFileA(std::string(path).c_str()) != FALSE;
}

bool Win32Kernel32::DeleteFileW(std::u16string_view path) {
  const std::u16string text(path);
  return ::DeleteFileW(Wide(text)) != FALSE;
}

bool Win32Kernel32::MoveFileExA(std::string_view from, std::string_view to, platform::DWORD flags) {
  return ::MoveFileExA(std::string(from).c_str(), std::string(to).c_str(), flags) != FALSE;
}

bool Win32Kernel32::GetFileTime(platform::Handle file, std::uint64_t* creation, std::uint64_t* lastAccess,
                                std::uint64_t* lastWrite) {
  FILETIME c{}, a{}, w{};
  if (::GetFileTime(ToHandle(file), &c, &a, &w) == FALSE) return false;
  if (creation != nullptr) *creation = Ticks(c);
  if (lastAccess != nullptr) *lastAccess = Ticks(a);
  if (lastWrite != nullptr) *lastWrite = Ticks(w);
  return true;
}

bool Win32Kernel32::FileTimeToDosDateTime(std::uint64_t fileTime, std::uint16_t& dosDate,
                                          std::uint16_t& dosTime) {
  const FILETIME ft = ToFiletime(fileTime);
  WORD d = 0, t = 0;
  if (::FileTimeToDosDateTime(&ft, &d, &t) == FALSE) return false;
  dosDate = d;
  dosTime = t;
  return true;
}

std::uint32_t Win32Kernel32::GetTempFileNameA(std::string_view path, std::string_view prefix,
                                              std::uint32_t unique, std::string& tempFileName) {
  char name[MAX_PATH + 1] = {};
  const UINT n = ::GetTempFileNameA(std::string(path).c_str(), std::string(prefix).c_str(), unique, name);
  if (n != 0) tempFileName = name;
  return n;
}

platform::Handle Win32Kernel32::CreateEventA(bool manualReset, bool initialState) {
  return reinterpret_cast<platform::Handle>(
      ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr));
}

bool Win32Kernel32::SetEvent(platform::Handle event) { return ::SetEvent(ToHandle(event)) != FALSE; }

bool Win32Kernel32::ResetEvent(platform::Handle event) { return ::ResetEvent(ToHandle(event)) != FALSE; }

platform::DWORD Win32Kernel32::WaitForSingleObject(platform::Handle object, platform::DWORD milliseconds) {
  return ::WaitForSingleObject(ToHandle(object), milliseconds);
}

platform::NTSTATUS Win32Ntdll::NtReadFile(platform::Handle file, platform::Handle event,
                                          platform::IoStatus& io, std::span<std::byte> buffer,
                                          const std::int64_t* byteOffset) {
  static const auto fn = BindExport<NtReadFileFn>(L"ntdll.dll", "NtReadFile");
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  LARGE_INTEGER offset{};
  if (byteOffset != nullptr) offset.QuadPart = *byteOffset;
  return static_cast<platform::NTSTATUS>(fn(
      ToHandle(file), ToHandle(event), nullptr, nullptr, reinterpret_cast<native::IoStatusBlock*>(&io),
      buffer.data(), static_cast<ULONG>(buffer.size()), byteOffset != nullptr ? &offset : nullptr, nullptr));
}

}  // namespace win32

// The real native file functions: NtOpenFile and NtQueryDirectoryFile bound from ntdll.
#include "platform/win32/win32_classes.h"
#include "platform/win32/win32_native.h"

namespace win32 {

namespace {

using native::CountedString;
using UNICODE_STRING = native::UnicodeString;
using OBJECT_ATTRIBUTES = native::ObjectAttributes;
using IO_STATUS_BLOCK = native::IoStatusBlock;

using NtOpenFileFn = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, ULONG, ULONG);
using NtQueryDirectoryFileFn = LONG(NTAPI*)(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*, void*, ULONG,
                                            ULONG, BOOLEAN, UNICODE_STRING*, BOOLEAN);

// How long a pending directory query may take before it is cancelled: the listing's own wait.
constexpr DWORD kPendingWaitMs = 5000;

}  // namespace

platform::NTSTATUS Win32Ntdll::NtOpenFile(platform::Handle& handle, platform::DWORD access,
                                          const platform::ObjectAttributes& attributes,
                                          platform::IoStatus& io, platform::DWORD share,
                                          platform::DWORD options) {
  static const auto fn = BindExport<NtOpenFileFn>(L"ntdll.dll", "NtOpenFile");
  handle = platform::kNullHandle;
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  UNICODE_STRING name;
  if (!CountedString(attributes.name, name)) return platform::STATUS_OBJECT_NAME_INVALID;
  OBJECT_ATTRIBUTES oa = native::Attributes(attributes, name);
  IO_STATUS_BLOCK iosb{};
  HANDLE h = nullptr;
  const auto s = static_cast<platform::NTSTATUS>(fn(&h, access, &oa, &iosb, share, options));
  io.status = static_cast<platform::NTSTATUS>(iosb.Status);
  io.information = iosb.Information;
  if (platform::NT_SUCCESS(s)) handle = reinterpret_cast<platform::Handle>(h);
  return s;
}

platform::NTSTATUS Win32Ntdll::NtQueryDirectoryFile(platform::Handle file, platform::Handle event,
                                                    platform::IoStatus& io, std::span<std::byte> buffer,
                                                    std::uint32_t infoClass, bool returnSingleEntry,
                                                    const std::u16string_view* fileName, bool restartScan) {
  static const auto fn = BindExport<NtQueryDirectoryFileFn>(L"ntdll.dll", "NtQueryDirectoryFile");
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  UNICODE_STRING mask;
  if (fileName != nullptr && !CountedString(*fileName, mask)) return platform::STATUS_OBJECT_NAME_INVALID;
  IO_STATUS_BLOCK iosb{};
  auto s = static_cast<platform::NTSTATUS>(
      fn(ToHandle(file), ToHandle(event), nullptr, nullptr, &iosb, buffer.data(),
         static_cast<ULONG>(buffer.size()), infoClass, returnSingleEntry ? TRUE : FALSE,
         fileName != nullptr ? &mask : nullptr, restartScan ? TRUE : FALSE));
  if (s == platform::STATUS_PENDING) {
    // The request goes on writing `iosb` and the caller's buffer after the call has returned,
    // so neither may go before it is done: the event, or the handle where no event is given,
    // is signalled then. One that takes too long is cancelled, and even a cancelled request
    // is waited for, because it still writes its status block when it ends.
    const HANDLE done = event != platform::kNullHandle ? ToHandle(event) : ToHandle(file);
    if (::WaitForSingleObject(done, kPendingWaitMs) != platform::WAIT_OBJECT_0) {
      ::CancelIoEx(ToHandle(file), reinterpret_cast<LPOVERLAPPED>(&iosb));
      ::WaitForSingleObject(done, platform::INFINITE);
    }
    s = static_cast<platform::NTSTATUS>(iosb.Status);
  }
  io.status = static_cast<platform::NTSTATUS>(iosb.Status);
  io.information = iosb.Information;
  return s;
}

namespace {

std::uint64_t Ticks(const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

// The system terminates cFileName after the name it copied; a name holding a zero character
// cannot be told from a shorter one there, so the text up to the first zero is all it says.
template <typename Char, typename Raw, typename Out>
void Fill(const Raw& raw, Out& out) {
  out.attributes = raw.dwFileAttributes;
  out.creationTime = Ticks(raw.ftCreationTime);
  out.lastAccessTime = Ticks(raw.ftLastAccessTime);
  out.lastWriteTime = Ticks(raw.ftLastWriteTime);
  out.size = (std::uint64_t{raw.nFileSizeHigh} << 32) | raw.nFileSizeLow;
  out.fileName.assign(reinterpret_cast<const Char*>(raw.cFileName));
  out.alternateFileName.assign(reinterpret_cast<const Char*>(raw.cAlternateFileName));
  out.reparseTag = (raw.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? raw.dwReserved0 : 0;
}

}  // namespace

platform::Handle Win32Kernel32::FindFirstFileW(std::u16string_view mask, FindDataW& data) {
  const std::u16string text(mask);
  WIN32_FIND_DATAW raw{};
  const HANDLE h = ::FindFirstFileW(reinterpret_cast<LPCWSTR>(text.c_str()), &raw);
  if (h == INVALID_HANDLE_VALUE) return platform::kInvalidHandle;
  Fill<char16_t>(raw, data);
  return reinterpret_cast<platform::Handle>(h);
}

bool Win32Kernel32::FindNextFileW(platform::Handle find, FindDataW& data) {
  WIN32_FIND_DATAW raw{};
  if (!::FindNextFileW(ToHandle(find), &raw)) return false;
  Fill<char16_t>(raw, data);
  return true;
}

platform::Handle Win32Kernel32::FindFirstFileA(std::string_view mask, FindDataA& data) {
  const std::string text(mask);
  WIN32_FIND_DATAA raw{};
  const HANDLE h = ::FindFirstFileA(text.c_str(), &raw);
  if (h == INVALID_HANDLE_VALUE) return platform::kInvalidHandle;
  Fill<char>(raw, data);
  return reinterpret_cast<platform::Handle>(h);
}

bool Win32Kernel32::FindNextFileA(platform::Handle find, FindDataA& data) {
  WIN32_FIND_DATAA raw{};
  if (!::FindNextFileA(ToHandle(find), &raw)) return false;
  Fill<char>(raw, data);
  return true;
}

bool Win32Kernel32::FindClose(platform::Handle find) { return ::FindClose(ToHandle(find)) != FALSE; }

bool Win32Kernel32::FileTimeToLocalFileTime(std::uint64_t fileTime, std::uint64_t& localTime) {
  FILETIME in{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)}, out{};
  if (!::FileTimeToLocalFileTime(&in, &out)) return false;
  localTime = (std::uint64_t{out.dwHighDateTime} << 32) | out.dwLowDateTime;
  return true;
}

}  // namespace win32

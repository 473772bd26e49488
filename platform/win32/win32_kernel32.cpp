// The real kernel32: system facts, code pages, comparison and volumes.
#include <vector>

#include "platform/win32/win32_classes.h"

namespace win32 {

namespace {
// Calls an "A" function that fills a char buffer and answers the length, growing the buffer.
template <typename F>
std::string GrowA(F f) {
  std::vector<char> buf(MAX_PATH + 1);
  for (int tries = 0; tries < 4; ++tries) {
    const DWORD n = f(buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return std::string(buf.data(), n);
    buf.resize(static_cast<std::size_t>(n) + 1);
  }
  return {};
}
}  // namespace

platform::DWORD Win32Kernel32::GetLastError() { return ::GetLastError(); }
void Win32Kernel32::SetLastError(platform::DWORD error) { ::SetLastError(error); }

std::string Win32Kernel32::FormatMessageA(platform::DWORD messageId) {
  char* text = nullptr;
  const ::DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      messageId, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n != 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) ::LocalFree(text);
  return out;
}

bool Win32Kernel32::GetVersionExA(platform::OsVersionInfo& info) {
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;  // 148 bytes
  static_assert(sizeof(OSVERSIONINFOA) == 148);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExA(&v)) return false;
#pragma GCC diagnostic pop
  info.majorVersion = v.dwMajorVersion;
  info.minorVersion = v.dwMinorVersion;
  info.buildNumber = v.dwBuildNumber;
  info.platformId = v.dwPlatformId;
  info.csdVersion = v.szCSDVersion;
  return true;
}

std::string Win32Kernel32::GetComputerNameA() {
  char buf[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD n = sizeof buf;
  if (!::GetComputerNameA(buf, &n)) return {};
  return std::string(buf, n);
}

std::string Win32Kernel32::GetWindowsDirectoryA() {
  return GrowA([](char* b, DWORD n) { return static_cast<DWORD>(::GetWindowsDirectoryA(b, n)); });
}
std::string Win32Kernel32::GetSystemDirectoryA() {
  return GrowA([](char* b, DWORD n) { return static_cast<DWORD>(::GetSystemDirectoryA(b, n)); });
}
std::string Win32Kernel32::GetTempPathA() {
  return GrowA([](char* b, DWORD n) { return ::GetTempPathA(n, b); });
}
std::string Win32Kernel32::GetModuleFileNameA() {
  std::vector<char> buf(MAX_PATH + 1);
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return std::string(buf.data(), n);
    buf.resize(buf.size() * 2);
  }
}

std::vector<std::string> Win32Kernel32::CommandLineArguments() {
  std::vector<std::string> out;
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr) return out;
  for (int i = 0; i < argc; ++i)
    out.push_back(this->WideCharToMultiByte(platform::CP_ACP, FromWide(argv[i], wcslen(argv[i]))));
  ::LocalFree(argv);
  return out;
}

void Win32Kernel32::GetLocalTime(platform::SystemTime& time) {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  time = {st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

platform::DWORD Win32Kernel32::GetCurrentProcessId() { return ::GetCurrentProcessId(); }

std::uint32_t Win32Kernel32::GetACP() { return ::GetACP(); }

std::string Win32Kernel32::WideCharToMultiByte(std::uint32_t codePage, std::u16string_view text) {
  if (text.empty()) return {};
  const auto* w = reinterpret_cast<const wchar_t*>(text.data());
  const int len = static_cast<int>(text.size());
  const int n = ::WideCharToMultiByte(codePage, 0, w, len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(codePage, 0, w, len, out.data(), n, nullptr, nullptr);
  return out;
}

std::u16string Win32Kernel32::MultiByteToWideChar(std::uint32_t codePage, std::string_view text) {
  if (text.empty()) return {};
  const int len = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(codePage, 0, text.data(), len, nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), len, reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

int Win32Kernel32::CompareStringW(std::uint32_t locale, std::uint32_t flags, std::u16string_view a,
                                  std::u16string_view b) {
  return ::CompareStringW(locale, flags, reinterpret_cast<const wchar_t*>(a.data()), static_cast<int>(a.size()),
                          reinterpret_cast<const wchar_t*>(b.data()), static_cast<int>(b.size()));
}

int Win32Kernel32::CompareStringA(std::uint32_t locale, std::uint32_t flags, std::string_view a,
                                  std::string_view b) {
  return ::CompareStringA(locale, flags, a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
}

std::u16string Win32Kernel32::LCMapStringW(std::uint32_t locale, std::uint32_t flags, std::u16string_view text) {
  if (text.empty()) return {};
  const auto* w = reinterpret_cast<const wchar_t*>(text.data());
  const int len = static_cast<int>(text.size());
  const int n = ::LCMapStringW(locale, flags, w, len, nullptr, 0);
  if (n <= 0) return std::u16string(text);
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  ::LCMapStringW(locale, flags, w, len, reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

platform::DWORD Win32Kernel32::GetLogicalDrives() { return ::GetLogicalDrives(); }

unsigned Win32Kernel32::GetDriveTypeW(std::u16string_view rootPath) {
  const std::u16string s(rootPath);
  return ::GetDriveTypeW(Wide(s));
}

bool Win32Kernel32::GetVolumeInformationW(std::u16string_view rootPath, VolumeInformation& info) {
  const std::u16string s(rootPath);
  wchar_t label[MAX_PATH + 1] = {};
  wchar_t fs[MAX_PATH + 1] = {};
  DWORD serial = 0, maxLen = 0, flags = 0;
  if (!::GetVolumeInformationW(Wide(s), label, MAX_PATH + 1, &serial, &maxLen, &flags, fs, MAX_PATH + 1))
    return false;
  info.label = FromWide(label, wcslen(label));
  info.serialNumber = serial;
  info.maximumComponentLength = maxLen;
  info.fileSystemFlags = flags;
  info.fileSystemName = FromWide(fs, wcslen(fs));
  return true;
}

std::optional<std::u16string> Win32Kernel32::QueryDosDeviceW(std::u16string_view deviceName) {
  const std::u16string s(deviceName);
  std::vector<wchar_t> buf(1024);
  for (;;) {
    const DWORD n = ::QueryDosDeviceW(Wide(s), buf.data(), static_cast<DWORD>(buf.size()));
    if (n != 0) return FromWide(buf.data(), wcslen(buf.data()));
    if (::GetLastError() != platform::ERROR_INSUFFICIENT_BUFFER || buf.size() > 65536) return std::nullopt;
    buf.resize(buf.size() * 2);
  }
}

}  // namespace win32

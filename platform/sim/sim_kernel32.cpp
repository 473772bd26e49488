// The simulated kernel32: system facts, code page 1252, comparison and volumes.
#include "platform/sim/sim_kernel32.h"

#include <chrono>
#include <ctime>

#include "base/utf.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"

namespace sim {
namespace {
thread_local platform::DWORD t_lastError = 0;

// Code page 1252's characters 0x80..0x9F; 0 marks the five unassigned ones.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int Sign(int v) { return v < 0 ? platform::CSTR_LESS_THAN : v > 0 ? platform::CSTR_GREATER_THAN : platform::CSTR_EQUAL; }
}  // namespace

std::string ToCodePage(std::uint32_t codePage, std::u16string_view text) {
  if (codePage == platform::CP_UTF8) return base::Utf16ToUtf8(text);
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out += static_cast<char>(c);
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 32; ++i)
      if (kCp1252High[i] == c && c != 0) mapped = static_cast<char>(0x80 + i);
    out += mapped;
  }
  return out;
}

std::u16string FromCodePage(std::uint32_t codePage, std::string_view text) {
  if (codePage == platform::CP_UTF8) return base::Utf8ToUtf16(text).value_or(u"");
  std::u16string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    if (b >= 0x80 && b <= 0x9F) {
      const char16_t m = kCp1252High[b - 0x80];
      out += m != 0 ? m : static_cast<char16_t>(b);  // undefined bytes map to the C1 control, as Windows does
    } else {
      out += static_cast<char16_t>(b);
    }
  }
  return out;
}

platform::DWORD SimKernel32::GetLastError() { return t_lastError; }
void SimKernel32::SetLastError(platform::DWORD error) { t_lastError = error; }

bool SimKernel32::GetVersionExA(platform::OsVersionInfo& info) {
  std::lock_guard lock(m_.mutex);
  info.majorVersion = m_.system.major;
  info.minorVersion = m_.system.minor;
  info.buildNumber = m_.system.build;
  info.platformId = 2;  // VER_PLATFORM_WIN32_NT
  info.csdVersion.clear();
  return true;
}

std::string SimKernel32::GetComputerNameA() { return ToCodePage(m_.system.codePage, m_.system.computerName); }
std::string SimKernel32::GetWindowsDirectoryA() { return ToCodePage(m_.system.codePage, m_.system.windowsDirectory); }
std::string SimKernel32::GetSystemDirectoryA() { return ToCodePage(m_.system.codePage, m_.system.systemDirectory); }
std::string SimKernel32::GetTempPathA() { return ToCodePage(m_.system.codePage, m_.system.tempPath); }
std::string SimKernel32::GetModuleFileNameA() { return ToCodePage(m_.system.codePage, m_.system.programFile); }

std::vector<std::string> SimKernel32::CommandLineArguments() {
  std::vector<std::string> out;
  for (const auto& a : m_.system.commandLine) out.push_back(ToCodePage(m_.system.codePage, a));
  return out;
}

void SimKernel32::GetLocalTime(platform::SystemTime& time) {
  if (m_.system.localTime) {
    time = *m_.system.localTime;
    return;
  }
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  time.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
  time.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
  time.dayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
  time.day = static_cast<std::uint16_t>(tm.tm_mday);
  time.hour = static_cast<std::uint16_t>(tm.tm_hour);
  time.minute = static_cast<std::uint16_t>(tm.tm_min);
  time.second = static_cast<std::uint16_t>(tm.tm_sec);
  time.milliseconds = 0;
}

platform::DWORD SimKernel32::GetCurrentProcessId() { return 0x7FF0; }

std::uint32_t SimKernel32::ResolveCodePage(std::uint32_t cp) const {
  return cp == platform::CP_ACP ? m_.system.codePage : cp;
}

std::uint32_t SimKernel32::GetACP() { return m_.system.codePage; }

std::string SimKernel32::WideCharToMultiByte(std::uint32_t codePage, std::u16string_view text) {
  return ToCodePage(ResolveCodePage(codePage), text);
}

std::u16string SimKernel32::MultiByteToWideChar(std::uint32_t codePage, std::string_view text) {
  return FromCodePage(ResolveCodePage(codePage), text);
}

int SimKernel32::CompareStringW(std::uint32_t, std::uint32_t flags, std::u16string_view a, std::u16string_view b) {
  if (flags & platform::NORM_IGNORECASE) return Sign(CompareNames(a, b));
  const int c = a.compare(b);
  return Sign(c);
}

int SimKernel32::CompareStringA(std::uint32_t locale, std::uint32_t flags, std::string_view a, std::string_view b) {
  return CompareStringW(locale, flags, FromCodePage(m_.system.codePage, a), FromCodePage(m_.system.codePage, b));
}

std::u16string SimKernel32::LCMapStringW(std::uint32_t, std::uint32_t flags, std::u16string_view text) {
  if (flags & platform::LCMAP_UPPERCASE) return Upcase(text);
  return std::u16string(text);
}

platform::DWORD SimKernel32::GetLogicalDrives() {
  std::lock_guard lock(m_.mutex);
  platform::DWORD mask = 0;
  for (const auto& v : m_.volumes) mask |= 1u << (v.drive - u'A');
  return mask;
}

namespace {
// "C:\" (or "C:") -> the volume, else nullptr.
Volume* VolumeOfRoot(Machine& m, std::u16string_view root) {
  if (root.size() < 2 || root[1] != u':' || root.size() > 3 || (root.size() == 3 && root[2] != u'\\')) return nullptr;
  return m.FindVolume(root[0]);
}
}  // namespace

unsigned SimKernel32::GetDriveTypeW(std::u16string_view rootPath) {
  std::lock_guard lock(m_.mutex);
  const Volume* v = VolumeOfRoot(m_, rootPath);
  return v == nullptr ? platform::DRIVE_NO_ROOT_DIR : v->type;
}

bool SimKernel32::GetVolumeInformationW(std::u16string_view rootPath, VolumeInformation& info) {
  std::lock_guard lock(m_.mutex);
  const Volume* v = VolumeOfRoot(m_, rootPath);
  if (v == nullptr) {
    SetLastError(platform::ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (!v->readable) {
    SetLastError(platform::ERROR_NOT_READY);
    return false;
  }
  info.label = v->label;
  info.serialNumber = v->serialNumber;
  info.maximumComponentLength = 255;
  info.fileSystemFlags = v->fileSystem == u"NTFS" ? 0x000700FFu : 0x00000006u;
  info.fileSystemName = v->fileSystem;
  return true;
}

std::optional<std::u16string> SimKernel32::QueryDosDeviceW(std::u16string_view deviceName) {
  std::lock_guard lock(m_.mutex);
  if (deviceName.size() != 2 || deviceName[1] != u':') {
    SetLastError(platform::ERROR_FILE_NOT_FOUND);
    return std::nullopt;
  }
  const Volume* v = m_.FindVolume(deviceName[0]);
  if (v == nullptr) {
    SetLastError(platform::ERROR_FILE_NOT_FOUND);
    return std::nullopt;
  }
  return v->device;
}

}  // namespace sim

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
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int Sign(int v) {
  return v < 0 ? platform::CSTR_LESS_THAN : v > 0 ? platform::CSTR_GREATER_THAN : platform::CSTR_EQUAL;
}
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
    // The five bytes 1252 leaves undefined read as the C1 controls of the same number and
    // are written back as those bytes, so every byte survives a round trip.
    if (c >= 0x80 && c <= 0x9F && kCp1252High[c - 0x80] == 0) mapped = static_cast<char>(c);
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

std::string SimKernel32::FormatMessageA(platform::DWORD messageId) {
  // The texts of an English system for the codes the simulated functions answer with.
  static const std::pair<platform::DWORD, const char*> kTexts[] = {
      {platform::ERROR_SUCCESS, "The operation completed successfully."},
      {platform::ERROR_INVALID_FUNCTION, "Incorrect function."},
      {platform::ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
      {platform::ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
      {platform::ERROR_ACCESS_DENIED, "Access is denied."},
      {platform::ERROR_INVALID_HANDLE, "The handle is invalid."},
      {platform::ERROR_NOT_ENOUGH_MEMORY, "Not enough storage is available to process this command."},
      {platform::ERROR_NO_MORE_FILES, "There are no more files."},
      {platform::ERROR_NOT_READY, "The device is not ready."},
      {platform::ERROR_BAD_LENGTH, "The program issued a command but the command length is incorrect."},
      {platform::ERROR_SEEK, "The drive cannot locate a specific area or track on the disk."},
      {platform::ERROR_SHARING_VIOLATION,
       "The process cannot access the file because it is being used by another process."},
      {platform::ERROR_NOT_SUPPORTED, "The request is not supported."},
      {platform::ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
      {platform::ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system."},
      {platform::ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
      {platform::ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
      {platform::ERROR_MORE_DATA, "More data is available."},
      {platform::ERROR_NO_MORE_ITEMS, "No more data is available."},
      {platform::ERROR_KEY_DELETED,
       "Illegal operation attempted on a registry key that has been marked for deletion."},
      {platform::ERROR_UNKNOWN_REVISION, "The revision level is unknown."},
      {platform::ERROR_NONE_MAPPED, "No mapping between account names and security IDs was done."},
      {platform::ERROR_INVALID_SID, "The security ID structure is invalid."},
      {platform::ERROR_INVALID_SECURITY_DESCR, "The security descriptor structure is invalid."},
      {platform::RPC_S_SERVER_UNAVAILABLE, "The RPC server is unavailable."},
  };
  for (const auto& [code, text] : kTexts)
    if (code == messageId) return std::string(text) + "\r\n";
  SetLastError(platform::ERROR_MR_MID_NOT_FOUND);
  return {};
}

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
std::string SimKernel32::GetWindowsDirectoryA() {
  return ToCodePage(m_.system.codePage, m_.system.windowsDirectory);
}
std::string SimKernel32::GetSystemDirectoryA() {
  return ToCodePage(m_.system.codePage, m_.system.systemDirectory);
}
std::string SimKernel32::GetTempPathA() { return ToCodePage(m_.system.codePage, m_.system.tempPath); }
std::string SimKernel32::GetModuleFileNameA() {
  return ToCodePage(m_.system.codePage, m_.system.programFile);
}

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

platform::DWORD SimKernel32::GetCurrentProcessId() { return m_.system.currentProcessId; }

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
  if (!m_.system.compareStrings) {
    SetLastError(platform::ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (flags & platform::NORM_IGNORECASE) return Sign(CompareNames(a, b));
  const int c = a.compare(b);
  return Sign(c);
}

int SimKernel32::CompareStringA(std::uint32_t locale, std::uint32_t flags, std::string_view a,
                                std::string_view b) {
  return CompareStringW(locale, flags, FromCodePage(m_.system.codePage, a),
                        FromCodePage(m_.system.codePage, b));
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
  if (root.size() < 2 || root[1] != u':' || root.size() > 3 || (root.size() == 3 && root[2] != u'\\'))
    return nullptr;
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

// Version classification table.
#include "base/os_flags.h"

#include "platform/platform.h"

namespace base {
namespace {
struct RunningVersion {
  bool known = false;
  std::uint32_t major = 0, minor = 0, build = 0;
};
RunningVersion g_version;  // start-up table: written once before threads exist
}  // namespace

std::uint32_t GetOSFlags(std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
  if (major == 3 && minor == 51) return 0x3000;
  if (major == 4 && minor == 0) {
    switch (build) {
      case 950:
        return 0x1 | 0x38;
      case 1111:
        return 0x1 | 0x58;
      case 1212:
        return 0x1 | 0x98;
      case 1381:
        return 0x1 | 0x5000;
      default:
        return 0x1;
    }
  }
  if (major == 4 && minor == 1) {
    if (build == 1998) return 0x2 | 0x308;
    if (build == 2222) return 0x2 | 0x508;
    return 0x2;
  }
  if (major == 4 && minor == 9) return build == 3000 ? (0x4 | 0x808) : 0x4;
  if (major == 4 && minor == 10) return 0x308;
  if (major == 4 && minor == 90) return 0x808;
  if (major == 5 && minor == 0) return 0x9000;
  if (major == 5 && minor == 1) return 0x31000;
  if (major == 5 && minor == 2) return 0x41000 | (build == 3790 ? 0x110000 : 0x80000);
  if (major == 6 && minor == 0) return 0x201000;
  // Windows 7 and everything after it (Wine reports 6.1) is still the NT family: without this
  // the native half of every cross-view test would be skipped and the scans would report
  // "nothing hidden" without looking.
  if (major > 6 || (major == 6 && minor > 0)) return 0x201000;
  return 0;
}

void ReadRunningVersion() {
  platform::OsVersionInfo info;
  g_version = {};
  if (platform::Current().kernel32.GetVersionExA(info))
    g_version = {true, info.majorVersion, info.minorVersion, info.buildNumber};
}

std::uint32_t GetOSFlags() {
  return g_version.known ? GetOSFlags(g_version.major, g_version.minor, g_version.build) : 0;
}

}  // namespace base

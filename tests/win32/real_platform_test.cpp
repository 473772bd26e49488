// The real backend's foundation functions on a real Win32 implementation.
#include <gtest/gtest.h>

#include "base/os_flags.h"
#include "platform/win32/win32_platform.h"

namespace {

constexpr platform::DWORD kPlatformWin32NT = 2;  // VER_PLATFORM_WIN32_NT

TEST(RealPlatform, VersionClassifiesAsNTFamily) {
  platform::OsVersionInfo v;
  ASSERT_TRUE(win32::RealPlatform().kernel32.GetVersionExA(v));
  EXPECT_TRUE(base::IsNTFamily(base::GetOSFlags(v.majorVersion, v.minorVersion, v.buildNumber)))
      << v.majorVersion << "." << v.minorVersion << "." << v.buildNumber;
}

TEST(RealPlatform, VersionIsNTAndGetsTheFlagsOfCurrentSystems) {
  platform::OsVersionInfo v;
  ASSERT_TRUE(win32::RealPlatform().kernel32.GetVersionExA(v));
  EXPECT_EQ(v.platformId, kPlatformWin32NT);
  // Wine reports 6.1 (Windows 7); a real Windows without a manifest reports 6.2. Every version
  // above 6.0 must be classified like 6.0 so the native half of the scans runs.
  ASSERT_TRUE(v.majorVersion > 6 || (v.majorVersion == 6 && v.minorVersion >= 1))
      << v.majorVersion << "." << v.minorVersion << "." << v.buildNumber;
  EXPECT_EQ(base::GetOSFlags(v.majorVersion, v.minorVersion, v.buildNumber), 0x201000u);
}

}  // namespace

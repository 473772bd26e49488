// The real backend's foundation functions on a real Win32 implementation.
#include <gtest/gtest.h>

#include "base/os_flags.h"
#include "platform/win32/win32_platform.h"

namespace {

TEST(RealPlatform, VersionClassifiesAsNTFamily) {
  platform::OsVersionInfo v;
  ASSERT_TRUE(win32::RealPlatform().kernel32.GetVersionExA(v));
  EXPECT_TRUE(base::IsNTFamily(base::GetOSFlags(v.majorVersion, v.minorVersion, v.buildNumber)))
      << v.majorVersion << "." << v.minorVersion << "." << v.buildNumber;
}

}  // namespace

// The real kernel32 foundation every scanner leans on: version, code page 1252, case-blind
// comparison, drives and their device names.
#include <gtest/gtest.h>

#include <string>

#include "base/os_flags.h"
#include "platform/win32/win32_platform.h"

namespace {

constexpr std::uint32_t kWin1252 = 1252;
constexpr platform::DWORD kPlatformWin32NT = 2;  // VER_PLATFORM_WIN32_NT

platform::Kernel32& K() { return win32::RealPlatform().kernel32; }

// The UTF-16 code units of a text, for failure messages.
std::string Units(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out += std::to_string(static_cast<unsigned>(c)) + " ";
  return out;
}

TEST(RealKernel32, VersionIsNTAndGetsTheFlagsOfCurrentSystems) {
  platform::OsVersionInfo v;
  ASSERT_TRUE(K().GetVersionExA(v));
  EXPECT_EQ(v.platformId, kPlatformWin32NT);
  // Wine reports 6.1 (Windows 7); a real Windows without a manifest reports 6.2. Every version
  // above 6.0 must be classified like 6.0 so the native half of the scans runs.
  ASSERT_TRUE(v.majorVersion > 6 || (v.majorVersion == 6 && v.minorVersion >= 1))
      << v.majorVersion << "." << v.minorVersion << "." << v.buildNumber;
  EXPECT_EQ(base::GetOSFlags(v.majorVersion, v.minorVersion, v.buildNumber), 0x201000u);
}

TEST(RealKernel32, CodePage1252RoundTrip) {
  struct Case {
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"ghost.sys", u"ghost.sys"},
      {"\x80\x9f\xe9\xff", u"\u20ac\u0178\u00e9\u00ff"},     // euro sign, Y diaeresis, e acute, y diaeresis
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},  // counted: the zero character survives
      {std::string("\0", 1), std::u16string(u"\0", 1)},
      {"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(K().MultiByteToWideChar(kWin1252, c.bytes), c.text) << Units(c.text);
    EXPECT_EQ(K().WideCharToMultiByte(kWin1252, c.text), c.bytes) << Units(c.text);
  }
  // Every byte comes back as itself, the five holes of the code page included.
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(K().WideCharToMultiByte(kWin1252, K().MultiByteToWideChar(kWin1252, all)), all);
}

TEST(RealKernel32, CodePage1252UsesTheDefaultCharacterForWhatItCannotHold) {
  // CJK and Cyrillic have no place in 1252; the length stays one byte per character.
  EXPECT_EQ(K().WideCharToMultiByte(kWin1252, u"a\u4e2d\u0416b"), "a??b");
}

TEST(RealKernel32, CompareStringIgnoringCase) {
  struct Case {
    std::u16string a, b;
    int want;
  };
  const Case cases[] = {
      {u"ghost.SYS", u"GHOST.sys", platform::CSTR_EQUAL},
      {u"\u00c9T\u00c9", u"\u00e9t\u00e9", platform::CSTR_EQUAL},  // beyond ASCII too
      {u"a", u"B", platform::CSTR_LESS_THAN},
      {u"b", u"A", platform::CSTR_GREATER_THAN},
      {u"ghost", u"ghost.sys", platform::CSTR_LESS_THAN},
  };
  for (const auto& c : cases)
    EXPECT_EQ(K().CompareStringW(platform::LOCALE_USER_DEFAULT, platform::NORM_IGNORECASE, c.a, c.b), c.want)
        << Units(c.a) << "vs " << Units(c.b);
  // Case matters without the flag.
  EXPECT_NE(K().CompareStringW(platform::LOCALE_USER_DEFAULT, 0, u"ghost", u"GHOST"), platform::CSTR_EQUAL);
}

TEST(RealKernel32, SystemDriveIsAFixedDriveWithADeviceName) {
  EXPECT_NE(K().GetLogicalDrives() & (1u << 2), 0u) << "no C: drive";
  EXPECT_EQ(K().GetDriveTypeW(u"C:\\"), platform::DRIVE_FIXED);

  const auto device = K().QueryDosDeviceW(u"C:");
  ASSERT_TRUE(device.has_value()) << "last error " << K().GetLastError();
  ASSERT_FALSE(device->empty());
  EXPECT_EQ(device->front(), u'\\') << Units(*device);
}

TEST(RealKernel32, UnknownDriveHasNoRootAndNoDeviceName) {
  // Pick the last letter that is not a drive here.
  const platform::DWORD drives = K().GetLogicalDrives();
  int free_letter = -1;
  for (int i = 25; i >= 3 && free_letter < 0; --i)
    if ((drives & (1u << i)) == 0) free_letter = i;
  ASSERT_GE(free_letter, 0) << "every letter is a drive";
  const char16_t letter = static_cast<char16_t>(u'A' + free_letter);

  EXPECT_EQ(K().GetDriveTypeW(std::u16string{letter, u':', u'\\'}), platform::DRIVE_NO_ROOT_DIR);
  EXPECT_FALSE(K().QueryDosDeviceW(std::u16string{letter, u':'}).has_value());
}

}  // namespace

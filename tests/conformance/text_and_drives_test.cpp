// Code-page conversion, case-blind comparison and upper-casing, and the drives with their devices.
#include <gtest/gtest.h>

#include <string>

#include "tests/conformance/backend.h"
#include "tests/conformance/buffers.h"

namespace conformance {
namespace {

using namespace platform;

CONFORMANCE_SUITE(CodePage);
CONFORMANCE_SUITE(Comparison);
CONFORMANCE_SUITE(Drives);

constexpr std::uint32_t kWin1252 = 1252;

TEST_P(CodePage, Windows1252RoundTripsEveryByteAndCountsZeroCharacters) {
  auto& k32 = P().kernel32;
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
    EXPECT_EQ(k32.MultiByteToWideChar(kWin1252, c.bytes), c.text) << Units(c.text);
    EXPECT_EQ(k32.WideCharToMultiByte(kWin1252, c.text), c.bytes) << Units(c.text);
  }
  // Every byte comes back as itself, the five holes of the code page included.
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(k32.WideCharToMultiByte(kWin1252, k32.MultiByteToWideChar(kWin1252, all)), all);
}

TEST_P(CodePage, WhatTheCodePageCannotHoldBecomesTheDefaultCharacter) {
  auto& k32 = P().kernel32;
  // CJK and Cyrillic have no place in 1252; the length stays one byte per character.
  EXPECT_EQ(k32.WideCharToMultiByte(kWin1252, u"a\u4e2d\u0416b"), "a??b");
  EXPECT_EQ(k32.WideCharToMultiByte(kWin1252, std::u16string(u"\u4e2d\0", 2)), std::string("?\0", 2));
  // UTF-8 holds everything.
  EXPECT_EQ(k32.WideCharToMultiByte(CP_UTF8, u"\u4e2d\u00e9"), "\xe4\xb8\xad\xc3\xa9");
  EXPECT_EQ(k32.MultiByteToWideChar(CP_UTF8, "\xe4\xb8\xad\xc3\xa9"), u"\u4e2d\u00e9");
}

TEST_P(Comparison, CompareStringIgnoresCaseOnlyWhenAsked) {
  auto& k32 = P().kernel32;
  struct Case {
    std::u16string a, b;
    std::uint32_t flags;
    int want;
  };
  const Case cases[] = {
      {u"ghost.SYS", u"GHOST.sys", NORM_IGNORECASE, CSTR_EQUAL},
      {u"\u00c9T\u00c9", u"\u00e9t\u00e9", NORM_IGNORECASE, CSTR_EQUAL},  // beyond ASCII too
      {u"a", u"B", NORM_IGNORECASE, CSTR_LESS_THAN},
      {u"b", u"A", NORM_IGNORECASE, CSTR_GREATER_THAN},
      {u"ghost", u"ghost.sys", NORM_IGNORECASE, CSTR_LESS_THAN},
      {u"", u"", NORM_IGNORECASE, CSTR_EQUAL},
      {u"ghost", u"ghost", 0, CSTR_EQUAL},
  };
  for (const auto& c : cases)
    EXPECT_EQ(k32.CompareStringW(LOCALE_USER_DEFAULT, c.flags, c.a, c.b), c.want)
        << Units(c.a) << " vs " << Units(c.b) << " flags " << c.flags;
  EXPECT_NE(k32.CompareStringW(LOCALE_USER_DEFAULT, 0, u"ghost", u"GHOST"), CSTR_EQUAL)
      << "case matters without the flag";
  EXPECT_EQ(k32.CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "C:\\Windows", "c:\\WINDOWS"),
            CSTR_EQUAL);
}

TEST_P(Comparison, UpperCasingCoversLatinLetters) {
  auto& k32 = P().kernel32;
  EXPECT_EQ(k32.LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, u"ghost.sys"), u"GHOST.SYS");
  EXPECT_EQ(k32.LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, u"\u00e9t\u00e9"), u"\u00c9T\u00c9");
  EXPECT_EQ(k32.LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, std::u16string(u"a\0b", 3)),
            std::u16string(u"A\0B", 3));
}

TEST_P(Drives, TheSystemDriveIsFixedWithADeviceName) {
  auto& k32 = P().kernel32;
  EXPECT_NE(k32.GetLogicalDrives() & (1u << 2), 0u) << "no C: drive";
  EXPECT_EQ(k32.GetDriveTypeW(u"C:\\"), DRIVE_FIXED);
  const auto device = k32.QueryDosDeviceW(u"C:");
  ASSERT_TRUE(device.has_value()) << "last error " << k32.GetLastError();
  EXPECT_EQ(device->substr(0, 8), u"\\Device\\") << Units(*device);
}

TEST_P(Drives, AnUnknownDriveHasNoRootAndNoDeviceName) {
  auto& k32 = P().kernel32;
  const DWORD drives = k32.GetLogicalDrives();
  int freeLetter = -1;
  for (int i = 25; i >= 3 && freeLetter < 0; --i)
    if ((drives & (1u << i)) == 0) freeLetter = i;
  ASSERT_GE(freeLetter, 0) << "every letter is a drive";
  const char16_t letter = static_cast<char16_t>(u'A' + freeLetter);
  EXPECT_EQ(k32.GetDriveTypeW(std::u16string{letter, u':', u'\\'}), DRIVE_NO_ROOT_DIR);
  EXPECT_FALSE(k32.QueryDosDeviceW(std::u16string{letter, u':'}).has_value());
}

}  // namespace
}  // namespace conformance

// The Win32 registry view and the path macros on a real registry and real shell folders.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/os_flags.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "registry/win32_registry.h"
#include "results/path_macros.h"

namespace {

using platform::HKEY_LOCAL_MACHINE;

class RealRegistry : public ::testing::Test {
 protected:
  RealRegistry() { base::ReadRunningVersion(); }
  platform::ScopedPlatform scope_{win32::RealPlatform()};
};

template <typename List, typename T>
bool Holds(const List& list, const T& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

TEST_F(RealRegistry, ListsAndReadsAKnownKey) {
  registry::TMyRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Microsoft\\Windows NT\\CurrentVersion\\"));
  std::vector<std::u16string> wide;
  std::vector<std::string> narrow;
  reg.GetValueNamesW(wide);
  reg.GetValueNames(narrow);
  EXPECT_TRUE(Holds(wide, u"SystemRoot"));
  EXPECT_TRUE(Holds(narrow, "SystemRoot"));
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Microsoft"));
  reg.GetKeyNamesW(wide);
  reg.GetKeyNames(narrow);
  EXPECT_TRUE(Holds(wide, u"Windows"));
  EXPECT_TRUE(Holds(narrow, "Windows"));
  EXPECT_TRUE(reg.KeyExists("Windows NT"));
  EXPECT_FALSE(reg.KeyExists("\\Software\\UmbrascopeNoSuchKey"));

  auto& api = platform::Current().advapi32;
  std::u16string name;
  EXPECT_EQ(api.RegEnumKeyExW(reg.CurrentKey(), 0, name, 1), platform::ERROR_MORE_DATA);

  std::string root;
  ASSERT_TRUE(registry::ReadRegistryString(
      HKEY_LOCAL_MACHINE, "\\Software\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", 64, root));
  EXPECT_EQ(
      platform::Current().kernel32.CompareStringA(platform::LOCALE_USER_DEFAULT, platform::NORM_IGNORECASE,
                                                  root, platform::Current().kernel32.GetWindowsDirectoryA()),
      platform::CSTR_EQUAL)
      << root;
  std::u16string wideRoot;
  ASSERT_TRUE(registry::ReadRegistryStringW(
      HKEY_LOCAL_MACHINE, "\\Software\\Microsoft\\Windows NT\\CurrentVersion", u"SystemRoot", 32, wideRoot));
  EXPECT_EQ(wideRoot.size(), root.size());
}

TEST_F(RealRegistry, PathMacrosOfTheRunningSystem) {
  results::BuildPathMacros();
  auto& k32 = platform::Current().kernel32;
  const std::string windows = k32.GetWindowsDirectoryA();
  EXPECT_EQ(results::ExpandPathMacros("<$WINDIR>\\x"), windows + "\\x");
  EXPECT_EQ(results::ExpandPathMacros("<$SYSDRIVE>"), windows.substr(0, 2));
  EXPECT_EQ(results::ExpandPathMacros("<$SYSDIR>"), k32.GetSystemDirectoryA());
  const std::string programFiles = platform::Current().shell.SHGetSpecialFolderPathA(38).value_or("");
  ASSERT_FALSE(programFiles.empty());
  EXPECT_EQ(results::ExpandPathMacros("<$PROGRAMFILES>"), programFiles);
  std::vector<std::string> variants;
  results::ExpandPathMacroVariants("<$PROGRAMFILES>\\a", variants);
  EXPECT_TRUE(Holds(variants, programFiles + "\\a"));
  // A 64-bit system keeps a second program-files folder for 32-bit programs (a prefix without
  // 32-bit support has the key but not the value).
  std::string folder32;
  const bool second = registry::ReadRegistryString(
                          HKEY_LOCAL_MACHINE, "\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion",
                          "ProgramFilesDir", 32, folder32) &&
                      folder32 != programFiles;
  EXPECT_EQ(variants.size(), second ? 2u : 1u);
}

}  // namespace

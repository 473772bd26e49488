// The Win32 registry view: simulated advapi32 listings under the rootkit, the registry class, hive names.
#include <gtest/gtest.h>

#include "platform/sim/builder.h"
#include "registry/win32_registry.h"
#include "test_support.h"

namespace {

using platform::HKEY_LOCAL_MACHINE;
using registry::TMyRegistry;

const std::u16string kZeroName(u"a\0b", 3);

sim::MachineBuilder RunKeyMachine() {
  sim::MachineBuilder b;
  const std::u16string run = u"HKLM\\SOFTWARE\\Run";
  b.StringValue(run, u"", u"default");
  b.StringValue(run, u"ghost", u"C:\\ghost.exe").hidden = false;  // hidden by the pattern below
  b.StringValue(run, u"plain", u"C:\\plain.exe");
  b.StringValue(run, u"secret", u"x").hidden = true;
  b.StringValue(run, kZeroName, u"z");
  b.Key(run + u"\\Beta");
  b.Key(run + u"\\alpha").hidden = true;
  b.Key(run + u"\\ghostkey");
  b.Key(run + u"\\" + kZeroName);
  b.Hide(u"ghost*");
  return b;
}

TEST(SimWin32Registry, ListingsHideWhatTheRootkitHidesButCountsTellTheTruth) {
  auto b = RunKeyMachine();
  testing_support::SimMachineFixture fx(b);
  auto& api = platform::Current().advapi32;
  platform::HKEY key = 0;
  ASSERT_EQ(api.RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Run", 0, platform::KEY_READ, key), 0u);

  std::vector<std::u16string> keys, values;
  std::u16string name;
  for (platform::DWORD i = 0; api.RegEnumKeyExW(key, i, name, 256) == 0; ++i) keys.push_back(name);
  platform::DWORD type = 0;
  for (platform::DWORD i = 0; api.RegEnumValueW(key, i, name, 256, type) == 0; ++i) values.push_back(name);
  EXPECT_EQ(keys, (std::vector<std::u16string>{kZeroName, u"Beta"}));
  EXPECT_EQ(values, (std::vector<std::u16string>{u"", u"plain", kZeroName}));

  platform::RegKeyInfo info;
  ASSERT_EQ(api.RegQueryInfoKeyW(key, info), 0u);
  EXPECT_EQ(info.subKeys, 4u);
  EXPECT_EQ(info.values, 5u);
  EXPECT_EQ(info.maxSubKeyLen, 8u);

  // Opening by name still works for hidden entries; a path is read up to its first zero.
  platform::HKEY sub = 0;
  EXPECT_EQ(api.RegOpenKeyExW(key, u"alpha", 0, platform::KEY_READ, sub), 0u);
  api.RegCloseKey(sub);
  EXPECT_EQ(api.RegOpenKeyExW(key, kZeroName, 0, platform::KEY_READ, sub), platform::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(api.RegEnumKeyExW(key, 0, name, 3), platform::ERROR_MORE_DATA);
  api.RegCloseKey(key);
}

TEST(SimWin32Registry, FailFlagsAndMissingKeys) {
  sim::MachineBuilder b;
  b.Key(u"HKLM\\SOFTWARE\\Locked").fail.win32Open = true;
  b.Key(u"HKLM\\SOFTWARE\\Unlisted\\sub").parent->fail.win32List = true;
  testing_support::SimMachineFixture fx(b);
  auto& api = platform::Current().advapi32;
  platform::HKEY key = 0;
  EXPECT_EQ(api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", 0, platform::KEY_READ, key),
            platform::ERROR_ACCESS_DENIED);
  EXPECT_EQ(api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", 0, platform::KEY_READ, key),
            platform::ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Unlisted", 0, platform::KEY_READ, key), 0u);
  std::string name;
  EXPECT_EQ(api.RegEnumKeyExA(key, 0, name, 256), platform::ERROR_ACCESS_DENIED);
  api.RegCloseKey(key);
  EXPECT_EQ(api.RegCloseKey(key), platform::ERROR_INVALID_HANDLE);
}

TEST(SimWin32Registry, EightBitQueryConvertsStringData) {
  sim::MachineBuilder b;
  b.StringValue(u"HKLM\\SOFTWARE\\K", u"caf\u00e9", u"\u20ac1");
  b.DwordValue(u"HKLM\\SOFTWARE\\K", u"n", 7);
  testing_support::SimMachineFixture fx(b);
  auto& api = platform::Current().advapi32;
  platform::HKEY key = 0;
  ASSERT_EQ(api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\K", 0, platform::KEY_READ, key), 0u);
  platform::DWORD type = 0, size = 0;
  ASSERT_EQ(api.RegQueryValueExA(key, "caf\xe9", type, {}, size), 0u);
  EXPECT_EQ(type, platform::REG_SZ);
  EXPECT_EQ(size, 3u);
  std::array<std::byte, 2> small{};
  EXPECT_EQ(api.RegQueryValueExA(key, "caf\xe9", type, small, size), platform::ERROR_MORE_DATA);
  EXPECT_EQ(size, 3u);
  std::array<std::byte, 3> buf{};
  ASSERT_EQ(api.RegQueryValueExA(key, "caf\xe9", type, buf, size), 0u);
  EXPECT_EQ(buf[0], std::byte{0x80});
  ASSERT_EQ(api.RegQueryValueExW(key, u"N", type, {}, size), 0u);
  EXPECT_EQ(size, 4u);
  api.RegCloseKey(key);
}

TEST(TMyRegistry, OpensReadOnlyAndListsNames) {
  auto b = RunKeyMachine();
  testing_support::SimMachineFixture fx(b);
  TMyRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\Run\\"));
  EXPECT_EQ(reg.Access(), platform::KEY_READ);
  std::vector<std::u16string> wide;
  reg.GetKeyNamesW(wide);
  EXPECT_EQ(wide, (std::vector<std::u16string>{u"a", u"Beta"}));  // cut at the zero character
  reg.GetValueNamesW(wide);
  EXPECT_EQ(wide, (std::vector<std::u16string>{u"", u"plain", u"a"}));
  // Hidden entries shorten the listing; the indexes past its end add nothing.
  std::vector<std::string> narrow;
  reg.GetValueNames(narrow);
  EXPECT_EQ(narrow, (std::vector<std::string>{"", "plain", "a"}));
  reg.GetKeyNames(narrow);
  EXPECT_EQ(narrow, (std::vector<std::string>{"a", "Beta"}));

  // A relative path opens below the current key and extends the current path.
  ASSERT_TRUE(reg.OpenKeyReadOnly("Beta"));
  EXPECT_EQ(reg.CurrentPath(), "SOFTWARE\\Run\\\\Beta");
  EXPECT_TRUE(reg.KeyExists("\\SOFTWARE\\Run"));
  EXPECT_FALSE(reg.KeyExists("\\SOFTWARE\\Nope"));
  EXPECT_FALSE(reg.OpenKeyReadOnly("\\SOFTWARE\\Nope"));
}

// A listing that breaks off is an error, not a short list: a comparison would otherwise take
// every name after the break for one the Win32 view hides. A name longer than the buffer the
// key's facts suggest is asked for again, not dropped.
TEST(TMyRegistry, ListingsRaiseWhenTheyBreakOffAndReadLongNamesWhole) {
  struct Listing {
    const char* what;
    std::size_t (*list)(TMyRegistry&);
  };
  const Listing listings[] = {
      {"GetKeyNamesW",
       [](TMyRegistry& r) {
         std::vector<std::u16string> l;
         r.GetKeyNamesW(l);
         return l.size();
       }},
      {"GetValueNamesW",
       [](TMyRegistry& r) {
         std::vector<std::u16string> l;
         r.GetValueNamesW(l);
         return l.size();
       }},
      {"GetKeyNames",
       [](TMyRegistry& r) {
         std::vector<std::string> l;
         r.GetKeyNames(l);
         return l.size();
       }},
      {"GetValueNames",
       [](TMyRegistry& r) {
         std::vector<std::string> l;
         r.GetValueNames(l);
         return l.size();
       }},
  };
  const std::u16string longName(1200, u'L');
  for (const auto& listing : listings) {
    SCOPED_TRACE(listing.what);
    sim::MachineBuilder b;
    b.Key(u"HKLM\\SOFTWARE\\Broken\\one");
    b.StringValue(u"HKLM\\SOFTWARE\\Broken", u"v", u"x");
    b.Key(u"HKLM\\SOFTWARE\\Broken").fail.win32List = true;
    // The Win32 view spells these longer than the native names the key's facts are taken from.
    b.Key(u"HKLM\\SOFTWARE\\Long\\a").win32Name = longName;
    b.Key(u"HKLM\\SOFTWARE\\Long\\b");
    b.StringValue(u"HKLM\\SOFTWARE\\Long", u"a", u"x").win32Name = longName;
    b.StringValue(u"HKLM\\SOFTWARE\\Long", u"b", u"y");
    testing_support::SimMachineFixture fx(b);
    TMyRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\Broken"));
    try {
      listing.list(reg);
      ADD_FAILURE() << "a broken listing answered a list";
    } catch (const registry::ERegistryException& e) {
      EXPECT_NE(std::string(e.what()).find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken"), std::string::npos)
          << e.what();
    }
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\Long"));
    EXPECT_EQ(listing.list(reg), 2u);
  }
}

TEST(TMyRegistry, BitnessAndViewMode) {
  TMyRegistry reg;
  EXPECT_EQ(reg.Bitness(), 32);
  EXPECT_EQ(reg.Access(), platform::KEY_ALL_ACCESS);
  reg.SetBitness(64);
  EXPECT_EQ(reg.Access(), platform::KEY_ALL_ACCESS | platform::KEY_WOW64_64KEY);
  reg.SetBitness(32);
  EXPECT_EQ(reg.Access(), platform::KEY_ALL_ACCESS);
  try {
    reg.SetBitness(16);
    FAIL() << "16 bits accepted";
  } catch (const registry::ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Windows Registry only supported with 32 or 64 bits!");
  }
  reg.SetViewMode(2);
  EXPECT_EQ(reg.Bitness(), 64);
  reg.SetViewMode(7);
  EXPECT_EQ(reg.Bitness(), 64);
  EXPECT_EQ(reg.ViewMode(), 2);
  reg.SetViewMode(0);
  EXPECT_EQ(reg.Bitness(), 32);
}

TEST(HiveNames, LookUpBothWays) {
  struct Case {
    const char* name;
    platform::HKEY key;
  };
  const Case cases[] = {{"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                        {"HKLM", HKEY_LOCAL_MACHINE},
                        {"HKUS", platform::HKEY_USERS},
                        {"HKDD", platform::HKEY_DYN_DATA},
                        {"hklm", 0},
                        {"HKU", 0},
                        {"", 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(registry::RootKeyFromName(std::string_view(c.name)), c.key) << c.name;
    const std::string s = c.name;
    EXPECT_EQ(registry::RootKeyFromName(std::u16string(s.begin(), s.end())), c.key) << c.name;
  }
  EXPECT_EQ(registry::RootKeyName(platform::HKEY_CURRENT_CONFIG), "HKEY_CURRENT_CONFIG");
  EXPECT_EQ(registry::RootKeyName(42), "42");
}

TEST(SplitText, KeyAndValueTexts) {
  platform::HKEY root = 0;
  std::string path, name;
  ASSERT_TRUE(registry::SplitValueText("HKLM\\SOFTWARE\\X\\Y", root, path, name));
  EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(path, "\\SOFTWARE\\X\\");
  EXPECT_EQ(name, "Y");
  EXPECT_FALSE(registry::SplitValueText("ABC\\X", root, path, name));
  EXPECT_FALSE(registry::SplitKeyText("HKLM", root, path));
  ASSERT_TRUE(registry::SplitKeyText("HKEY_USERS\\S-1\\Soft", root, path));
  EXPECT_EQ(root, platform::HKEY_USERS);
  EXPECT_EQ(path, "\\S-1\\Soft");

  std::u16string wpath, wname;
  ASSERT_TRUE(registry::SplitValueText(u"HKCU\\Run\\" + kZeroName, root, wpath, wname));
  EXPECT_EQ(root, platform::HKEY_CURRENT_USER);
  EXPECT_EQ(wpath, u"\\Run\\");
  EXPECT_EQ(wname, kZeroName);
}

TEST(SingleValues, ReadersAnswerFalseInsteadOfRaising) {
  sim::MachineBuilder b;
  const std::u16string k = u"HKLM\\SOFTWARE\\V";
  b.StringValue(k, u"s", u"C:\\x");
  b.Value(k, u"e", platform::REG_EXPAND_SZ, {'%', 0, 'a', 0, '%', 0, 0, 0});
  b.Value(k, u"m", platform::REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0, 'b', 0, 0, 0, 0, 0});
  b.DwordValue(k, u"d", 0xFFFFFFFF);
  testing_support::SimMachineFixture fx(b);
  std::string text;
  EXPECT_TRUE(registry::ReadRegistryString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\V", "s", 32, text));
  EXPECT_EQ(text, "C:\\x");
  EXPECT_TRUE(registry::ReadRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\V", "e", 64, text));
  EXPECT_EQ(text, "%a%");  // as stored, not expanded
  EXPECT_TRUE(registry::ReadRegistryString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\V", "m", 32, text));
  EXPECT_EQ(text, "a\r\n\r\nb");
  EXPECT_FALSE(registry::ReadRegistryString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\V", "d", 32, text));
  EXPECT_FALSE(registry::ReadRegistryString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Nope", "s", 32, text));
  EXPECT_THROW(registry::ReadRegistryString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\V", "s", 16, text),
               registry::ERegistryException);

  std::u16string wide;
  EXPECT_TRUE(registry::ReadRegistryStringW(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\V", u"s", 32, wide));
  EXPECT_EQ(wide, u"C:\\x");
  EXPECT_FALSE(registry::ReadRegistryStringW(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\V", u"e", 32, wide));

  std::int32_t value = 0;
  EXPECT_TRUE(registry::ReadRegistryInteger(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\V", "d", value));
  EXPECT_EQ(value, -1);
  EXPECT_FALSE(registry::ReadRegistryInteger(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\V", "s", value));

  EXPECT_TRUE(registry::RegistryKeyExists(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\V", 0));
  EXPECT_TRUE(registry::RegistryKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE", 1));
  EXPECT_FALSE(registry::RegistryKeyExists(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\W", 5));
}

}  // namespace

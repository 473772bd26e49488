// The native registry view on a real registry: names with zero characters, which the Win32
// functions cannot name, are listed, reported by the hidden-registry indicator and deleted exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "base/os_flags.h"
#include "engine/registry_indicator.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "registry/nt_registry.h"

namespace {

const std::u16string kKeyPath = u"\\Software\\UmbrascopeNativeTest";
const std::u16string kZeroValue(u"a\0b", 3);
const std::u16string kZeroKey(u"k\0x", 3);

class RealNativeRegistry : public ::testing::Test {
 protected:
  RealNativeRegistry() { base::ReadRunningVersion(); }
  ~RealNativeRegistry() override { RemoveTestKey(); }

  // Removes the test key and its subkeys, names with zero characters included.
  void RemoveTestKey() {
    registry::TNtRegistry reg;
    reg.RootKey = platform::HKEY_LOCAL_MACHINE;
    if (!reg.OpenKey(kKeyPath)) return;
    std::vector<std::u16string> subkeys;
    reg.GetKeyNames(subkeys);
    auto& nt = platform::Current().ntdll;
    for (const auto& name : subkeys) {
      platform::ObjectAttributes attributes;
      attributes.rootDirectory = reg.KeyHandle();
      attributes.name = name;
      attributes.attributes = platform::OBJ_CASE_INSENSITIVE;
      platform::Handle sub = platform::kNullHandle;
      if (nt.NtOpenKey(sub, platform::KEY_ALL_ACCESS, attributes) != platform::STATUS_SUCCESS) continue;
      nt.NtDeleteKey(sub);
      nt.NtClose(sub);
    }
    reg.CloseKey();
    reg.DeleteKey(kKeyPath);
  }

  platform::ScopedPlatform scope_{win32::RealPlatform()};
};

TEST_F(RealNativeRegistry, ZeroCharacterNamesAreReportedAndDeletedExactly) {
  RemoveTestKey();
  registry::TNtRegistry reg;
  reg.RootKey = platform::HKEY_LOCAL_MACHINE;
  ASSERT_TRUE(reg.CreateKey(kKeyPath));
  auto& nt = platform::Current().ntdll;
  const std::array<std::byte, 4> data{std::byte{1}};
  ASSERT_EQ(nt.NtSetValueKey(reg.KeyHandle(), kZeroValue, platform::REG_DWORD, data), platform::STATUS_SUCCESS);
  reg.WriteValue(u"a", platform::REG_DWORD, data);
  platform::ObjectAttributes attributes;
  attributes.rootDirectory = reg.KeyHandle();
  attributes.name = kZeroKey;
  attributes.attributes = platform::OBJ_CASE_INSENSITIVE;
  platform::Handle sub = platform::kNullHandle;
  platform::DWORD disposition = 0;
  ASSERT_EQ(nt.NtCreateKey(sub, platform::KEY_ALL_ACCESS, attributes, disposition), platform::STATUS_SUCCESS);
  EXPECT_EQ(disposition, platform::REG_CREATED_NEW_KEY);
  nt.NtClose(sub);

  std::vector<std::u16string> names;
  reg.GetValueNames(names);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"a", kZeroValue}));
  reg.GetKeyNames(names);
  EXPECT_EQ(names, (std::vector<std::u16string>{kZeroKey}));

  engine::TRootKitIndicatorRegistry indicator(
      "description=t,rootkey=HKEY_LOCAL_MACHINE,keypath=\\Software\\UmbrascopeNativeTest\\");
  indicator.RunTest();
  EXPECT_EQ(indicator.State(), 1);
  const std::string prefix = "HKEY_LOCAL_MACHINE\\Software\\UmbrascopeNativeTest\\";
  EXPECT_EQ(indicator.Results(),
            (std::vector<std::string>{prefix + std::string("k\0x", 3), prefix + std::string("a\0b", 3)}));
  EXPECT_EQ(indicator.ResultKinds(), (std::vector<std::int32_t>{4, 5}));

  EXPECT_TRUE(reg.DeleteValue(kZeroValue));
  reg.GetValueNames(names);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"a"}));
  EXPECT_FALSE(reg.DeleteValue(kZeroValue));
}

}  // namespace

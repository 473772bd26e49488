// Deleting through the registry properties on a real registry: a value whose name holds a zero
// character, made through the native calls, goes and its neighbour "a" stays.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "app/registry_properties.h"
#include "base/os_flags.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "registry/nt_registry.h"

namespace {

const std::u16string kKeyPath = u"\\Software\\UmbrascopeDeleteTest";
const std::u16string kLocation = u"HKEY_LOCAL_MACHINE\\Software\\UmbrascopeDeleteTest";
const std::u16string kZeroValue(u"a\0b", 3);

class RealRegistryDeletion : public ::testing::Test {
 protected:
  RealRegistryDeletion() { base::ReadRunningVersion(); }
  ~RealRegistryDeletion() override { Remove(); }

  void Remove() {
    for (const auto* sub : {u"\\Parent\\Child", u"\\Parent", u""}) {
      registry::TNtRegistry reg;
      reg.RootKey = platform::HKEY_LOCAL_MACHINE;
      if (reg.OpenKey(kKeyPath + sub)) platform::Current().ntdll.NtDeleteKey(reg.KeyHandle());
    }
  }

  std::vector<std::u16string> ValueNames() {
    registry::TNtRegistry reg;
    reg.RootKey = platform::HKEY_LOCAL_MACHINE;
    std::vector<std::u16string> names;
    if (reg.OpenKey(kKeyPath)) reg.GetValueNames(names);
    std::sort(names.begin(), names.end());
    return names;
  }

  platform::ScopedPlatform scope_{win32::RealPlatform()};
};

TEST_F(RealRegistryDeletion, AZeroCharacterValueGoesAndItsNeighbourStays) {
  Remove();
  registry::TNtRegistry reg;
  reg.RootKey = platform::HKEY_LOCAL_MACHINE;
  ASSERT_TRUE(reg.CreateKey(kKeyPath));
  const std::array<std::byte, 4> data{std::byte{1}};
  for (const auto& name : {std::u16string(u"a"), kZeroValue, std::u16string(u"b")})
    ASSERT_EQ(platform::Current().ntdll.NtSetValueKey(reg.KeyHandle(), name, platform::REG_DWORD, data),
              platform::STATUS_SUCCESS);
  reg.CloseKey();

  const auto r = app::DeleteRegistryValue(app::ParseRegistryLocation(kLocation + u"\\" + kZeroValue));
  EXPECT_TRUE(r.Deleted) << r.Message;
  EXPECT_EQ(ValueNames(), (std::vector<std::u16string>{u"a", u"b"}));
  const auto again = app::DeleteRegistryValue(app::ParseRegistryLocation(kLocation + u"\\" + kZeroValue));
  EXPECT_FALSE(again.Deleted);
  EXPECT_EQ(again.Message, "no such value in the native view");
}

TEST_F(RealRegistryDeletion, AKeyWithSubkeysIsRefusedAndAChildlessOneDeleted) {
  Remove();
  registry::TNtRegistry reg;
  reg.RootKey = platform::HKEY_LOCAL_MACHINE;
  ASSERT_TRUE(reg.CreateKey(kKeyPath));
  ASSERT_TRUE(reg.CreateKey(kKeyPath + u"\\Parent"));
  ASSERT_TRUE(reg.CreateKey(kKeyPath + u"\\Parent\\Child"));
  reg.CloseKey();

  const auto refused = app::DeleteRegistryKey(app::ParseRegistryLocation(kLocation + u"\\Parent"));
  EXPECT_FALSE(refused.Deleted);
  EXPECT_EQ(refused.Message, "it holds 1 subkey; only a key without subkeys is deleted");
  EXPECT_TRUE(reg.OpenKey(kKeyPath + u"\\Parent\\Child"));
  reg.CloseKey();

  const auto child = app::DeleteRegistryKey(app::ParseRegistryLocation(kLocation + u"\\Parent\\Child"));
  EXPECT_TRUE(child.Deleted) << child.Message;
  EXPECT_FALSE(reg.OpenKey(kKeyPath + u"\\Parent\\Child"));
  EXPECT_TRUE(reg.OpenKey(kKeyPath + u"\\Parent"));
  reg.CloseKey();
  const auto missing = app::DeleteRegistryKey(app::ParseRegistryLocation(kLocation + u"\\Parent\\Child"));
  EXPECT_FALSE(missing.Deleted);
  EXPECT_EQ(missing.Message, "the key does not exist");
  EXPECT_FALSE(reg.OpenKey(kKeyPath + u"\\Parent\\Child")) << "a missing key is not created";
}

}  // namespace

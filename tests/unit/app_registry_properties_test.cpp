// Registry properties on small simulated machines: the location split, contents, access list,
// and deletions that touch exactly the named key or value.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/registry_properties.h"
#include "test_support.h"

namespace {

const std::u16string kZeroName(u"a\0b", 3);
const std::u16string kTest = u"HKLM\\SOFTWARE\\Test";
const std::u16string kNative = u"\\Registry\\Machine\\SOFTWARE\\Test";

const std::u16string kZeroKey(u"k\0x", 3);
const std::u16string kMissingZero(u"a\0c", 3);

std::vector<std::u16string> ValueNames(sim::Machine& m, const std::u16string& nativePath) {
  std::vector<std::u16string> out;
  if (const sim::RegKey* k = m.FindKey(nativePath))
    for (const auto& v : k->values) out.push_back(v.name);
  return out;
}
std::vector<std::u16string> SubkeyNames(sim::Machine& m, const std::u16string& nativePath) {
  std::vector<std::u16string> out;
  if (const sim::RegKey* k = m.FindKey(nativePath))
    for (const auto& s : k->subkeys) out.push_back(s->name);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(RegistryLocation, SplitsRootPathAndName) {
  sim::MachineBuilder b;
  testing_support::SimMachineFixture fx(b);
  struct Case {
    std::u16string location;
    bool parsed;
    std::string root;
    platform::HKEY rootKey;
    std::u16string keyPath, item;
  } cases[] = {
      {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Sub", true, "HKEY_LOCAL_MACHINE", platform::HKEY_LOCAL_MACHINE,
       u"\\SOFTWARE\\Test\\", u"Sub"},
      {u"HKEY_LOCAL_MACHINE\\Sub", true, "HKEY_LOCAL_MACHINE", platform::HKEY_LOCAL_MACHINE, u"\\", u"Sub"},
      {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\", true, "HKEY_LOCAL_MACHINE", platform::HKEY_LOCAL_MACHINE,
       u"\\SOFTWARE\\", u""},
      {u"HKEY_NOWHERE\\X\\Y", true, "HKEY_NOWHERE", 0, u"\\X\\", u"Y"},
      {u"HKEY_LOCAL_MACHINE\\T\\" + kZeroName, true, "HKEY_LOCAL_MACHINE", platform::HKEY_LOCAL_MACHINE,
       u"\\T\\", kZeroName},
      {u"HKEY_LOCAL_MACHINE", false, "", 0, u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.location.begin(), c.location.end()));
    const app::TRegistryLocation l = app::ParseRegistryLocation(c.location);
    EXPECT_EQ(l.Parsed, c.parsed);
    EXPECT_EQ(l.RootKeyName, c.root);
    EXPECT_EQ(l.RootKey, c.rootKey);
    EXPECT_EQ(l.KeyPath, c.keyPath);
    EXPECT_EQ(l.ItemName, c.item);
  }
}

// The same location as a key lists the key itself and shows its own access list; as a value it
// shows one row and the access list of the key holding it.
TEST(RegistryProperties, KeyAndValueShowDifferentKeys) {
  sim::MachineBuilder b;
  b.Key(kTest).sddl = "O:BAG:SYD:(A;;KR;;;BU)";
  b.Key(kTest + u"\\Sub").sddl = "O:BAG:SYD:(A;CI;KA;;;BA)";
  b.Key(kTest + u"\\Sub\\Inner");
  b.StringValue(kTest + u"\\Sub", kZeroName, u"z");
  testing_support::SimMachineFixture fx(b);
  const std::u16string location = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Sub";

  const app::TRegistryProperties key = app::LoadRegistryKeyProperties(location);
  EXPECT_FALSE(key.IsValue);
  EXPECT_TRUE(key.ContentsOpened);
  ASSERT_EQ(key.Contents.size(), 2u);
  EXPECT_TRUE(key.Contents[0].IsKey);
  EXPECT_EQ(key.Contents[0].Name, u"Inner");
  EXPECT_FALSE(key.Contents[1].IsKey);
  EXPECT_EQ(key.Contents[1].Name, kZeroName);
  ASSERT_EQ(key.Security.size(), 1u);
  EXPECT_EQ(key.Security[0].Text, "Administrators (BUILTIN)");
  EXPECT_EQ(key.Security[0].Image, 3);
  ASSERT_EQ(key.Security[0].Children.size(), 3u);  // type, flags, rights
  EXPECT_EQ(key.Security[0].Children[1].Text, "ACE Flags");
  EXPECT_EQ(key.Security[0].Children[1].Image, 0);
  ASSERT_EQ(key.Security[0].Children[1].Children.size(), 1u);
  EXPECT_EQ(key.Security[0].Children[1].Children[0].Text, "CONTAINER_INHERIT_ACE");
  EXPECT_EQ(key.Security[0].Children[1].Children[0].Image, 4);
  EXPECT_EQ(key.SecurityError, "");

  const app::TRegistryProperties value = app::LoadRegistryValueProperties(location);
  EXPECT_TRUE(value.IsValue);
  ASSERT_EQ(value.Contents.size(), 1u);
  EXPECT_FALSE(value.Contents[0].IsKey);
  EXPECT_EQ(value.Contents[0].Name, u"Sub");
  ASSERT_EQ(value.Security.size(), 1u);
  EXPECT_EQ(value.Security[0].Text, "Users (BUILTIN)");
}

TEST(RegistryProperties, FailuresLeaveTheirPartsEmpty) {
  sim::MachineBuilder b;
  b.Key(kTest + u"\\Sub").fail.security = true;
  b.Key(kTest + u"\\" + kZeroName);
  testing_support::SimMachineFixture fx(b);
  struct Case {
    const char* what;
    std::u16string location;
    bool opened;
    std::string securityError;
  } cases[] = {
      {"no backslash", u"HKEY_LOCAL_MACHINE", false, ""},
      {"missing key", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Missing", false,
       "jtGetRegistrySecurityString.OpenKeyReadOnly failed"},
      {"unreadable security", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Sub", true,
       "jtGetRegistrySecurityString.RegGetKeySecurity failed."},
      // Neither view is asked for a path that the zero character would cut short.
      {"zero character in the key's own name", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\" + kZeroName, false,
       "the key's path cannot be written in the system code page"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const app::TRegistryProperties p = app::LoadRegistryKeyProperties(c.location);
    EXPECT_EQ(p.ContentsOpened, c.opened);
    EXPECT_TRUE(p.Contents.empty());
    EXPECT_TRUE(p.Security.empty());
    EXPECT_EQ(p.SecurityError.substr(0, c.securityError.size()), c.securityError);
  }
}

struct DeleteCase {
  const char* what;
  std::u16string location;
  bool value;
  bool deleted;
  std::string message;
  // What must hold of the machine afterwards.
  std::function<void(sim::Machine&)> check;
};

TEST(RegistryDeletion, TouchesExactlyTheNamedObject) {
  const std::u16string t = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\";
  const DeleteCase cases[] = {
      {"value with a zero character", t + kZeroName, true, true, "",
       [](sim::Machine& m) {
         EXPECT_EQ(ValueNames(m, kNative), (std::vector<std::u16string>{u"", u"a", u"b"}));
       }},
      {"the value a beside it", t + u"a", true, true, "",
       [](sim::Machine& m) {
         EXPECT_EQ(ValueNames(m, kNative), (std::vector<std::u16string>{u"", kZeroName, u"b"}));
       }},
      {"the default value, named by the closing backslash", t, true, true, "",
       [](sim::Machine& m) {
         EXPECT_EQ(ValueNames(m, kNative), (std::vector<std::u16string>{kZeroName, u"a", u"b"}));
       }},
      {"missing value", t + kMissingZero, true, false, "no such value in the native view",
       [](sim::Machine& m) { EXPECT_EQ(ValueNames(m, kNative).size(), 4u); }},
      {"value of a missing key", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Nowhere\\a", true, false,
       "the key does not exist",
       [](sim::Machine& m) { EXPECT_EQ(m.FindKey(u"\\Registry\\Machine\\SOFTWARE\\Nowhere"), nullptr); }},
      {"childless key", t + u"Leaf", false, true, "",
       [](sim::Machine& m) {
         EXPECT_EQ(SubkeyNames(m, kNative), (std::vector<std::u16string>{u"Parent", u"k", kZeroKey}));
       }},
      {"key with subkeys is left whole", t + u"Parent", false, false,
       "it holds 1 subkey; only a key without subkeys is deleted",
       [](sim::Machine& m) {
         EXPECT_EQ(SubkeyNames(m, kNative + u"\\Parent"), (std::vector<std::u16string>{u"Child"}));
       }},
      {"missing key is not created", t + u"Missing", false, false, "the key does not exist",
       [](sim::Machine& m) { EXPECT_EQ(m.FindKey(kNative + u"\\Missing"), nullptr); }},
      {"missing parent is not created", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Nowhere\\Sub", false, false,
       "the key does not exist",
       [](sim::Machine& m) { EXPECT_EQ(m.FindKey(u"\\Registry\\Machine\\SOFTWARE\\Nowhere"), nullptr); }},
      {"a closing backslash names no key, not the parent", t + u"Parent\\Child\\", false, false,
       "the location names no key (it ends with \\)",
       [](sim::Machine& m) { EXPECT_NE(m.FindKey(kNative + u"\\Parent\\Child"), nullptr); }},
      {"a zero character in the key name", t + kZeroKey, false, false,
       "a key path holding a zero character is not opened",
       [](sim::Machine& m) {
         EXPECT_NE(m.FindKey(kNative + u"\\k"), nullptr);
         EXPECT_NE(m.FindKey(kNative + u"\\" + kZeroKey), nullptr);
       }},
      {"a root the native view does not reach", u"HKEY_CLASSES_ROOT\\Test\\Leaf", false, false,
       "the native view reaches HKEY_LOCAL_MACHINE, HKEY_USERS and HKEY_CURRENT_USER only",
       [](sim::Machine& m) { EXPECT_NE(m.FindKey(kNative + u"\\Leaf"), nullptr); }},
      {"no backslash at all", u"HKEY_LOCAL_MACHINE", false, false,
       "not a registry location (no \\ after the root key)", [](sim::Machine&) {}},
  };
  for (const DeleteCase& c : cases) {
    SCOPED_TRACE(c.what);
    sim::MachineBuilder b;
    b.StringValue(kTest, u"", u"default");
    b.StringValue(kTest, kZeroName, u"zero");
    b.StringValue(kTest, u"a", u"plain");
    b.StringValue(kTest, u"b", u"other");
    b.Key(kTest + u"\\Leaf");
    b.Key(kTest + u"\\k");
    b.Key(kTest + u"\\" + kZeroKey);
    b.Key(kTest + u"\\Parent\\Child");
    testing_support::SimMachineFixture fx(b);
    const app::TRegistryLocation l = app::ParseRegistryLocation(c.location);
    const app::TRegistryDeletion r = c.value ? app::DeleteRegistryValue(l) : app::DeleteRegistryKey(l);
    EXPECT_EQ(r.Deleted, c.deleted);
    EXPECT_EQ(r.Message, c.message);
    c.check(fx.machine());
  }
}

}  // namespace

// The hidden-registry indicator and the native key listing on small simulated machines.
#include <gtest/gtest.h>

#include <array>
#include <map>

#include "engine/registry_indicator.h"
#include "registry/nt_registry.h"
#include "test_support.h"
#include "tests/unit/sim_with_ntdll.h"

namespace {

const std::u16string kZeroName(u"a\0b", 3);
const std::u16string kKey = u"HKLM\\SOFTWARE\\Test";
const char* kParams = "description=t,rootkey=HKEY_LOCAL_MACHINE,keypath=\\SOFTWARE\\Test\\";

struct Case {
  const char* what;
  void (*setup)(sim::MachineBuilder&);
  const char* params;
  std::vector<std::string> results;
  std::vector<std::int32_t> kinds;
  std::uint8_t state;
};

const Case kCases[] = {
    {"hidden value",
     [](sim::MachineBuilder& b) { b.StringValue(kKey, u"ghost", u"x").hidden = true; },
     kParams,
     {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\ghost"},
     {5},
     1},
    {"hidden key",
     [](sim::MachineBuilder& b) { b.Key(kKey + u"\\Sub").hidden = true; },
     kParams,
     {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Sub"},
     {4},
     1},
    {"case differs only",
     [](sim::MachineBuilder& b) {
       b.Key(kKey + u"\\MiXed").win32Name = u"mIxED";
       b.StringValue(kKey, u"", u"d");
       b.StringValue(kKey, u"Run\u00C9", u"v").win32Name = u"rUN\u00E9";
     },
     kParams,
     {},
     {},
     2},
    {"long names both views list",
     [](sim::MachineBuilder& b) {
       b.Key(kKey + u"\\" + std::u16string(300, u'K'));
       b.StringValue(kKey, std::u16string(300, u'V'), u"x");
       b.StringValue(kKey, std::u16string(16383, u'W'), u"y");
     },
     kParams,
     {},
     {},
     2},
    {"lower-case root name",
     [](sim::MachineBuilder& b) { b.StringValue(kKey, u"ghost", u"x").hidden = true; },
     "description=t,rootkey=hklm,keypath=\\SOFTWARE\\Test\\",
     {},
     {},
     2},
    {"failed Win32 open",
     [](sim::MachineBuilder& b) {
       b.StringValue(kKey, u"ghost", u"x").hidden = true;
       b.Key(kKey).fail.win32Open = true;
     },
     kParams,
     {},
     {},
     2},
    {"Win32 listing breaks off: nothing is taken for hidden",
     [](sim::MachineBuilder& b) {
       b.StringValue(kKey, u"v", u"x");
       b.Key(kKey + u"\\Sub");
       b.Key(kKey).fail.win32List = true;
     },
     kParams,
     {},
     {},
     2},
    {"failed native open",
     [](sim::MachineBuilder& b) {
       b.StringValue(kKey, u"ghost", u"x").hidden = true;
       b.Key(kKey).fail.nativeOpen = true;
     },
     kParams,
     {},
     {},
     2},
};

TEST(RegistryIndicator, ComparisonRules) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    sim::MachineBuilder b;
    b.Key(kKey);
    c.setup(b);
    testing_support::SimMachineFixture fx(b);
    engine::TRootKitIndicatorRegistry indicator(c.params);
    indicator.RunTest();
    EXPECT_EQ(indicator.Results(), c.results);
    EXPECT_EQ(indicator.ResultKinds(), c.kinds);
    EXPECT_EQ(indicator.State(), c.state);
    if (c.results.empty()) {
      EXPECT_EQ(indicator.ResultText(), "No hidden entries detected.");
    }
  }
}

TEST(RegistryIndicator, ZeroCharacterNamesAreReportedEvenWhenWin32ListsThem) {
  sim::MachineBuilder b;
  b.Key(kKey + u"\\" + kZeroName);
  b.StringValue(kKey, kZeroName, u"z");
  b.StringValue(kKey, u"ghost", u"x").hidden = true;
  testing_support::SimMachineFixture fx(b);
  engine::TRootKitIndicatorRegistry indicator(kParams);
  indicator.RunTest();
  EXPECT_EQ(indicator.State(), 1);
  EXPECT_EQ(indicator.ResultKinds(), (std::vector<std::int32_t>{4, 5, 5}));
}

TEST(NtRegistry, ListsFullCountedNamesAndRefusesZeroInPath) {
  sim::MachineBuilder b;
  b.StringValue(kKey, u"", u"d");
  b.StringValue(kKey, kZeroName, u"z");
  b.StringValue(kKey, u"a", u"plain");
  b.Key(kKey + u"\\" + kZeroName);
  testing_support::SimMachineFixture fx(b);
  registry::TNtRegistry reg;
  reg.RootKey = platform::HKEY_LOCAL_MACHINE;
  EXPECT_FALSE(reg.OpenKey(std::u16string(u"\\SOFTWARE\\Test\0x", 16)));
  ASSERT_TRUE(reg.OpenKey(u"\\SOFTWARE\\Test\\"));
  std::vector<std::u16string> names;
  reg.GetValueNames(names);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"", kZeroName, u"a"}));
  reg.GetKeyNames(names);
  EXPECT_EQ(names, (std::vector<std::u16string>{kZeroName}));
  EXPECT_EQ(reg.ReadString(u"a"), u"plain");
  EXPECT_TRUE(reg.DeleteValue(kZeroName));
  reg.GetValueNames(names);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"", u"a"}));

  registry::TNtRegistry other;
  other.RootKey = platform::HKEY_CLASSES_ROOT;
  EXPECT_FALSE(other.OpenKey(u"\\SOFTWARE\\Test\\"));
}

TEST(NtRegistry, CreateWriteAndDeleteKeys) {
  sim::MachineBuilder b;
  b.Key(kKey + u"\\Sub");
  b.Key(kKey + u"\\Parent\\Child");
  b.Key(u"HKLM\\SOFTWARE\\Other");
  testing_support::SimMachineFixture fx(b);
  auto exists = [](std::u16string_view path) {
    registry::TNtRegistry probe;
    probe.RootKey = platform::HKEY_LOCAL_MACHINE;
    return probe.OpenKey(path);
  };
  registry::TNtRegistry reg;
  reg.RootKey = platform::HKEY_LOCAL_MACHINE;

  // Writing through a name with a zero character stores it under the part before the zero.
  ASSERT_TRUE(reg.CreateKey(u"\\SOFTWARE\\Test\\New\\"));
  const std::array<std::byte, 4> dword{std::byte{7}};
  reg.WriteValue(std::u16string(u"n\0x", 3), platform::REG_DWORD, dword);
  EXPECT_EQ(reg.ReadInt64(u"n"), 7);
  EXPECT_FALSE(reg.CreateKey(u"\\SOFTWARE\\Missing\\Deeper"));  // only the last part is created
  EXPECT_FALSE(reg.CreateKey(std::u16string(u"\\SOFTWARE\\Te\0st", 14)));

  ASSERT_TRUE(reg.OpenKey(u"\\SOFTWARE\\Test\\"));
  EXPECT_TRUE(reg.DeleteKey(u"Sub"));  // relative to the current path
  EXPECT_FALSE(exists(u"\\SOFTWARE\\Test\\Sub"));
  reg.CurrentPath = u"\\SOFTWARE\\Test";
  EXPECT_TRUE(reg.DeleteKey(u"\\SOFTWARE\\Other"));  // from the root, current path aside
  EXPECT_FALSE(exists(u"\\SOFTWARE\\Other"));
  reg.CurrentPath = u"\\SOFTWARE\\Test";   // a delete leaves the deleted key's path as current
  EXPECT_FALSE(reg.DeleteKey(u"Parent"));  // still has a subkey
  EXPECT_TRUE(exists(u"\\SOFTWARE\\Test\\Parent\\Child"));
  reg.CurrentPath = u"\\SOFTWARE\\Test";
  EXPECT_TRUE(reg.DeleteKey(u"Ghost"));  // created and deleted again
  EXPECT_FALSE(exists(u"\\SOFTWARE\\Test\\Ghost"));
  EXPECT_EQ(reg.KeyHandle(), platform::kNullHandle);
}

TEST(NtRegistry, ALongNameDoesNotEndTheListing) {
  // Whatever followed a name too long for the usual record buffer would vanish from the native view.
  const std::u16string longName(1000, u'L');
  sim::MachineBuilder b;
  b.StringValue(kKey, longName, u"x");
  b.StringValue(kKey, u"after", u"y");
  b.Key(kKey + u"\\" + std::u16string(300, u'K'));
  b.Key(kKey + u"\\later");
  testing_support::SimMachineFixture fx(b);
  registry::TNtRegistry reg;
  reg.RootKey = platform::HKEY_LOCAL_MACHINE;
  ASSERT_TRUE(reg.OpenKey(u"\\SOFTWARE\\Test"));
  std::vector<std::u16string> names;
  reg.GetValueNames(names);
  EXPECT_EQ(names, (std::vector<std::u16string>{longName, u"after"}));
  reg.GetKeyNames(names);
  EXPECT_EQ(names, (std::vector<std::u16string>{std::u16string(300, u'K'), u"later"}));
}

// Whatever fails, no key stays open: neither the key opened before nor a handle of the failure.
TEST(NtRegistry, AFailedOpenLeavesNoKeyOpen) {
  struct Failure {
    const char* what;
    bool (*open)(registry::TNtRegistry&);
  };
  const Failure failures[] = {
      {"missing key", [](registry::TNtRegistry& r) { return r.OpenKey(u"\\SOFTWARE\\Missing"); }},
      {"zero character in the path",
       [](registry::TNtRegistry& r) { return r.OpenKey(std::u16string(u"\\SOFTWARE\\Test\0x", 16)); }},
      {"missing parent",
       [](registry::TNtRegistry& r) { return r.CreateKey(u"\\SOFTWARE\\Missing\\Deeper"); }},
      {"root without a native path",
       [](registry::TNtRegistry& r) {
         r.RootKey = platform::HKEY_CLASSES_ROOT;
         return r.OpenKey(u"\\SOFTWARE\\Test");
       }},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.what);
    sim::MachineBuilder b;
    b.StringValue(kKey, u"earlier", u"x");
    testing_support::SimMachineFixture fx(b);
    const std::size_t openBefore = fx.machine().handles.size();
    registry::TNtRegistry reg;
    reg.RootKey = platform::HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(reg.OpenKey(u"\\SOFTWARE\\Test"));
    EXPECT_FALSE(f.open(reg));
    EXPECT_EQ(reg.KeyHandle(), platform::kNullHandle);
    EXPECT_EQ(fx.machine().handles.size(), openBefore);
    std::vector<std::u16string> names;
    reg.GetValueNames(names);
    EXPECT_TRUE(names.empty());  // not the earlier key's values
    EXPECT_EQ(reg.ReadString(u"earlier"), u"");
  }
}

// Counts NtClose per handle and, when asked, fails it as for a handle protected from closing.
class CloseCountingNtdll : public testing_support::ForwardingNtdll {
 public:
  using ForwardingNtdll::ForwardingNtdll;
  std::map<platform::Handle, int> closes;
  bool failCloses = false;

  platform::NTSTATUS NtClose(platform::Handle handle) override {
    ++closes[handle];
    return failCloses ? platform::STATUS_INVALID_HANDLE : ForwardingNtdll::NtClose(handle);
  }
};

// A handle is closed once: by CloseKey (again a no-op) or the destructor, whether the close
// worked or not; a second NtClose could close whatever object got that value meanwhile.
TEST(NtRegistry, AKeyIsClosedExactlyOnce) {
  for (const bool closeFails : {false, true}) {
    SCOPED_TRACE(closeFails ? "the close fails" : "the close works");
    sim::MachineBuilder b;
    b.Key(kKey);
    testing_support::SimWithNtdll<CloseCountingNtdll> sim(b.Build());
    platform::Handle first = platform::kNullHandle, second = platform::kNullHandle;
    {
      registry::TNtRegistry reg;
      reg.RootKey = platform::HKEY_LOCAL_MACHINE;
      ASSERT_TRUE(reg.OpenKey(u"\\SOFTWARE\\Test"));
      first = reg.KeyHandle();
      sim.ntdll.failCloses = closeFails;
      reg.CloseKey();
      EXPECT_EQ(reg.KeyHandle(), platform::kNullHandle);
      reg.CloseKey();
      sim.ntdll.failCloses = false;
      ASSERT_TRUE(reg.OpenKey(u"\\SOFTWARE\\Test"));  // closed by the destructor
      second = reg.KeyHandle();
    }
    EXPECT_EQ(sim.ntdll.closes[first], 1);
    EXPECT_EQ(sim.ntdll.closes[second], 1);
  }
}

}  // namespace

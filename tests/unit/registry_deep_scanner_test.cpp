// The Deep Scan's registry walk on small simulated machines: findings, order, failures, stopping.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "base/utf.h"
#include "registry/deep_registry_rules.h"
#include "registry/deep_registry_scanner.h"
#include "registry/win32_registry.h"
#include "test_support.h"

namespace {

using registry::TRootKitScannerRegistry;

const std::u16string kT = u"HKLM\\SOFTWARE\\T";
const std::u16string kZero(u"a\0b", 3);
const std::u16string kZeroKey(u"k\0x", 3);

std::string Shown(std::u16string_view text) {
  std::string out;
  for (const char16_t c : text)
    out += c == u'\0' ? std::string("<NUL>") : base::Utf16ToUtf8(std::u16string(1, c));
  return out;
}

// What one walk reported, as readable lines.
struct TScan {
  std::vector<std::string> findings;  // "Key|Value ROOT\path\ [name] kind"
  std::vector<std::string> progress;  // "ROOT\path\"
  std::vector<std::string> verbose;   // caption, a line break, text
  int ends = 0;
  registry::TRegistryScanCounts counts;
};

void Connect(TRootKitScannerRegistry& scanner, TScan& out) {
  scanner.OnProgress.Set([&out](platform::HKEY root, std::u16string path) {
    out.progress.push_back(registry::RootKeyName(root) + Shown(path));
  });
  auto row = [&out](const char* type) {
    return [&out, type](platform::HKEY root, std::u16string path, std::string kind, std::u16string name) {
      out.findings.push_back(std::string(type) + " " + registry::RootKeyName(root) + Shown(path) + " [" +
                             Shown(name) + "] " + kind);
    };
  };
  scanner.OnKeyFinding.Set(row("Key"));
  scanner.OnValueFinding.Set(row("Value"));
  scanner.OnTerminate.Set([&out] { ++out.ends; });
  scanner.OnVerbose = [&out](const std::string& caption, const std::string& text) {
    out.verbose.push_back(caption + "\n" + text);
  };
}

// Walks `roots` on the installed machine with every report run at once on this thread.
TScan Scan(std::vector<std::string> roots = {"HKEY_LOCAL_MACHINE"},
           const std::function<void(TRootKitScannerRegistry&)>& prepare = {}) {
  TScan out;
  TRootKitScannerRegistry scanner(std::make_shared<base::TDirectSynchronizer>());
  scanner.RootKeys = std::move(roots);
  Connect(scanner, out);
  if (prepare) prepare(scanner);
  scanner.Execute();
  out.counts = scanner.Counts();
  return out;
}

std::vector<std::string> ScanFindings(sim::MachineBuilder& b) {
  testing_support::SimMachineFixture fx(b);
  return Scan().findings;
}

struct TCase {
  const char* what;
  void (*setup)(sim::MachineBuilder&);
  std::vector<std::string> findings;
};

const TCase kFindingCases[] = {
    {"a value the Win32 listing does not return",
     [](sim::MachineBuilder& b) {
       b.StringValue(kT, u"plain", u"x");
       b.StringValue(kT, u"ghost", u"x").hidden = true;
     },
     {R"(Value HKEY_LOCAL_MACHINE\SOFTWARE\T\ [ghost] Invisible to Win32)"}},
    {"a zero character in a value name: the Win32 listing cannot return it",
     [](sim::MachineBuilder& b) { b.StringValue(kT, kZero, u"x"); },
     {R"(Value HKEY_LOCAL_MACHINE\SOFTWARE\T\ [a<NUL>b] Zero char in value name)",
      R"(Value HKEY_LOCAL_MACHINE\SOFTWARE\T\ [a<NUL>b] Invisible to Win32)"}},
    {"a zero character in a key name; its subtree is not walked (no native open)",
     [](sim::MachineBuilder& b) {
       b.Key(kT + u"\\k");  // what the Win32 side opens when the path is cut at the zero
       b.StringValue(kT + u"\\" + kZeroKey + u"\\deep", u"ghost", u"x").hidden = true;
     },
     {R"(Key HKEY_LOCAL_MACHINE\SOFTWARE\T\ [k<NUL>x] Zero char in key name)",
      R"(Key HKEY_LOCAL_MACHINE\SOFTWARE\T\ [k<NUL>x] Invisible to Win32)"}},
    {"a key the Win32 side cannot open: skipped silently with its subtree",
     [](sim::MachineBuilder& b) {
       b.StringValue(kT + u"\\Locked", u"ghost", u"x").hidden = true;
       b.StringValue(kT + u"\\Locked\\Below", u"ghost", u"x").hidden = true;
       b.Key(kT + u"\\Locked").fail.win32Open = true;
     },
     {}},
    {"a key that does not open natively: not compared, not walked",
     [](sim::MachineBuilder& b) {
       b.StringValue(kT + u"\\Native", u"ghost", u"x").hidden = true;
       b.StringValue(kT + u"\\Native\\Below", u"ghost", u"x").hidden = true;
       b.Key(kT + u"\\Native").fail.nativeOpen = true;
     },
     {}},
    {"a Win32 listing that breaks off: could not open, nothing taken for hidden",
     [](sim::MachineBuilder& b) {
       b.Key(kT + u"\\Broken\\one");
       b.Key(kT + u"\\Broken\\two");
       b.StringValue(kT + u"\\Broken", u"v", u"x");
       b.StringValue(kT + u"\\Broken\\one", u"ghost", u"x").hidden = true;
       b.Key(kT + u"\\Broken").fail.win32List = true;
     },
     {R"(Key HKEY_LOCAL_MACHINE\SOFTWARE\T\Broken\ [] Could not open key)"}},
    {"depth first, the last subkey first, values before subkeys",
     [](sim::MachineBuilder& b) {
       b.StringValue(kT, u"v1", u"x").hidden = true;
       b.StringValue(kT, u"v2", u"x").hidden = true;
       b.Key(kT + u"\\A").hidden = true;
       b.Key(kT + u"\\B").hidden = true;
       b.StringValue(kT + u"\\A", u"inA", u"x").hidden = true;
       b.StringValue(kT + u"\\B", u"inB", u"x").hidden = true;
       b.StringValue(kT + u"\\B\\C", u"inC", u"x").hidden = true;
     },
     {R"(Value HKEY_LOCAL_MACHINE\SOFTWARE\T\ [v1] Invisible to Win32)",
      R"(Value HKEY_LOCAL_MACHINE\SOFTWARE\T\ [v2] Invisible to Win32)",
      R"(Key HKEY_LOCAL_MACHINE\SOFTWARE\T\ [A] Invisible to Win32)",
      R"(Key HKEY_LOCAL_MACHINE\SOFTWARE\T\ [B] Invisible to Win32)",
      R"(Value HKEY_LOCAL_MACHINE\SOFTWARE\T\B\ [inB] Invisible to Win32)",
      R"(Value HKEY_LOCAL_MACHINE\SOFTWARE\T\B\C\ [inC] Invisible to Win32)",
      R"(Value HKEY_LOCAL_MACHINE\SOFTWARE\T\A\ [inA] Invisible to Win32)"}},
    {"a key named outside the code page is opened by its own name, not by a look-alike",
     [](sim::MachineBuilder& b) {
       const std::u16string cyrillic = u"\u041A\u043B\u044E\u0447";
       b.StringValue(kT + u"\\" + cyrillic, u"seen", u"x");
       b.StringValue(kT + u"\\" + cyrillic, u"ghost", u"x").hidden = true;
       b.StringValue(kT + u"\\????", u"other", u"x");  // what "?"s in the 8-bit path would open
     },
     {"Value HKEY_LOCAL_MACHINE\\SOFTWARE\\T\\\u041A\u043B\u044E\u0447\\ [ghost] Invisible to Win32"}},
    {"names that differ in letter case only, and long names, are no findings",
     [](sim::MachineBuilder& b) {
       b.Key(kT + u"\\MiXed").win32Name = u"mIxED";
       b.StringValue(kT, u"Run\u00C9", u"v").win32Name = u"rUN\u00E9";
       b.Key(kT + u"\\" + std::u16string(255, u'K'));
       b.StringValue(kT, std::u16string(16383, u'V'), u"x");
     },
     {}},
};

TEST(RegistryDeepScanner, FindingsOfTheWalk) {
  for (const TCase& c : kFindingCases) {
    SCOPED_TRACE(c.what);
    sim::MachineBuilder b;
    b.Key(kT);
    c.setup(b);
    EXPECT_EQ(ScanFindings(b), c.findings);
  }
}

// The access rule on real descriptors, read through the Win32 registry.
TEST(RegistryDeepScanner, NoAdminInAcl) {
  struct AclCase {
    const char* what;
    const char16_t* key;
    const char* sddl;
    bool unreadable;
    bool finding;
  };
  const AclCase cases[] = {
      {"SYSTEM only", u"HKLM\\SOFTWARE\\T\\K", "O:SYG:SYD:(A;;KA;;;SY)", false, true},
      {"and administrators may read", u"HKLM\\SOFTWARE\\T\\K", "O:SYG:SYD:(A;;KA;;;SY)(A;;KR;;;BA)", false,
       false},
      {"administrators denied", u"HKLM\\SOFTWARE\\T\\K", "O:SYG:SYD:(A;;KA;;;SY)(D;;KA;;;BA)", false, false},
      {"Everyone may list (CC LC SW)", u"HKLM\\SOFTWARE\\T\\K", "O:SYG:SYD:(A;;KA;;;SY)(A;;CCLCSW;;;WD)",
       false, false},
      {"Everyone C L C: no listing right", u"HKLM\\SOFTWARE\\T\\K", "O:SYG:SYD:(A;;KA;;;SY)(A;;CLC;;;WD)",
       false, true},
      {"empty access list", u"HKLM\\SOFTWARE\\T\\K", "O:SYG:SYD:", false, false},
      {"unreadable descriptor", u"HKLM\\SOFTWARE\\T\\K", "O:SYG:SYD:(A;;KA;;;SY)", true, false},
      {"exempt by pattern", u"HKLM\\SYSTEM\\ControlSet002\\Services\\RpcSs", "O:SYG:SYD:(A;;KA;;;SY)", false,
       false},
      {"exempt by pattern, any letter case", u"HKLM\\system\\controlset002\\services\\rpcss",
       "O:SYG:SYD:(A;;KA;;;SY)", false, false},
      {"exact names count letter case", u"HKLM\\system\\currentcontrolset\\services\\rpcss",
       "O:SYG:SYD:(A;;KA;;;SY)", false, true},
      {"exact name", u"HKLM\\SYSTEM\\CurrentControlSet\\Services\\RpcSs", "O:SYG:SYD:(A;;KA;;;SY)", false,
       false},
      {"exempt only under HKEY_LOCAL_MACHINE", u"HKU\\SYSTEM\\ControlSet002\\Services\\RpcSs",
       "O:SYG:SYD:(A;;KA;;;SY)", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::MachineBuilder b;
    sim::RegKey& key = b.Key(c.key);
    key.sddl = c.sddl;
    key.fail.security = c.unreadable;
    testing_support::SimMachineFixture fx(b);
    const auto scan = Scan({"HKEY_LOCAL_MACHINE", "HKEY_USERS"});
    const std::u16string_view full(c.key);
    const std::size_t last = full.rfind(u'\\');
    const std::string want = std::string("Key ") +
                             (full.starts_with(u"HKU") ? "HKEY_USERS" : "HKEY_LOCAL_MACHINE") +
                             Shown(full.substr(full.find(u'\\'), last - full.find(u'\\') + 1)) + " [" +
                             Shown(full.substr(last + 1)) + "] No admin in ACL";
    EXPECT_EQ(scan.findings, c.finding ? std::vector<std::string>{want} : std::vector<std::string>{});
  }
}

// The rule over split entries, the user's SID included (the machine's own account look-up aside).
TEST(RegistryDeepScanner, AccessRuleOverEntries) {
  const std::string user = "S-1-5-21-7-8-9-1001";
  struct RuleCase {
    const char* what;
    std::vector<std::pair<std::string, std::string>> entries;  // rights, account
    std::string userSid;
    bool lacksAdmin;
  };
  const RuleCase cases[] = {
      {"no entries", {}, user, false},
      {"SYSTEM only", {{"KA", "SY"}}, user, true},
      {"domain administrators", {{"KA", "SY"}, {"", "DA"}}, user, false},
      {"local administrator", {{"KA", "SY"}, {"KW", "LA"}}, user, false},
      {"Everyone full access", {{"KA", "SY"}, {"KA", "WD"}}, user, false},
      {"Everyone generic all", {{"GA", "WD"}}, user, false},
      {"Everyone read as a number", {{"0x1200a9", "WD"}}, user, false},
      {"Everyone write only", {{"KW", "WD"}}, user, true},
      {"Everyone LC at position 1", {{"LCRP", "WD"}}, user, false},
      {"Everyone LC at position 2", {{"CLC", "WD"}}, user, true},
      {"the user may read", {{"KA", "SY"}, {"KR", user}}, user, false},
      {"another user may read", {{"KA", "SY"}, {"KR", "S-1-5-21-7-8-9-1002"}}, user, true},
      {"unknown user SID: only Everyone counts", {{"KA", "SY"}, {"KR", ""}}, "", true},
      {"built-in users read", {{"KA", "SY"}, {"KR", "BU"}}, user, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<base::TAceFields> entries;
    for (const auto& [rights, account] : c.entries) {
      base::TAceFields e;
      e.Type = "A";
      e.Rights = rights;
      e.Account = account;
      entries.push_back(e);
    }
    EXPECT_EQ(registry::AclLacksAdmin(entries, c.userSid), c.lacksAdmin);
  }
}

TEST(RegistryDeepScanner, ExemptKeys) {
  using registry::IsAclExemptKey;
  const auto hklm = platform::HKEY_LOCAL_MACHINE;
  EXPECT_TRUE(IsAclExemptKey(hklm, "\\SYSTEM\\CurrentControlSet\\Services\\DcomLaunch"));
  EXPECT_FALSE(IsAclExemptKey(hklm, "\\SYSTEM\\CurrentControlSet\\Services\\dcomlaunch"));
  EXPECT_TRUE(IsAclExemptKey(hklm, "\\system\\controlset001\\services\\dcomlaunch"));
  EXPECT_FALSE(IsAclExemptKey(hklm, "\\SYSTEM\\ControlSet01\\Services\\DcomLaunch"));  // ? is one character
  EXPECT_FALSE(IsAclExemptKey(hklm, "\\SYSTEM\\ControlSet0001\\Services\\DcomLaunch"));
  EXPECT_TRUE(IsAclExemptKey(hklm, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\HotStart"));
  EXPECT_TRUE(IsAclExemptKey(hklm, "\\SOFTWARE\\Microsoft\\Security Center\\Svc"));
  EXPECT_TRUE(IsAclExemptKey(
      hklm, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Applets\\SysTray\\BattMeter\\Flyout"));
  EXPECT_FALSE(IsAclExemptKey(hklm, "\\SOFTWARE\\Microsoft\\Security Center\\Svc\\Sub"));
  EXPECT_FALSE(IsAclExemptKey(platform::HKEY_USERS, "\\SOFTWARE\\Microsoft\\Security Center\\Svc"));
}

TEST(RegistryDeepScanner, ProgressOrderAndCounts) {
  sim::MachineBuilder b;
  b.Key(kT + u"\\A");
  b.Key(kT + u"\\B\\C");
  b.StringValue(kT, u"ghost", u"x").hidden = true;
  testing_support::SimMachineFixture fx(b);
  const auto scan = Scan();
  EXPECT_EQ(scan.progress,
            (std::vector<std::string>{
                R"(HKEY_LOCAL_MACHINE\)", R"(HKEY_LOCAL_MACHINE\SOFTWARE\)",
                R"(HKEY_LOCAL_MACHINE\SOFTWARE\T\)", R"(HKEY_LOCAL_MACHINE\SOFTWARE\T\B\)",
                R"(HKEY_LOCAL_MACHINE\SOFTWARE\T\B\C\)", R"(HKEY_LOCAL_MACHINE\SOFTWARE\T\A\)"}));
  EXPECT_EQ(scan.counts.keys, 6u);
  EXPECT_EQ(scan.counts.findings, 1u);
  EXPECT_EQ(scan.counts.recheckDrops, 0u);
  EXPECT_EQ(scan.ends, 1);
}

// Stopping: the key being examined is finished, the next one is not taken; a scanner told to
// stop before it runs reports only its end.
TEST(RegistryDeepScanner, TerminationBetweenKeys) {
  sim::MachineBuilder b;
  b.StringValue(kT + u"\\A", u"ghost", u"x").hidden = true;
  b.StringValue(kT + u"\\B", u"ghost", u"x").hidden = true;
  testing_support::SimMachineFixture fx(b);

  TRootKitScannerRegistry* running = nullptr;
  const auto scan = Scan({"HKEY_LOCAL_MACHINE", "HKEY_USERS"}, [&](TRootKitScannerRegistry& s) {
    running = &s;
    s.OnProgress.Set([&](platform::HKEY, std::u16string path) {
      if (path == u"\\SOFTWARE\\T\\B\\") running->Terminate();
    });
  });
  EXPECT_EQ(
      scan.findings,
      (std::vector<std::string>{R"(Value HKEY_LOCAL_MACHINE\SOFTWARE\T\B\ [ghost] Invisible to Win32)"}));
  EXPECT_EQ(scan.counts.keys, 4u);
  EXPECT_EQ(scan.ends, 1);

  const auto early = Scan({"HKEY_LOCAL_MACHINE"}, [](TRootKitScannerRegistry& s) { s.Terminate(); });
  EXPECT_TRUE(early.progress.empty());
  EXPECT_TRUE(early.findings.empty());
  EXPECT_EQ(early.counts.keys, 0u);
  EXPECT_EQ(early.ends, 1);
}

TEST(RegistryDeepScanner, HivesByName) {
  sim::MachineBuilder b;
  b.StringValue(u"HKU\\S-1-5-21-1-2-3-1000\\Software\\X", u"ghost", u"x").hidden = true;
  b.StringValue(kT, u"ghost", u"x").hidden = true;
  testing_support::SimMachineFixture fx(b);
  // The users' hive is walked natively below \Registry\User, not just its root.
  EXPECT_EQ(Scan({"HKUS"}).findings,
            (std::vector<std::string>{
                R"(Value HKEY_USERS\S-1-5-21-1-2-3-1000\Software\X\ [ghost] Invisible to Win32)"}));
  EXPECT_EQ(Scan({"HKLM"}).findings.size(), 1u);
  // Names outside the table (letter case counts) give root 0: one key taken, nothing opens.
  for (const char* unknown : {"HKEY_NOWHERE", "hklm"}) {
    SCOPED_TRACE(unknown);
    const auto scan = Scan({unknown});
    EXPECT_TRUE(scan.findings.empty());
    EXPECT_EQ(scan.progress, std::vector<std::string>{"0\\"});
    EXPECT_EQ(scan.ends, 1);
  }
}

// Outside the NT family there is no native view: the walk follows the Win32 subkeys and
// reports progress only.
TEST(RegistryDeepScanner, WithoutTheNativeLayer) {
  sim::MachineBuilder b;
  b.machine().system.major = 4;
  b.machine().system.minor = 10;
  b.machine().system.build = 2222;
  b.StringValue(kT, u"ghost", u"x").hidden = true;
  b.StringValue(kT + u"\\Hidden\\Below", u"v", u"x");
  b.Key(kT + u"\\Hidden").hidden = true;
  b.Key(kT + u"\\Shown");
  testing_support::SimMachineFixture fx(b);
  const auto scan =
      Scan({"HKEY_LOCAL_MACHINE"}, [](TRootKitScannerRegistry& s) { EXPECT_FALSE(s.NativeCompare); });
  EXPECT_TRUE(scan.findings.empty());
  EXPECT_EQ(scan.progress.back(), R"(HKEY_LOCAL_MACHINE\SOFTWARE\T\Shown\)");
  EXPECT_EQ(scan.progress.size(), 4u);
}

TEST(RegistryDeepScanner, VerboseSwitchAndText) {
  struct SwitchCase {
    std::vector<std::u16string> commandLine;
    bool verbose;
  };
  const SwitchCase switches[] = {
      {{u"umbrascope.exe", u"/VERBOSE"}, true},
      {{u"umbrascope.exe", u"-Verbose"}, true},
      {{u"umbrascope.exe", u"verbose"}, false},
      {{u"umbrascope.exe", u"-verbosely"}, false},
      {{u"-verbose"}, false},  // the program's own name is no switch
  };
  for (const auto& c : switches) {
    SCOPED_TRACE(Shown(c.commandLine.back()));
    sim::MachineBuilder b;
    b.machine().system.commandLine = c.commandLine;
    b.StringValue(kT, u"plain", u"x");
    b.StringValue(kT, u"ghost", u"x").hidden = true;
    b.Key(kT + u"\\Sub").hidden = true;
    b.Key(kT + u"\\Seen");
    testing_support::SimMachineFixture fx(b);
    const auto scan = Scan();
    if (!c.verbose) {
      EXPECT_TRUE(scan.verbose.empty());
      continue;
    }
    EXPECT_EQ(
        scan.verbose,
        (std::vector<std::string>{
            "Umbrascope verbose\n\\SOFTWARE\\T\\\r\n\r\nNative value list:\r\nplain\r\nghost\r\n\r\n\r\n"
            "Win32 value list:\r\nplain\r\n",
            "Umbrascope verbose\n\\SOFTWARE\\T\\\r\n\r\nNative key list:\r\nSeen\r\nSub\r\n\r\n\r\n"
            "Win32 key list:\r\nSeen\r\n"}));
  }
}

// A value created between the Win32 and the native listing of its key is seen by the second
// Win32 listing: no finding, one drop. One removed meanwhile is gone from the second native
// listing: no finding either.
TEST(RegistryDeepScanner, SecondLookDropsWhatChangedMeanwhile) {
  sim::MachineBuilder b;
  b.StringValue(kT, u"plain", u"x");
  b.StringValue(kT, u"ghost", u"x").hidden = true;
  b.StringValue(kT, u"going", u"x").hidden = true;
  b.Key(kT + u"\\Sub");
  testing_support::SimMachineFixture fx(b);
  int opens = 0;
  fx.machine().onNativeKeyOpen = [&](sim::Machine& m, std::u16string_view path) {
    if (path != u"\\Registry\\Machine\\SOFTWARE\\T\\") return;
    sim::RegKey* t = m.FindKey(path);
    if (++opens == 1) {
      t->values.push_back(sim::RegValue{u"late", 1, {'x', 0, 0, 0}, false});
      auto late = std::make_unique<sim::RegKey>();
      late->name = u"LateKey";
      t->AddSubkey(std::move(late));
    } else if (opens == 2) {
      t->values.erase(t->values.begin() + 2);  // "going"
    }
  };
  const auto scan = Scan();
  EXPECT_EQ(opens, 2) << "one second look at the key";
  EXPECT_EQ(scan.findings,
            (std::vector<std::string>{R"(Value HKEY_LOCAL_MACHINE\SOFTWARE\T\ [ghost] Invisible to Win32)"}));
  EXPECT_EQ(scan.counts.recheckDrops, 3u);
  EXPECT_EQ(scan.counts.findings, 1u);
}

// A key without candidates is listed once per side.
TEST(RegistryDeepScanner, NoSecondLookWithoutCandidates) {
  sim::MachineBuilder b;
  b.StringValue(kT, u"plain", u"x");
  testing_support::SimMachineFixture fx(b);
  int opens = 0;
  fx.machine().onNativeKeyOpen = [&](sim::Machine&, std::u16string_view) { ++opens; };
  const auto scan = Scan();
  EXPECT_EQ(opens, 3);  // \, \SOFTWARE\, \SOFTWARE\T\ once each
}

// The owner side of a console program: reports wait in a mailbox that this thread drains.
class TMailbox final : public base::TSynchronizer {
 public:
  void Synchronize(const std::function<void()>& call) override {
    std::unique_lock lock(mutex_);
    const std::uint64_t ticket = ++posted_;
    calls_.push_back(&call);
    changed_.notify_all();
    changed_.wait(lock, [&] { return done_ >= ticket; });
  }
  // Runs calls until `finished` says so.
  void Drain(const std::function<bool()>& finished) {
    std::unique_lock lock(mutex_);
    while (!finished()) {
      changed_.wait(lock, [&] { return !calls_.empty(); });
      const auto* call = calls_.front();
      calls_.pop_front();
      lock.unlock();
      (*call)();
      lock.lock();
      ++done_;
      changed_.notify_all();
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<const std::function<void()>*> calls_;
  std::uint64_t posted_ = 0, done_ = 0;
};

TEST(RegistryDeepScanner, RunsOnItsOwnThreadAndReportsThroughTheOwner) {
  sim::MachineBuilder b;
  b.StringValue(kT + u"\\A", u"ghost", u"x").hidden = true;
  b.Key(kT + u"\\B").hidden = true;
  testing_support::SimMachineFixture fx(b);
  auto mailbox = std::make_shared<TMailbox>();
  TRootKitScannerRegistry scanner(mailbox);
  scanner.RootKeys = {"HKEY_LOCAL_MACHINE"};
  TScan out;
  Connect(scanner, out);
  const auto owner = std::this_thread::get_id();
  bool onOwner = true;
  scanner.OnKeyFinding.Set([&](platform::HKEY, std::u16string, std::string kind, std::u16string name) {
    onOwner = onOwner && std::this_thread::get_id() == owner;
    out.findings.push_back(kind + " " + Shown(name));
  });
  std::thread worker([&] { scanner.Execute(); });
  mailbox->Drain([&] { return out.ends > 0; });
  worker.join();
  EXPECT_TRUE(onOwner);
  EXPECT_EQ(out.findings, (std::vector<std::string>{
                              "Invisible to Win32 B",
                              R"(Value HKEY_LOCAL_MACHINE\SOFTWARE\T\A\ [ghost] Invisible to Win32)"}));
  EXPECT_EQ(scanner.Counts().keys, 5u);
}

}  // namespace

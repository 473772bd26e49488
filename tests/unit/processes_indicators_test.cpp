// The invisible-process indicators and the process-name helpers they use.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "engine/indicator.h"
#include "engine/process_indicators.h"
#include "processes/process_names.h"
#include "test_support.h"

namespace {

using engine::TRootKitIndicatorHandleProcesses;
using engine::TRootKitIndicatorThreadProcesses;

// The idle process 0, System 4 and a program 500; the hidden ones are added by the tests.
sim::MachineBuilder Machine() {
  sim::MachineBuilder b;
  b.AddProcess(0, u"System Idle Process").openable = false;
  b.AddProcess(4, u"System");
  b.AddProcess(500, u"explorer.exe", u"C:\\WINDOWS\\explorer.exe");
  return b;
}

sim::Process& Hidden(sim::MachineBuilder& b, std::uint32_t pid, std::u16string_view path) {
  auto& p = b.AddProcess(pid, u"evil.exe", path);
  p.hidden = true;
  p.handles.push_back({0x8, 9, 0x1F0003, 0, u"", false});
  return p;
}

TEST(ProcessIndicators, HandleOwnersThatAreListedGiveNoFinding) {
  auto b = Machine();
  auto& sys = b.machine().processes[1];
  for (std::uint32_t h : {4u, 8u, 12u}) sys.handles.push_back({h, 9, 0, 0, u"", false});
  b.machine().processes[2].handles.push_back({4, 9, 0, 0, u"", false});
  testing_support::SimMachineFixture fx(b);
  TRootKitIndicatorHandleProcesses ind("description=x");
  ind.RunTest();
  EXPECT_EQ(ind.State(), engine::kStateNothingFound);
  EXPECT_TRUE(ind.Results().empty());
  // Owners 4 and 500 against a list of 0 ("[System]"), 4 and 500.
  EXPECT_EQ(ind.DetailsText(), "2 handle process IDs for 3 processes.");
  EXPECT_EQ(ind.ResultText(), "No hidden processes detected.");
}

TEST(ProcessIndicators, ThreadOwnerMissingFromTheListIsNamedByItsImage) {
  auto b = Machine();
  Hidden(b, 1234, u"C:\\x\\evil.exe");
  testing_support::SimMachineFixture fx(b);
  TRootKitIndicatorThreadProcesses ind("description=x");
  ind.RunTest();
  EXPECT_EQ(ind.State(), engine::kStateFound);
  ASSERT_EQ(ind.Results(), std::vector<std::string>{"1234: evil.exe"});
  EXPECT_EQ(ind.ResultKind(0), engine::kKindProcess);
  EXPECT_EQ(ind.ResultText(), "Hidden processes: 1234");
  EXPECT_EQ(ind.DetailsText(), "4 thread process IDs for 3 processes.");
}

TEST(ProcessIndicators, SeparatorsDifferBetweenTheTwoIndicators) {
  auto b = Machine();
  Hidden(b, 1234, u"C:\\x\\evil.exe");
  Hidden(b, 2345, u"").openable = false;  // cannot be opened: no name
  testing_support::SimMachineFixture fx(b);
  TRootKitIndicatorThreadProcesses threads("description=x");
  threads.RunTest();
  EXPECT_EQ(threads.Results(), (std::vector<std::string>{"1234: evil.exe", "2345: ?"}));
  EXPECT_EQ(threads.ResultText(), "Hidden processes: 1234, 2345");
  TRootKitIndicatorHandleProcesses handles("description=x");
  handles.RunTest();
  EXPECT_EQ(handles.Results(), (std::vector<std::string>{"1234", "2345"}));
  EXPECT_EQ(handles.ResultText(), "Hidden processes: 1234,2345");
  EXPECT_EQ(handles.State(), engine::kStateFound);
}

TEST(ProcessIndicators, AHiddenProcessStaysReportedWhenTheSecondLookCannotBeTaken) {
  struct Case {
    const char* what;
    std::function<void(sim::Machine&)> failSecondLook;
    std::function<std::unique_ptr<engine::TRootKitIndicator>()> make;
    std::vector<std::string> results;
  };
  const Case cases[] = {
      {"thread snapshot",
       [](sim::Machine& m) { m.fail.threadSnapshotsAfter = 1; },
       [] { return std::make_unique<TRootKitIndicatorThreadProcesses>("description=x"); },
       {"1234: evil.exe"}},
      {"handle table",
       [](sim::Machine& m) { m.fail.handleTablesAfter = 1; },
       [] { return std::make_unique<TRootKitIndicatorHandleProcesses>("description=x"); },
       {"1234"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto b = Machine();
    Hidden(b, 1234, u"C:\\x\\evil.exe");
    c.failSecondLook(b.machine());
    testing_support::SimMachineFixture fx(b);
    const auto ind = c.make();
    ind->RunTest();
    EXPECT_EQ(ind->Results(), c.results);
    EXPECT_EQ(ind->State(), engine::kStateFound);
  }
}

TEST(ProcessIndicators, AgreeingCountsReadAsProcessesTested) {
  sim::MachineBuilder b;
  b.AddProcess(0, u"System Idle Process").openable = false;
  b.AddProcess(500, u"explorer.exe", u"C:\\WINDOWS\\explorer.exe");
  testing_support::SimMachineFixture fx(b);
  TRootKitIndicatorThreadProcesses ind("description=x");
  ind.RunTest();
  EXPECT_EQ(ind.DetailsText(), "2 processes tested.");
  EXPECT_EQ(ind.State(), engine::kStateNothingFound);
}

TEST(ProcessIndicators, NoHandleTableMeansNoIdsAndNothingFound) {
  auto b = Machine();
  b.machine().system.major = 4;
  b.machine().system.minor = 0;
  b.machine().system.build = 950;  // not of the NT family
  Hidden(b, 1234, u"C:\\x\\evil.exe");
  testing_support::SimMachineFixture fx(b);
  TRootKitIndicatorHandleProcesses ind("description=x");
  ind.RunTest();
  EXPECT_EQ(ind.State(), engine::kStateNothingFound);
  EXPECT_EQ(ind.DetailsText().substr(0, 25), "0 handle process IDs for ");
}

TEST(ProcessIndicators, RegisteredAsRowsFiveAndSix) {
  auto b = Machine();
  testing_support::SimMachineFixture fx(b);
  const auto& reg = engine::RegisteredIndicators();
  ASSERT_GE(reg.size(), 2u);
  EXPECT_STREQ(reg[reg.size() - 2].IndicatorClass->Name, "TRootKitIndicatorHandleProcesses");
  EXPECT_EQ(reg[reg.size() - 2].Params, "description=Invisible processes (from handles)");
  EXPECT_STREQ(reg.back().IndicatorClass->Name, "TRootKitIndicatorThreadProcesses");
  EXPECT_EQ(reg.back().Params, "description=Invisible processes (from threads)");
}

TEST(ProcessNames, DevicePrefixMapsOnlyWhenItEndsAtABackslash) {
  sim::MachineBuilder b;
  b.AddVolume(u'D');
  b.machine().FindVolume(u'C')->device = u"\\Device\\HarddiskVolume1";
  b.machine().FindVolume(u'D')->device = u"\\Device\\HarddiskVolume10";
  testing_support::SimMachineFixture fx(b);
  struct Case {
    const char* path;
    const char* drive;
  };
  const Case cases[] = {
      {"\\Device\\HarddiskVolume1\\x\\evil.exe", "C:\\x\\evil.exe"},
      {"\\Device\\HarddiskVolume10\\x\\evil.exe", "D:\\x\\evil.exe"},
      {"\\Device\\HarddiskVolume1", "C:"},
      {"\\device\\harddiskvolume1\\x", "\\device\\harddiskvolume1\\x"},  // case-sensitive
      {"\\Device\\Mup\\server\\x", "\\Device\\Mup\\server\\x"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(processes::DevicePathToDrivePath(c.path), c.drive) << c.path;
}

TEST(ProcessNames, LookupsByID) {
  auto b = Machine();
  Hidden(b, 1234, u"C:\\x\\evil.exe");
  testing_support::SimMachineFixture fx(b);
  EXPECT_EQ(processes::ProcessModuleFileName(1234), "C:\\x\\evil.exe");
  EXPECT_EQ(processes::ProcessImageFileName(1234), "\\Device\\HarddiskVolume1\\x\\evil.exe");
  EXPECT_EQ(processes::ProcessFileNameByID(1234), "C:\\x\\evil.exe");
  EXPECT_EQ(processes::ProcessFileNameByID(4), "");     // no image
  EXPECT_EQ(processes::ProcessFileNameByID(0), "");     // cannot be opened
  EXPECT_EQ(processes::ProcessFileNameByID(9999), "");  // no such process
}

}  // namespace

namespace {

// The simulated ToolHelp, with a process that ends right after the first thread snapshot.
class EndingProcessToolHelp final : public platform::ToolHelp {
 public:
  EndingProcessToolHelp(platform::ToolHelp& inner, sim::Machine& m, std::uint32_t pid)
      : in_(inner), m_(m), pid_(pid) {}
  platform::Handle CreateToolhelp32Snapshot(platform::DWORD flags, platform::DWORD processId) override {
    const platform::Handle h = in_.CreateToolhelp32Snapshot(flags, processId);
    if (flags == platform::TH32CS_SNAPTHREAD)
      std::erase_if(m_.processes, [&](const sim::Process& p) { return p.pid == pid_; });
    return h;
  }
  bool Process32First(platform::Handle s, platform::records::ProcessEntry32& e) override {
    return in_.Process32First(s, e);
  }
  bool Process32Next(platform::Handle s, platform::records::ProcessEntry32& e) override {
    return in_.Process32Next(s, e);
  }
  bool Thread32First(platform::Handle s, platform::records::ThreadEntry32& e) override {
    return in_.Thread32First(s, e);
  }
  bool Thread32Next(platform::Handle s, platform::records::ThreadEntry32& e) override {
    return in_.Thread32Next(s, e);
  }
  bool Module32First(platform::Handle s, platform::records::ModuleEntry32& e) override {
    return in_.Module32First(s, e);
  }
  bool Module32Next(platform::Handle s, platform::records::ModuleEntry32& e) override {
    return in_.Module32Next(s, e);
  }
  bool Heap32ListFirst(platform::Handle s, platform::records::HeapList32& e) override {
    return in_.Heap32ListFirst(s, e);
  }
  bool Heap32ListNext(platform::Handle s, platform::records::HeapList32& e) override {
    return in_.Heap32ListNext(s, e);
  }
  bool EnumProcesses(std::span<platform::DWORD> ids, platform::DWORD& bytes) override {
    return in_.EnumProcesses(ids, bytes);
  }
  platform::DWORD GetModuleFileNameExA(platform::Handle p, platform::Handle m, std::span<char> b) override {
    return in_.GetModuleFileNameExA(p, m, b);
  }
  platform::DWORD GetModuleFileNameExW(platform::Handle p, platform::Handle m,
                                       std::span<char16_t> b) override {
    return in_.GetModuleFileNameExW(p, m, b);
  }
  bool HasGetProcessImageFileName() override { return in_.HasGetProcessImageFileName(); }
  platform::DWORD GetProcessImageFileNameA(platform::Handle p, std::span<char> b) override {
    return in_.GetProcessImageFileNameA(p, b);
  }
  platform::DWORD GetProcessImageFileNameW(platform::Handle p, std::span<char16_t> b) override {
    return in_.GetProcessImageFileNameW(p, b);
  }

 private:
  platform::ToolHelp& in_;
  sim::Machine& m_;
  std::uint32_t pid_;
};

TEST(ProcessIndicators, AProcessThatEndsBetweenTheViewsIsNotReported) {
  auto b = Machine();
  b.AddProcess(777, u"brief.exe", u"C:\\brief.exe");
  sim::ScopedSimMachine scoped(b.Build());
  auto& real = scoped.platform();
  EndingProcessToolHelp toolhelp(real.toolhelp, scoped.machine(), 777);
  platform::Platform p{real.kernel32, real.ntdll, real.advapi32, toolhelp, real.shell, real.cabinet, real.http};
  platform::ScopedPlatform use(p);
  app::RunStartup();
  TRootKitIndicatorThreadProcesses ind("description=x");
  ind.RunTest();
  EXPECT_TRUE(ind.Results().empty()) << ind.ResultText();
  EXPECT_EQ(ind.State(), engine::kStateNothingFound);
}

}  // namespace

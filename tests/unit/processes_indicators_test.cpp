// The invisible-process indicators and the process-name helpers they use.
#include <gtest/gtest.h>

#include "engine/indicator.h"
#include "engine/process_indicators.h"
#include "engine/process_names.h"
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
  for (const auto& c : cases) EXPECT_EQ(engine::DevicePathToDrivePath(c.path), c.drive) << c.path;
}

TEST(ProcessNames, LookupsByID) {
  auto b = Machine();
  Hidden(b, 1234, u"C:\\x\\evil.exe");
  testing_support::SimMachineFixture fx(b);
  EXPECT_EQ(engine::ProcessModuleFileName(1234), "C:\\x\\evil.exe");
  EXPECT_EQ(engine::ProcessImageFileName(1234), "\\Device\\HarddiskVolume1\\x\\evil.exe");
  EXPECT_EQ(engine::ProcessFileNameByID(1234), "C:\\x\\evil.exe");
  EXPECT_EQ(engine::ProcessFileNameByID(4), "");     // no image
  EXPECT_EQ(engine::ProcessFileNameByID(0), "");     // cannot be opened
  EXPECT_EQ(engine::ProcessFileNameByID(9999), "");  // no such process
}

}  // namespace

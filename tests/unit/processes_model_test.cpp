// The process list's passes and events, process items' texts, and the handle collection.
#include <gtest/gtest.h>

#include "processes/process_model.h"
#include "test_support.h"

namespace {

using processes::TjtProcessList;

sim::MachineBuilder Machine() {
  sim::MachineBuilder b;
  b.AddProcess(0, u"System Idle Process").openable = false;
  b.AddProcess(4, u"System");  // no image: its file name cannot be read
  b.AddProcess(500, u"explorer.exe", u"C:\\WINDOWS\\explorer.exe").parentPid = 400;
  b.AddProcess(600, u"locked.exe", u"C:\\locked.exe").openable = false;
  return b;
}

std::vector<std::uint32_t> Pids(TjtProcessList& list) {
  std::vector<std::uint32_t> pids;
  for (std::size_t i = 0; i < list.Count(); ++i) pids.push_back(list.GetItem(i).ProcessID);
  return pids;
}

TEST(ProcessList, PlainNTRefreshRunsOnlyTheProcessIdPass) {
  auto b = Machine();
  testing_support::SimMachineFixture fx(b);
  TjtProcessList list;
  list.Refresh();
  // 4 shares the "[System]" item 0; 600 cannot be opened and is not added.
  EXPECT_EQ(Pids(list), (std::vector<std::uint32_t>{0, 500}));
  EXPECT_EQ(list.GetItem(0).Filename, "[System]");
  EXPECT_EQ(list.GetItem(1).Filename, "C:\\WINDOWS\\explorer.exe");
  EXPECT_EQ(list.GetItem(1).ParentID, 0u);
}

TEST(ProcessList, FullInformationAddsTheSnapshot) {
  auto b = Machine();
  testing_support::SimMachineFixture fx(b);
  TjtProcessList list;
  list.AlwaysFullInformation = true;
  list.Refresh();
  EXPECT_EQ(Pids(list), (std::vector<std::uint32_t>{0, 500, 4, 600}));
  EXPECT_EQ(list.FindByPID(500)->ParentID, 400u);
  EXPECT_EQ(list.FindByPID(4)->Filename, "System");
  EXPECT_EQ(list.FindByPID(600)->Filename, "locked.exe");
  EXPECT_EQ(list.FindByPID(0)->Filename, "[System]");
  EXPECT_EQ(list.FindByPID(4)->Threads, 1u);
}

TEST(ProcessList, Wow64AddsTheSnapshotToo) {
  auto b = Machine();
  b.machine().system.wow64 = true;
  testing_support::SimMachineFixture fx(b);
  TjtProcessList list;
  list.Refresh();
  EXPECT_NE(list.FindByPID(600), nullptr);
}

TEST(ProcessList, RefreshEventsReportOnlyChanges) {
  auto b = Machine();
  testing_support::SimMachineFixture fx(b);
  TjtProcessList list;
  list.AlwaysFullInformation = true;
  std::vector<std::uint32_t> started, gone;
  list.OnProcessStarted = [&](processes::TjtProcessItem& i) { started.push_back(i.ProcessID); };
  list.OnProcessGone = [&](processes::TjtProcessItem& i) { gone.push_back(i.ProcessID); };
  list.Refresh();
  EXPECT_EQ(started.size(), 4u);
  started.clear();
  auto& procs = fx.machine().processes;
  procs.erase(procs.begin() + 2);  // 500 ends
  sim::Process p;
  p.pid = 700;
  p.exeFile = u"new.exe";
  procs.push_back(p);
  list.Refresh();
  EXPECT_EQ(started, std::vector<std::uint32_t>{700});
  EXPECT_EQ(gone, std::vector<std::uint32_t>{500});
  EXPECT_EQ(list.FindByPID(500), nullptr);
}

TEST(ProcessList, ReadFromLinesTakesThePathAfterTheIds) {
  sim::MachineBuilder b;
  testing_support::SimMachineFixture fx(b);
  TjtProcessList list;
  list.ReadFromLines({"PID:  500 ( 400) C:\\A.EXE ", "junk", "PID: C:\\B.EXE", " PID: 1 (2) C:\\C.EXE"});
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.GetItem(0).Filename, "C:\\A.EXE");
  EXPECT_EQ(list.GetItem(1).Filename, "PID: C:\\B.EXE");  // no ")": the whole line
}

TEST(ProcessItem, DescriptionLines) {
  sim::MachineBuilder b;
  b.File(u"C:\\WINDOWS\\x.exe", "12345");
  testing_support::SimMachineFixture fx(b);
  processes::TjtProcessItem item;
  item.ProcessID = 500;
  item.ParentID = 4;
  item.Filename = "C:\\missing.exe";
  std::vector<std::string> lines;
  item.AddDescriptionLines(lines);
  EXPECT_EQ(lines, std::vector<std::string>{"PID:  500 (   4) C:\\missing.exe"});

  processes::TjtProcessItem known;
  known.ProcessID = 12345;
  known.Filename = "C:\\WINDOWS\\x.exe";
  known.FileMD5 = "D41D8CD98F00B204E9800998ECF8427E";  // the empty digest is not shown
  lines.clear();
  known.AddDescriptionLines(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"PID: 12345 (   0) C:\\WINDOWS\\x.exe", " size: 5"}));
  known.FileMD5 = "0123456789ABCDEF0123456789ABCDEF";
  lines.clear();
  known.AddDescriptionLines(lines);
  EXPECT_EQ(lines.back(), "  MD5: 0123456789ABCDEF0123456789ABCDEF");
}

TEST(HandleCollection, FiltersByProcessAndName) {
  sim::MachineBuilder b;
  auto& a = b.AddProcess(1234, u"a.exe");
  a.handles.push_back({0x4, 9, 0, 0, u"", false});
  a.handles.push_back({0x8, 20, 0, 0, u"\\REGISTRY\\MACHINE", false});
  b.AddProcess(4, u"System").handles.push_back({0x4, 20, 0, 0, u"\\REGISTRY\\USER", false});
  testing_support::SimMachineFixture fx(b);
  processes::TjtHandleCollection handles;
  handles.Refresh(true, false, 1234);
  ASSERT_EQ(handles.Count(), 2u);  // unnamed ones included
  EXPECT_EQ(handles.GetItem(1).Name, "\\REGISTRY\\MACHINE");
  handles.Refresh(false, true, 0);
  ASSERT_EQ(handles.Count(), 2u);
  handles.SortByProcessID();
  EXPECT_EQ(handles.GetItem(0).ProcessID, 4u);
  EXPECT_EQ(handles.GetItem(0).Name, "\\REGISTRY\\USER");
}

}  // namespace

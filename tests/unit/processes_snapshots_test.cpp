// ToolHelp snapshot lists and the simulated snapshots behind them.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "processes/process_details.h"
#include "processes/snapshots.h"
#include "test_support.h"

namespace {

using processes::TProcessIDArray;

// Processes 4 (two threads), 8 and a hidden 1234 with a module and a heap.
sim::MachineBuilder Machine() {
  sim::MachineBuilder b;
  auto& sys = b.AddProcess(4, u"System");
  sys.threads.push_back({100, 8, 0, 0, 0});
  b.AddProcess(8, u"smss.exe", u"C:\\WINDOWS\\system32\\smss.exe");
  auto& ghost = b.AddProcess(1234, u"ghost.exe", u"C:\\WINDOWS\\ghost.exe");
  ghost.hidden = true;
  ghost.modules.push_back({u"ghost.exe", u"C:\\WINDOWS\\ghost.exe", 0x01000000, 0x5000, 7, 1, 1});
  ghost.heaps.push_back({0x150000, 2});
  return b;
}

TEST(Snapshots, ThreadOwnersInOrderOfFirstAppearanceIncludingHiddenProcesses) {
  auto b = Machine();
  // Thread order 4, 4, 8, 1234: owners 4, 8, 1234.
  testing_support::SimMachineFixture fx(b);
  processes::TThreadListTH32Simple threads;
  ASSERT_TRUE(threads.TakeSnapshot());
  EXPECT_EQ(threads.Count(), 4u);
  TProcessIDArray ids = {99};
  threads.GetOwnerProcessIDs(ids);
  EXPECT_EQ(ids, (TProcessIDArray{4, 8, 1234}));
}

TEST(Snapshots, CombinedSnapshotFillsOnlyTheChosenLists) {
  auto b = Machine();
  testing_support::SimMachineFixture fx(b);
  processes::TSnapshotListTH32Simple snap;
  ASSERT_TRUE(snap.TakeSnapshot(1234, false, true, true, true));
  EXPECT_TRUE(snap.ProcessList.Items.empty());
  ASSERT_EQ(snap.ModuleList.Count(), 1u);
  platform::records::ModuleEntry32 m{};
  snap.ModuleList.GetItem(0, m);
  EXPECT_EQ(m.dwSize, sizeof m);
  EXPECT_EQ(m.modBaseAddr, 0x01000000u);
  EXPECT_STREQ(m.szExePath, "C:\\WINDOWS\\ghost.exe");
  EXPECT_EQ(snap.HeapList.Count(), 1u);
  EXPECT_EQ(snap.ThreadList.Count(), 4u);  // the thread snapshot covers the whole system

  // The process list of the rootkit's view lacks the hidden process.
  ASSERT_TRUE(snap.TakeSnapshot(0, true, false, false, false));
  EXPECT_EQ(snap.ModuleList.Count(), 0u);
  ASSERT_EQ(snap.ProcessList.Items.size(), 2u);
  EXPECT_STREQ(snap.ProcessList.Items[1].szExeFile, "smss.exe");
  EXPECT_EQ(snap.ProcessList.Items[0].cntThreads, 2u);

  // No kinds chosen: a snapshot of nothing.
  ASSERT_TRUE(snap.TakeSnapshot(0, false, false, false, false));
  EXPECT_EQ(snap.ThreadList.Count(), 0u);
}

TEST(Snapshots, FailedSnapshotLeavesEveryListEmpty) {
  auto b = Machine();
  b.machine().processes[2].openable = false;
  testing_support::SimMachineFixture fx(b);
  processes::TSnapshotListTH32Simple snap;
  ASSERT_TRUE(snap.TakeSnapshot(1234, false, false, true, false));
  EXPECT_EQ(snap.ThreadList.Count(), 4u);
  EXPECT_FALSE(snap.TakeSnapshot(1234, false, true, true, true));
  EXPECT_EQ(snap.ThreadList.Count(), 0u);
  EXPECT_EQ(snap.ModuleList.Count(), 0u);
  processes::TModuleListTH32Simple modules;
  EXPECT_FALSE(modules.TakeSnapshot(4242));  // no such process
}

TEST(Snapshots, ReadingTwiceAppendsTwiceAndAFailedFirstAppendsNothing) {
  auto b = Machine();
  testing_support::SimMachineFixture fx(b);
  auto& th = platform::Current().toolhelp;
  auto& k32 = platform::Current().kernel32;
  const platform::Handle h = th.CreateToolhelp32Snapshot(platform::TH32CS_SNAPTHREAD, 0);
  ASSERT_NE(h, platform::kInvalidHandle);
  processes::TThreadListTH32Simple threads;
  threads.ReadSnapshot(h);
  threads.ReadSnapshot(h);
  EXPECT_EQ(threads.Count(), 8u);
  processes::THeapListTH32Simple heaps;
  heaps.ReadSnapshot(h);  // a thread snapshot has no heap list: First fails
  EXPECT_EQ(heaps.Count(), 0u);
  k32.CloseHandle(h);

  // The First functions insist on the record's size, as the real ones do.
  const platform::Handle again = th.CreateToolhelp32Snapshot(platform::TH32CS_SNAPTHREAD, 0);
  platform::records::ThreadEntry32 e{};
  e.dwSize = 20;
  EXPECT_FALSE(th.Thread32First(again, e));
  EXPECT_EQ(k32.GetLastError(), platform::ERROR_BAD_LENGTH);
  k32.CloseHandle(again);
}

}  // namespace

namespace {

TEST(ProcessDetails, OwnThreadsModulesHeapsAndBothImageNames) {
  auto b = Machine();
  testing_support::SimMachineFixture fx(b);
  const auto d = processes::LoadProcessDetails(1234);
  EXPECT_TRUE(d.Opened);
  EXPECT_EQ(d.ImageName, u"C:\\WINDOWS\\ghost.exe");
  EXPECT_EQ(d.NativeImageName, u"\\Device\\HarddiskVolume1\\WINDOWS\\ghost.exe");
  ASSERT_EQ(d.Threads.size(), 1u);  // only the process's own threads
  EXPECT_EQ(d.Threads[0].th32OwnerProcessID, 1234u);
  EXPECT_EQ(d.Modules.size(), 1u);
  EXPECT_EQ(d.Heaps.size(), 1u);

  // A process that cannot be opened: no names and no module snapshot, but its threads.
  fx.machine().processes[2].openable = false;
  const auto closed = processes::LoadProcessDetails(1234);
  EXPECT_FALSE(closed.Opened);
  EXPECT_TRUE(closed.ImageName.empty());
  EXPECT_TRUE(closed.Modules.empty());
  EXPECT_EQ(closed.Threads.size(), 1u);
}

}  // namespace

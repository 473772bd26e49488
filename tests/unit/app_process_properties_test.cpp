// Process properties and termination on small simulated machines.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/process_properties.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/record_io.h"
#include "platform/records.h"
#include "test_support.h"

namespace {

namespace rec = platform::records;

sim::MachineBuilder Machine() {
  sim::MachineBuilder b;
  b.AddProcess(4, u"System");
  auto& debugged = b.AddProcess(500, u"debugged.exe", u"C:\\debugged.exe");
  debugged.debugged = true;
  debugged.sessionId = 3;
  debugged.modules.push_back({u"debugged.exe", u"C:\\debugged.exe", 0x01000000, 0x2000, 1, 1, 1});
  b.AddProcess(600, u"plain.exe", u"C:\\plain.exe");
  b.AddProcess(700, u"locked.exe", u"C:\\locked.exe").openable = false;
  return b;
}

// Until the simulated process memory is readable, the environment block cannot be asked for.
bool ProcessMemoryReadable() {
  auto& k32 = platform::Current().kernel32;
  const platform::KernelHandle h(k32.OpenProcess(platform::PROCESS_VM_READ, false, 500));
  std::byte b[1];
  std::size_t n = 0;
  return k32.ReadProcessMemory(h.get(), sim::kProcessEnvironmentBlockAddress, b, n) ||
         k32.GetLastError() != platform::ERROR_CALL_NOT_IMPLEMENTED;
}

TEST(ProcessProperties, DebugFlagAndSessionComeFromTheEnvironmentBlock) {
  auto b = Machine();
  testing_support::SimMachineFixture fx(b);
  if (!ProcessMemoryReadable()) GTEST_SKIP() << "the simulated machine does not serve process memory yet";
  struct Case {
    std::uint32_t pid;
    std::string debugged, session;
  } cases[] = {{500, "Yes", "3"}, {600, "No", "0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pid);
    const app::TProcessProperties p = app::LoadProcessProperties(c.pid);
    EXPECT_TRUE(p.BasicInformationRead);
    EXPECT_EQ(app::DebuggedText(p), c.debugged);
    EXPECT_EQ(app::SessionText(p), c.session);
  }
}

// A process that cannot be opened shows "?" for what needs it, and its threads all the same.
TEST(ProcessProperties, AProcessThatCannotBeOpenedShowsQuestionMarks) {
  auto b = Machine();
  testing_support::SimMachineFixture fx(b);
  const app::TProcessProperties p = app::LoadProcessProperties(700);
  EXPECT_FALSE(p.Details.Opened);
  EXPECT_FALSE(p.BasicInformationRead);
  EXPECT_EQ(app::DebuggedText(p), "?");
  EXPECT_EQ(app::SessionText(p), "?");
  ASSERT_EQ(p.Details.Threads.size(), 1u);
  EXPECT_EQ(p.Details.Threads[0].th32OwnerProcessID, 700u);
}

// The basic information holds the process's own numbers and points at its environment block.
TEST(ProcessProperties, BasicInformationNamesTheProcess) {
  auto b = Machine();
  b.machine().processes[1].parentPid = 4;
  testing_support::SimMachineFixture fx(b);
  auto& k32 = platform::Current().kernel32;
  const platform::KernelHandle h(k32.OpenProcess(platform::PROCESS_QUERY_INFORMATION, false, 500));
  std::vector<std::byte> info(sizeof(rec::PROCESS_BASIC_INFORMATION));
  platform::DWORD length = 0;
  ASSERT_EQ(platform::Current().ntdll.NtQueryInformationProcess(h.get(), platform::ProcessBasicInformation,
                                                                info, length),
            platform::STATUS_SUCCESS);
  const rec::RecordReader r(info);
  EXPECT_EQ(r.Get<std::uintptr_t>(offsetof(rec::PROCESS_BASIC_INFORMATION, UniqueProcessId)), 500u);
  EXPECT_EQ(r.Get<std::uintptr_t>(offsetof(rec::PROCESS_BASIC_INFORMATION, InheritedFromUniqueProcessId)),
            4u);
  EXPECT_EQ(r.Get<std::uintptr_t>(offsetof(rec::PROCESS_BASIC_INFORMATION, PebBaseAddress)),
            sim::kProcessEnvironmentBlockAddress);
  // What the machine keeps at that address carries the image's flag and session where the
  // reader looks for them.
  const std::string block = sim::ProcessEnvironmentBlock(fx.machine().processes[1]);
  const auto facts = app::ReadEnvironmentBlockFacts(std::as_bytes(std::span(block)));
  ASSERT_TRUE(facts);
  EXPECT_TRUE(facts->Debugged);
  EXPECT_EQ(facts->SessionId, 3u);
  // A copy cut before the session says nothing rather than "session 0".
  EXPECT_FALSE(
      app::ReadEnvironmentBlockFacts(std::as_bytes(std::span(block)).first(rec::kPebSessionIdOffset)));
}

TEST(ProcessTermination, EndsOnlyTheNamedProcessAndRefusesTheRest) {
  struct Case {
    std::uint32_t pid;
    bool terminated;
    std::string message;
  } cases[] = {
      {600, true, ""},
      {0, false, "process 0 is the system's idle process and cannot be ended"},
      {0x7FF0, false, "it is this program's own process"},  // what the simulated GetCurrentProcessId answers
      {700, false, "it cannot be opened: Access is denied"},
      {12345, false, "it cannot be opened: The parameter is incorrect"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pid);
    auto b = Machine();
    testing_support::SimMachineFixture fx(b);
    const app::TProcessTermination t = app::TerminateProcessById(c.pid);
    EXPECT_EQ(t.Terminated, c.terminated);
    EXPECT_EQ(t.Message, c.message);
    std::vector<std::uint32_t> left;
    for (const auto& p : fx.machine().processes) left.push_back(p.pid);
    std::vector<std::uint32_t> expected{4, 500, 600, 700};
    if (c.terminated) expected.erase(std::find(expected.begin(), expected.end(), c.pid));
    EXPECT_EQ(left, expected);
  }
}

// Terminating needs the right to terminate; the query needs the right to query.
TEST(ProcessTermination, HandlesWithoutTheRightAreRefused) {
  auto b = Machine();
  testing_support::SimMachineFixture fx(b);
  auto& k32 = platform::Current().kernel32;
  const platform::KernelHandle query(k32.OpenProcess(platform::PROCESS_QUERY_INFORMATION, false, 600));
  EXPECT_FALSE(k32.TerminateProcess(query.get(), 0));
  EXPECT_EQ(k32.GetLastError(), platform::ERROR_ACCESS_DENIED);
  const platform::KernelHandle end(k32.OpenProcess(platform::PROCESS_TERMINATE, false, 600));
  std::vector<std::byte> info(sizeof(rec::PROCESS_BASIC_INFORMATION));
  platform::DWORD length = 0;
  EXPECT_EQ(platform::Current().ntdll.NtQueryInformationProcess(end.get(), platform::ProcessBasicInformation,
                                                                info, length),
            platform::STATUS_ACCESS_DENIED);
  EXPECT_TRUE(k32.TerminateProcess(end.get(), 0));
  EXPECT_FALSE(k32.TerminateProcess(end.get(), 0)) << "a process that has ended cannot be ended again";
  EXPECT_EQ(k32.GetLastError(), platform::ERROR_ACCESS_DENIED);
}

}  // namespace

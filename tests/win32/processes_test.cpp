// Process views on a real Win32 implementation: snapshots, the handle table, the indicators, big-file
// digests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "app/session.h"
#include "engine/process_indicators.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "processes/handle_enumerator.h"
#include "processes/process_details.h"
#include "processes/process_model.h"
#include "processes/snapshots.h"
#include "results/digests.h"

namespace {

class RealProcesses : public ::testing::Test {
 protected:
  RealProcesses() : scope_(win32::RealPlatform()) { app::RunStartup(); }
  platform::ScopedPlatform scope_;
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
  return s;
}

TEST_F(RealProcesses, OwnersOfHandlesAndThreadsAreAllListedOnACleanSystem) {
  engine::TRootKitIndicatorHandleProcesses handles("description=h");
  handles.RunTest();
  EXPECT_EQ(handles.State(), 2) << handles.ResultText() << " / " << handles.DetailsText();
  EXPECT_TRUE(handles.Results().empty()) << handles.ResultText();
  engine::TRootKitIndicatorThreadProcesses threads("description=t");
  threads.RunTest();
  EXPECT_EQ(threads.State(), 2) << threads.ResultText() << " / " << threads.DetailsText();
  EXPECT_TRUE(threads.Results().empty()) << threads.ResultText();
  std::cout << "handles: " << handles.DetailsText() << "\nthreads: " << threads.DetailsText() << "\n";
}

TEST_F(RealProcesses, TheHandleTableListsOurOwnHandlesWithFullIds) {
  auto& k32 = platform::Current().kernel32;
  const std::string exe = k32.GetModuleFileNameA();
  const platform::KernelFileHandle file(
      k32.CreateFileA(exe, platform::GENERIC_READ, platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                      platform::OPEN_EXISTING, platform::FILE_ATTRIBUTE_NORMAL));
  ASSERT_TRUE(file);
  const platform::DWORD self = k32.GetCurrentProcessId();
  processes::TjtHandleEnumerator e;
  std::size_t own = 0;
  std::string fileName;
  e.OnHandle = [&](std::uint32_t pid, std::uint16_t, std::uint16_t, std::uint8_t, std::uint32_t handle,
                   std::uintptr_t, std::uint32_t, const std::string& name) {
    if (pid != self) return;
    ++own;
    if (handle == file.get()) fileName = name;
  };
  e.Enumerate();
  EXPECT_GT(e.HandleCount, 0u);
  EXPECT_GT(own, 0u);
  const std::string base = Lower(exe.substr(exe.find_last_of('\\') + 1));
  EXPECT_NE(Lower(fileName).find(base), std::string::npos) << fileName;
}

TEST_F(RealProcesses, SnapshotsSeeThisProcess) {
  const platform::DWORD self = platform::Current().kernel32.GetCurrentProcessId();
  processes::TThreadListTH32Simple threads;
  ASSERT_TRUE(threads.TakeSnapshot());
  processes::TProcessIDArray ids;
  threads.GetOwnerProcessIDs(ids);
  EXPECT_NE(std::find(ids.begin(), ids.end(), self), ids.end());

  const auto d = processes::LoadProcessDetails(self);
  EXPECT_TRUE(d.Opened);
  EXPECT_FALSE(d.ImageName.empty());
  EXPECT_FALSE(d.Threads.empty());
  EXPECT_FALSE(d.Modules.empty());

  processes::TjtProcessList list;
  list.AlwaysFullInformation = true;
  list.Refresh();
  ASSERT_NE(list.FindByPID(self), nullptr);
  EXPECT_NE(Lower(list.FindByPID(self)->Filename).find("umbrascope_wintests.exe"), std::string::npos);
}

// A big file made by the end-to-end script, with the digest the Linux side computed.
TEST_F(RealProcesses, BigFileDigestMatchesTheOneComputedElsewhere) {
  const char* path = std::getenv("UMBRA_BIG_FILE");
  const char* md5 = std::getenv("UMBRA_BIG_FILE_MD5");
  if (path == nullptr || md5 == nullptr) GTEST_SKIP() << "UMBRA_BIG_FILE and UMBRA_BIG_FILE_MD5 not set";
  std::string expected = md5;
  std::transform(expected.begin(), expected.end(), expected.begin(),
                 [](char c) { return c >= 'a' && c <= 'f' ? c - 32 : c; });
  EXPECT_GE(results::FileSize64(path), std::int64_t{1} << 32);
  EXPECT_EQ(results::FileMD5Text(path), expected);
}

}  // namespace

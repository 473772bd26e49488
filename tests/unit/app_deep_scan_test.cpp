// The Deep Scan session: rows, texts, the hand-over mailbox, refresh and stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "app/deep_scan.h"
#include "app/deep_scan_output.h"
#include "app/owner_sync.h"
#include "app/text.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class DeepScanTest : public ::testing::Test {
 protected:
  sim::MachineBuilder builder_;
  testing_support::SimMachineFixture fixture_{builder_};
};

// --- rows ---

TEST_F(DeepScanTest, PathRowsCutAtTheLastBackslash) {
  struct Case {
    std::u16string path;
    std::u16string location;
    std::u16string object;
  };
  const Case cases[] = {
      {u"C:\\Windows\\x.sys", u"C:\\Windows\\", u"x.sys"},
      {u"x.sys", u"", u"x.sys"},
      {u"C:\\Temp\\a.txt:extra:$DATA", u"C:\\Temp\\", u"a.txt:extra:$DATA"},
      {u"C:\\Temp\\Umbrascope:adstest.txt:$DATA", u"C:\\Temp\\", u"Umbrascope:adstest.txt:$DATA"},
      {u"C:\\", u"C:\\", u""},
      {std::u16string(u"C:\\a\0b\\c\0d", 10), std::u16string(u"C:\\a\0b\\", 7), std::u16string(u"c\0d", 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(app::Utf8(c.path));
    const auto row = app::PathRow("File", app::kKindFile, c.path, "Reserved filename");
    EXPECT_EQ(row.Location, c.location);
    EXPECT_EQ(row.Object, c.object);
    EXPECT_EQ(row.FullName(), c.path);
    EXPECT_EQ(row.Details, "Reserved filename");
  }
}

TEST_F(DeepScanTest, RegistryRowsAreHiveNameKeyPathAndName) {
  const auto value = app::RegistryRow("Value", app::kKindValue, platform::HKEY_LOCAL_MACHINE,
                                      u"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\",
                                      "Invisible to Win32", u"Run");
  EXPECT_EQ(value.Object, u"Run");
  EXPECT_EQ(value.Location, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\");
  EXPECT_EQ(value.Kind, 5);

  const std::u16string zero(u"Hello\0World", 11);
  const auto key = app::RegistryRow("Key", app::kKindKey, platform::HKEY_USERS, u"\\S-1-5-18\\",
                                    "Zero char in key name", zero);
  EXPECT_EQ(key.FullName(), u"HKEY_USERS\\S-1-5-18\\" + zero);

  const auto root =
      app::RegistryRow("Key", app::kKindKey, platform::HKEY_LOCAL_MACHINE, u"\\", "Could not open key", u"");
  EXPECT_EQ(root.Object, u"");
  EXPECT_EQ(root.Location, u"HKEY_LOCAL_MACHINE\\");
}

TEST_F(DeepScanTest, RowJsonKeepsTheContractOrderAndEscapesZeros) {
  auto row = app::RegistryRow("Value", app::kKindValue, platform::HKEY_LOCAL_MACHINE, u"\\S\\",
                              "Zero char in value name", std::u16string(u"a\0b", 3));
  const std::string line = app::JsonLine(app::DeepRowJson(row));
  EXPECT_EQ(line,
            R"({"type":"Value","object":"a\u0000b","location":"HKEY_LOCAL_MACHINE\\S\\",)"
            R"("details":"Zero char in value name","kind":5,"known":false,"product":"","explanation":""})");
}

// --- texts ---

TEST(DeepScanElapsed, FormatsHoursMinutesSeconds) {
  struct Case {
    Clock::duration elapsed;
    const char* text;
  };
  const Case cases[] = {
      {0s, "00:00:00"},          {1h + 2min + 3s, "01:02:03"},
      {59s + 999ms, "00:00:59"}, {23h + 59min + 59s, "23:59:59"},
      {25h, "25:00:00"},  // hours are not taken modulo a day
      {-5s, "00:00:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(app::FormatElapsed(c.elapsed), c.text);
  }
}

// A clock the test moves by hand.
struct ManualClock {
  std::shared_ptr<Clock::time_point> now = std::make_shared<Clock::time_point>(Clock::time_point{} + 100h);
  app::TScanClock Function() const {
    return [now = now] { return *now; };
  }
};

// Runs the owner's side until the session has no running scanner (or a call limit).
void Drain(app::TMailboxSynchronizer& mailbox, app::TDeepScanSession& session) {
  for (int i = 0; i < 100000 && session.Running(); ++i) mailbox.RunNext(10ms);
  ASSERT_FALSE(session.Running());
}

TEST_F(DeepScanTest, LabelsStartAndFinishWithTheElapsedTime) {
  ManualClock clock;
  auto mailbox = std::make_shared<app::TMailboxSynchronizer>();
  app::TDeepScanSession session(mailbox, clock.Function());
  EXPECT_EQ(app::Utf8(session.FileProgressLabel()), "File scanner starting....");
  EXPECT_EQ(app::Utf8(session.RegistryProgressLabel()), "Registry scanner starting....");
  int finished = 0;
  session.OnScanFinished = [&](app::TDeepScanSession& s) {
    EXPECT_EQ(&s, &session);
    ++finished;
  };

  // An empty selection still starts both scanners; they end at once.
  session.StartScan({}, {});
  EXPECT_TRUE(session.FileScanRunning());
  EXPECT_TRUE(session.RegistryScanRunning());
  *clock.now += 1h + 2min + 3s;
  Drain(*mailbox, session);
  EXPECT_EQ(finished, 2);
  EXPECT_EQ(app::Utf8(session.FileProgressLabel()), "Finished scanning filesystem in 01:02:03.");
  EXPECT_EQ(app::Utf8(session.RegistryProgressLabel()), "Finished scanning registry in 01:02:03.");
  const auto f = session.FileSummary();
  EXPECT_TRUE(f.ran);
  EXPECT_TRUE(f.finished);
  EXPECT_DOUBLE_EQ(f.seconds, 3723.0);
  EXPECT_TRUE(session.RegistrySummary().finished);
}

TEST_F(DeepScanTest, ARunningScannerIsNotStartedTwice) {
  auto mailbox = std::make_shared<app::TMailboxSynchronizer>();
  app::TDeepScanSession session(mailbox);
  int finished = 0;
  session.OnScanFinished = [&](app::TDeepScanSession&) { ++finished; };
  session.StartScan({"C:"}, {"HKEY_LOCAL_MACHINE"});
  session.StartScan({"C:"}, {"HKEY_LOCAL_MACHINE"});
  Drain(*mailbox, session);
  EXPECT_EQ(finished, 2);  // one file scan, one registry scan
  // Once ended, a scanner is forgotten and the next start makes a new one.
  session.StartScan({}, {});
  EXPECT_TRUE(session.Running());
  Drain(*mailbox, session);
  EXPECT_EQ(finished, 4);
}

TEST_F(DeepScanTest, StopKeepsTheHandlersAndMarksTheScansStopped) {
  auto mailbox = std::make_shared<app::TMailboxSynchronizer>();
  app::TDeepScanSession session(mailbox);
  session.StartScan({"C:"}, {"HKEY_LOCAL_MACHINE"});
  session.Terminate();
  EXPECT_TRUE(session.Running());  // they still end their current folder or key
  Drain(*mailbox, session);
  EXPECT_FALSE(session.FileSummary().finished);
  EXPECT_FALSE(session.RegistrySummary().finished);
  EXPECT_EQ(app::Utf8(session.FileProgressLabel()).rfind("Finished scanning filesystem in ", 0), 0u);
}

TEST_F(DeepScanTest, RefreshForgetsTheScannersAtOnceAndTheirEndChangesNothing) {
  auto mailbox = std::make_shared<app::TMailboxSynchronizer>();
  app::TDeepScanSession session(mailbox);
  int finished = 0;
  session.OnScanFinished = [&](app::TDeepScanSession&) { ++finished; };
  session.StartScan({"C:"}, {"HKEY_LOCAL_MACHINE"});
  // Both workers are (or will be) blocked in the hand-over: a refresh that waited for them
  // would never return here.
  session.Refresh();
  EXPECT_FALSE(session.Running());
  EXPECT_TRUE(session.Rows().empty());
  EXPECT_FALSE(session.FileSummary().ran);
  // Their end reports still come through the mailbox, and are dropped.
  while (mailbox->RunNext(50ms)) {
  }
  EXPECT_EQ(finished, 0);
  EXPECT_EQ(app::Utf8(session.FileProgressLabel()), "File scanner starting....");
  EXPECT_EQ(app::Utf8(session.RegistryProgressLabel()), "Registry scanner starting....");
  session.StartScan({}, {});
  Drain(*mailbox, session);
  EXPECT_EQ(finished, 2);
}

TEST_F(DeepScanTest, DestroyingTheSessionReleasesWorkersWaitingForTheOwner) {
  auto mailbox = std::make_shared<app::TMailboxSynchronizer>();
  {
    app::TDeepScanSession session(mailbox);
    session.StartScan({"C:"}, {"HKEY_LOCAL_MACHINE"});
    session.Refresh();
    session.StartScan({"C:"}, {"HKEY_LOCAL_MACHINE"});
    // Nobody runs the mailbox: the destructor must still join all four threads.
  }
  EXPECT_FALSE(mailbox->RunNext(0ms));
}

// --- the mailbox ---

TEST(DeepScanMailbox, RunsEachCallOnTheOwnerWhileTheWorkerWaits) {
  app::TMailboxSynchronizer mailbox;
  const auto owner = std::this_thread::get_id();
  EXPECT_FALSE(mailbox.RunNext(1ms));  // nothing posted: the owner gets control back

  std::vector<int> order;  // written by both threads, in turn
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) {
      int local = i;  // the owner reads the worker's own state while it waits
      mailbox.Synchronize([&] {
        EXPECT_EQ(std::this_thread::get_id(), owner);
        order.push_back(local);
      });
      order.push_back(100 + i);
    }
    returned = true;
  });
  int ran = 0;
  while (ran < 3) ran += mailbox.RunNext(1s) ? 1 : 0;
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(order, (std::vector<int>{0, 100, 1, 101, 2, 102}));

  // On the owner thread a call runs at once.
  bool direct = false;
  mailbox.Synchronize([&] { direct = true; });
  EXPECT_TRUE(direct);
}

TEST(DeepScanMailbox, AFailingCallReachesTheOwnerAndFreesTheWorker) {
  app::TMailboxSynchronizer mailbox;
  std::thread worker([&] { mailbox.Synchronize([] { throw std::runtime_error("handler failed"); }); });
  bool thrown = false;
  while (!thrown) {
    try {
      mailbox.RunNext(1s);
    } catch (const std::runtime_error&) {
      thrown = true;
    }
  }
  worker.join();  // would hang if the worker were still waiting
}

TEST(DeepScanMailbox, ReleaseLetsWaitingAndLaterWorkersGoUnrun) {
  app::TMailboxSynchronizer mailbox;
  std::atomic<int> ran{0};
  std::atomic<bool> posted{false};
  std::thread first([&] {
    posted = true;
    mailbox.Synchronize([&] { ++ran; });
  });
  while (!posted) std::this_thread::yield();
  std::this_thread::sleep_for(20ms);
  mailbox.Release();
  first.join();
  std::thread later([&] { mailbox.Synchronize([&] { ++ran; }); });
  later.join();
  EXPECT_FALSE(mailbox.RunNext(0ms));
  EXPECT_EQ(ran, 0);
}

}  // namespace

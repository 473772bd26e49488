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

// Runs the owner's side until the session has no running scanner (or a call limit).
void Drain(app::TMailboxSynchronizer& mailbox, app::TDeepScanSession& session) {
  for (int i = 0; i < 100000 && session.Running(); ++i) mailbox.RunNext(10ms);
  ASSERT_FALSE(session.Running());
}

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

// --- catalogue marks ---

TEST_F(DeepScanTest, RowsTheCatalogueKnowsAreMarkedWithItsProductAndDetails) {
  app::TDeepScanSession session(std::make_shared<app::TMailboxSynchronizer>());
  session.Catalogue().LoadFromText(
      "[one]\r\nProduct=Umbrascope\r\nType=Reserved filename\r\nDetails=Test entry.\r\n"
      "Location0=C:\\Temp\\Umbrascope\\CON.txt\r\n"
      "[zero]\r\nProduct=Zero\r\nLocation0=HKEY_LOCAL_MACHINE\\SOFTWARE\\T\\Hello\\0World");
  const std::u16string zero(u"Hello\0World", 11);
  struct Case {
    const char* what;
    app::TDeepScanRow row;
    const char* info;  // nullptr: not known
  };
  const Case cases[] = {
      {"file", app::PathRow("File", app::kKindFile, u"C:\\Temp\\Umbrascope\\CON.txt", "Reserved filename"),
       "Umbrascope: Test entry."},
      {"letter case differs",
       app::PathRow("File", app::kKindFile, u"C:\\Temp\\Umbrascope\\con.txt", "Reserved filename"), nullptr},
      {"key with a zero character",
       app::RegistryRow("Key", app::kKindKey, platform::HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\T\\",
                        "Zero char in key name", zero),
       "Zero: No details available."},
      {"backslash and 0 written out",
       app::RegistryRow("Key", app::kKindKey, platform::HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\T\\",
                        "Invisible to Win32", u"Hello\\0World"),
       nullptr},
  };
  for (auto c : cases) {
    SCOPED_TRACE(c.what);
    app::MarkRow(session.Catalogue(), c.row);
    const auto info = session.InfoText(c.row);
    EXPECT_EQ(c.row.Known, c.info != nullptr);
    EXPECT_EQ(c.row.Marker(), c.info ? app::kMarkerKnown : app::kMarkerPlain);
    ASSERT_EQ(info.has_value(), c.info != nullptr);
    if (!c.info) continue;
    EXPECT_EQ(*info, c.info);
    EXPECT_EQ(c.row.Product + ": " + c.row.Explanation, c.info);
  }
}

TEST(DeepScanRows, AScanReportsEachFindingAsAMarkedRow) {
  sim::MachineBuilder b;
  b.File(u"C:\\Temp\\Umbrascope\\CON.txt");
  b.Folder(u"C:\\Temp\\Umbrascope\\lpt1");
  b.File(u"C:\\Temp\\plain\\ghost.sys").hidden = true;
  b.StringValue(u"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", u"ghost", u"x").hidden = true;
  testing_support::SimMachineFixture fixture(b);
  auto mailbox = std::make_shared<app::TMailboxSynchronizer>();
  app::TDeepScanSession session(mailbox);  // the built-in catalogue
  std::vector<std::string> seen;
  session.OnRow = [&](const app::TDeepScanRow& row) {
    seen.push_back(row.Type + " " + app::Utf8(row.FullName()));
  };
  session.StartScan({"C:"}, {"HKEY_LOCAL_MACHINE"});
  Drain(*mailbox, session);

  auto find = [&](std::u16string_view object) -> const app::TDeepScanRow* {
    for (const auto& row : session.Rows())
      if (row.Object == object) return &row;
    return nullptr;
  };
  const auto* con = find(u"CON.txt");
  ASSERT_NE(con, nullptr);
  EXPECT_EQ(con->Type, "File");
  EXPECT_EQ(con->Kind, 3);
  EXPECT_EQ(con->Location, u"C:\\Temp\\Umbrascope\\");
  EXPECT_EQ(con->Details, "Reserved filename");
  EXPECT_TRUE(con->Known);
  EXPECT_EQ(con->Product, "Umbrascope");
  const auto* lpt = find(u"lpt1");
  ASSERT_NE(lpt, nullptr);
  EXPECT_EQ(lpt->Type, "Folder");
  EXPECT_EQ(lpt->Kind, 2);
  EXPECT_TRUE(lpt->Known);
  const auto* ghost = find(u"ghost.sys");
  ASSERT_NE(ghost, nullptr);
  EXPECT_EQ(ghost->Details, "Invisible to Win32");
  EXPECT_FALSE(ghost->Known);
  const auto* value = find(u"ghost");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->Type, "Value");
  EXPECT_EQ(value->Kind, 5);
  EXPECT_EQ(value->Location, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\");
  EXPECT_EQ(seen.size(), session.Rows().size());  // every row announced as it came
  EXPECT_EQ(session.FileSummary().findings, 3u);
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
  // The progress handlers stay (a walk may still announce the folder or key it is in), but
  // no finish text is set by an abandoned scan.
  EXPECT_EQ(app::Utf8(session.FileProgressLabel()).find("Finished"), std::string::npos);
  EXPECT_EQ(app::Utf8(session.RegistryProgressLabel()).find("Finished"), std::string::npos);
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

// A machine whose walks find something in every one of many folders and keys, so a scan can
// be caught in the middle.
void ManyFindings(sim::MachineBuilder& b, int count) {
  for (int i = 0; i < count; ++i) {
    const std::u16string n = u"N" + std::u16string(1, static_cast<char16_t>(u'A' + i / 26)) +
                             std::u16string(1, static_cast<char16_t>(u'A' + i % 26));
    b.File(u"C:\\Many\\" + n + u"\\ghost.sys").hidden = true;
    b.StringValue(u"HKLM\\SOFTWARE\\Many\\" + n, u"ghost", u"x").hidden = true;
  }
}

TEST(DeepScanRefresh, RowsOfAnAbandonedScanNeverReappear) {
  constexpr int kCount = 40;
  sim::MachineBuilder b;
  ManyFindings(b, kCount);
  testing_support::SimMachineFixture fixture(b);
  auto mailbox = std::make_shared<app::TMailboxSynchronizer>();
  app::TDeepScanSession session(mailbox);
  int added = 0;
  session.OnRow = [&](const app::TDeepScanRow&) { ++added; };

  session.StartScan({"C:"}, {"HKEY_LOCAL_MACHINE"});
  for (int i = 0; i < 100000 && session.Rows().size() < 3 && session.Running(); ++i) mailbox->RunNext(10ms);
  ASSERT_GE(session.Rows().size(), 3u) << "the walks found too little to be caught in the middle";
  ASSERT_TRUE(session.Running());

  session.Refresh();
  EXPECT_TRUE(session.Rows().empty());
  EXPECT_FALSE(session.Running());
  added = 0;
  // The abandoned walks finish their folder or key; whatever they still report is dropped.
  while (mailbox->RunNext(200ms)) {
  }
  EXPECT_EQ(added, 0);
  EXPECT_TRUE(session.Rows().empty());

  // A new scan shows its own rows, once each.
  session.StartScan({"C:"}, {"HKEY_LOCAL_MACHINE"});
  Drain(*mailbox, session);
  std::size_t files = 0, values = 0;
  for (const auto& row : session.Rows()) {
    if (row.Type == "File" && row.Object == u"ghost.sys") ++files;
    if (row.Type == "Value" && row.Object == u"ghost") ++values;
  }
  EXPECT_EQ(files, static_cast<std::size_t>(kCount));
  EXPECT_EQ(values, static_cast<std::size_t>(kCount));
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

// The Deep Scan's file walk on small simulated machines: findings, their order, the walk itself.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>

#include "base/utf.h"
#include "files/deep_file_scanner.h"
#include "platform/sim/image_loader.h"
#include "test_support.h"

namespace {

using files::TRootKitScannerFiles;

const std::u16string kZeroName(u"a\0b", 3);

// Paths with "<NUL>" where a name holds a zero character.
std::string Shown(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c == 0)
      out += "<NUL>";
    else
      out += base::Utf16ToUtf8(std::u16string(1, c));
  }
  return out;
}

// Every report of one walk in the order it came: "scan F", "file P | text", "folder P | text".
struct Recording {
  std::vector<std::string> events;
  std::vector<std::string> Findings() const {
    std::vector<std::string> out;
    for (const auto& e : events)
      if (!e.starts_with("scan ")) out.push_back(e);
    return out;
  }
  std::vector<std::string> Scans() const {
    std::vector<std::string> out;
    for (const auto& e : events)
      if (e.starts_with("scan ")) out.push_back(e.substr(5));
    return out;
  }
};

void Record(TRootKitScannerFiles& s, Recording& r) {
  s.OnFolderScan.Set([&r](const std::u16string& f) { r.events.push_back("scan " + Shown(f)); });
  s.OnFileFinding.Set([&r](const std::u16string& p, const std::string& t) {
    r.events.push_back("file " + Shown(p) + " | " + t);
  });
  s.OnFolderFinding.Set([&r](const std::u16string& p, const std::string& t) {
    r.events.push_back("folder " + Shown(p) + " | " + t);
  });
}

// Builds the machine, walks `drives` on this thread and answers what was reported.
struct Walk {
  explicit Walk(sim::MachineBuilder& b, std::vector<std::string> drives = {"C:"}) : fixture(b) {
    scanner = std::make_unique<TRootKitScannerFiles>(std::make_shared<base::TDirectSynchronizer>());
    scanner->Drives = std::move(drives);
    Record(*scanner, recording);
  }
  Recording& Run() {
    scanner->Execute();
    return recording;
  }
  testing_support::SimMachineFixture fixture;
  std::unique_ptr<TRootKitScannerFiles> scanner;
  Recording recording;
};

void WithShellFolders(sim::MachineBuilder& b) {
  b.machine().system.shellFolders = sim::DefaultShellFolders(b.machine().system);
}

sim::Stream NamedStream(std::u16string name) {
  sim::Stream s;
  s.name = std::move(name);
  s.content = "x";
  s.size = 1;
  return s;
}

struct Case {
  const char* what;
  void (*setup)(sim::MachineBuilder&);
  std::vector<std::string> findings;
};

const Case kFindingCases[] = {
    {"file hidden from Win32",
     [](sim::MachineBuilder& b) { b.File(u"C:\\Temp\\ghost.sys").hidden = true; },
     {"file C:\\Temp\\ghost.sys | Invisible to Win32"}},
    {"folder hidden from Win32 is reported and walked",
     [](sim::MachineBuilder& b) {
       b.Folder(u"C:\\Secret").hidden = true;
       b.File(u"C:\\Secret\\inner.sys").hidden = true;
     },
     {"folder C:\\Secret | Invisible to Win32", "file C:\\Secret\\inner.sys | Invisible to Win32"}},
    {"letter case differs between the views",
     [](sim::MachineBuilder& b) {
       b.File(u"C:\\Temp\\MiXed.TXT").win32Name = u"mIxEd.txt";
       b.Folder(u"C:\\Temp\\\u00C9t\u00E9").win32Name = u"\u00E9T\u00C9";
     },
     {}},
    {"Win32 shows a file as a folder",
     [](sim::MachineBuilder& b) { b.File(u"C:\\odd.dat").win32Folder = true; },
     {"file C:\\odd.dat | Invisible to Win32"}},
    {"reserved names",
     [](sim::MachineBuilder& b) {
       b.File(u"C:\\lpt1");
       b.File(u"C:\\CON.txt");
       b.File(u"C:\\con1");
       b.File(u"C:\\xcon");
       b.Folder(u"C:\\lpt3.This folder");
     },
     {"file C:\\CON.txt | Reserved filename", "file C:\\lpt1 | Reserved filename",
      "folder C:\\lpt3.This folder | Reserved filename"}},
    {"zero character in a name (Win32 cannot show it either)",
     [](sim::MachineBuilder& b) { b.File(u"C:\\" + kZeroName); },
     {"file C:\\a<NUL>b | Invisible to Win32", "file C:\\a<NUL>b | Zero char in filename"}},
    {"several findings of one entry in check order",
     [](sim::MachineBuilder& b) {
       auto& f = b.File(u"C:\\nul.sys");
       f.hidden = true;
       f.streams.push_back(NamedStream(u"payload"));
     },
     {"file C:\\nul.sys | Invisible to Win32", "file C:\\nul.sys | Reserved filename",
      "file C:\\nul.sys:payload:$DATA | Unknown ADS"}},
    {"streams: benign names, unknown ones, streams of folders",
     [](sim::MachineBuilder& b) {
       auto& a = b.File(u"C:\\Temp\\a.txt");
       a.streams.push_back(NamedStream(u"Zone.Identifier"));
       a.streams.push_back(NamedStream(u"extra"));
       a.streams.push_back(NamedStream(u"favicon"));
       a.streams.push_back(NamedStream(u"zone.identifier"));  // the benign names are exact
       b.Folder(u"C:\\Temp\\dir").streams.push_back(NamedStream(u"in folder"));
     },
     {"file C:\\Temp\\a.txt:extra:$DATA | Unknown ADS",
      "file C:\\Temp\\a.txt:zone.identifier:$DATA | Unknown ADS",
      "file C:\\Temp\\dir:in folder:$DATA | Unknown ADS"}},
    {"stream name holding a zero character is reported whole",
     [](sim::MachineBuilder& b) { b.File(u"C:\\s.txt").streams.push_back(NamedStream(kZeroName)); },
     {"file C:\\s.txt:a<NUL>b:$DATA | Unknown ADS"}},
    {"ADS whitelist: eight-character streams of the common TEMP entry",
     [](sim::MachineBuilder& b) {
       WithShellFolders(b);
       auto& t = b.File(u"C:\\Documents and Settings\\All Users\\Application Data\\TEMP");
       t.streams.push_back(NamedStream(u"1a2b3c4d"));
       t.streams.push_back(NamedStream(u"1a2b3c4"));
     },
     {"file C:\\Documents and Settings\\All Users\\Application Data\\TEMP:1a2b3c4:$DATA | Unknown ADS"}},
    {"streams that cannot be listed",
     [](sim::MachineBuilder& b) {
       auto& f = b.File(u"C:\\locked.bin");
       f.streams.push_back(NamedStream(u"extra"));
       f.fail.streams = true;
     },
     {}},
    {"folder the native layer cannot open: no findings, not walked",
     [](sim::MachineBuilder& b) {
       auto& d = b.Folder(u"C:\\Closed");
       d.fail.nativeOpen = true;
       b.File(u"C:\\Closed\\ghost.sys").hidden = true;
       b.File(u"C:\\Closed\\Sub\\ghost2.sys").hidden = true;
       b.File(u"C:\\Closed\\con");
     },
     {}},
    {"junction: checked, not walked",
     [](sim::MachineBuilder& b) {
       auto& j = b.Folder(u"C:\\Users\\Me\\Application Data");
       j.attributes = 0x416;
       j.reparseTag = 0xA0000003;  // a mount point: points at its own parent, say
       j.hidden = true;
       b.File(u"C:\\Users\\Me\\Application Data\\inside.sys").hidden = true;
     },
     {"folder C:\\Users\\Me\\Application Data | Invisible to Win32"}},
    {"cloud placeholder folder: walked",
     [](sim::MachineBuilder& b) {
       auto& p = b.Folder(u"C:\\Users\\Me\\OneDrive");
       p.attributes = 0x410;
       p.reparseTag = 0x9000001A;
       b.File(u"C:\\Users\\Me\\OneDrive\\inside.sys").hidden = true;
     },
     {"file C:\\Users\\Me\\OneDrive\\inside.sys | Invisible to Win32"}},
};

TEST(DeepFileScanner, FindingTexts) {
  for (const Case& c : kFindingCases) {
    SCOPED_TRACE(c.what);
    sim::MachineBuilder b;
    c.setup(b);
    Walk walk(b);
    EXPECT_EQ(walk.Run().Findings(), c.findings);
  }
}

const char* kSystemOnly = "O:SYG:SYD:(A;;FA;;;SY)";

const Case kAclCases[] = {
    {"only SYSTEM has access",
     [](sim::MachineBuilder& b) { b.File(u"C:\\Temp\\locked.dat").sddl = kSystemOnly; },
     {"file C:\\Temp\\locked.dat | No admin in ACL"}},
    {"a folder's access list",
     [](sim::MachineBuilder& b) { b.Folder(u"C:\\Vault").sddl = kSystemOnly; },
     {"folder C:\\Vault | No admin in ACL"}},
    {"a deny entry for the administrators clears it",
     [](sim::MachineBuilder& b) { b.File(u"C:\\x.dat").sddl = "O:SYG:SYD:(A;;FA;;;SY)(D;;FA;;;BA)"; },
     {}},
    {"everyone may read: clears a file, not a folder",
     [](sim::MachineBuilder& b) {
       b.File(u"C:\\f.dat").sddl = "O:SYG:SYD:(A;;GR;;;WD)";
       b.Folder(u"C:\\g").sddl = "O:SYG:SYD:(A;;GR;;;WD)";
     },
     {"folder C:\\g | No admin in ACL"}},
    {"the user the scan runs as",
     [](sim::MachineBuilder& b) { b.File(u"C:\\mine.dat").sddl = "O:SYG:SYD:(A;;FA;;;S-1-5-21-1-2-3-1000)"; },
     {}},
    {"an empty access list", [](sim::MachineBuilder& b) { b.File(u"C:\\open.dat").sddl = "O:SYG:SYD:"; }, {}},
    {"an unreadable descriptor",
     [](sim::MachineBuilder& b) {
       auto& f = b.File(u"C:\\secret.dat");
       f.sddl = kSystemOnly;
       f.fail.security = true;
     },
     {}},
    {"the ACL whitelist", [](sim::MachineBuilder& b) { b.File(u"C:\\hiberfil.sys").sddl = kSystemOnly; }, {}},
    {"a name with a zero character gets no access test: the 8-bit path would name its folder",
     [](sim::MachineBuilder& b) {
       b.Folder(u"C:\\Vault").sddl = kSystemOnly;
       b.File(u"C:\\Vault\\" + std::u16string(1, u'\0') + u"evil");
     },
     {"folder C:\\Vault | No admin in ACL", "file C:\\Vault\\<NUL>evil | Invisible to Win32",
      "file C:\\Vault\\<NUL>evil | Zero char in filename"}},
};

TEST(DeepFileScanner, AccessListFindings) {
  for (const Case& c : kAclCases) {
    SCOPED_TRACE(c.what);
    sim::MachineBuilder b;
    c.setup(b);
    Walk walk(b);
    EXPECT_EQ(walk.Run().Findings(), c.findings);
  }
}

TEST(DeepFileScanner, WalksDepthFirstWithDrivesAndSubfoldersInReverse) {
  sim::MachineBuilder b;
  b.AddVolume(u'D');
  b.Folder(u"C:\\A\\X");
  b.File(u"C:\\A\\hidden.a").hidden = true;
  b.File(u"C:\\B\\hidden.b").hidden = true;
  b.File(u"C:\\hidden.c").hidden = true;
  b.File(u"D:\\hidden.d").hidden = true;
  Walk walk(b, {"C:", "D:\\anything"});
  EXPECT_EQ(walk.Run().events, (std::vector<std::string>{
                                   "scan D:\\",
                                   "file D:\\hidden.d | Invisible to Win32",
                                   "scan C:\\",
                                   "file C:\\hidden.c | Invisible to Win32",
                                   "scan C:\\B\\",
                                   "file C:\\B\\hidden.b | Invisible to Win32",
                                   "scan C:\\A\\",
                                   "file C:\\A\\hidden.a | Invisible to Win32",
                                   "scan C:\\A\\X\\",
                               }));
  const files::TFileScanCounts counts = walk.scanner->Counts();
  EXPECT_EQ(counts.folders, 5u);
  EXPECT_EQ(counts.files, 7u);  // A, B, X and the four files; no dot entries
  EXPECT_EQ(counts.findings, 4u);
  EXPECT_EQ(counts.recheckDrops, 0u);
}

TEST(DeepFileScanner, TerminationEndsTheWalkAfterTheCurrentFolder) {
  sim::MachineBuilder b;
  b.File(u"C:\\A\\hidden.a").hidden = true;
  b.File(u"C:\\B\\hidden.b").hidden = true;
  b.File(u"C:\\B\\hidden.c").hidden = true;
  Walk walk(b);
  bool ended = false;
  walk.scanner->OnTerminate.Set([&] { ended = true; });
  walk.scanner->OnFolderScan.Set([&](const std::u16string& f) {
    walk.recording.events.push_back("scan " + Shown(f));
    if (f == u"C:\\B\\") walk.scanner->Terminate();
  });
  EXPECT_EQ(walk.Run().events, (std::vector<std::string>{
                                   "scan C:\\",
                                   "scan C:\\B\\",
                                   "file C:\\B\\hidden.b | Invisible to Win32",
                                   "file C:\\B\\hidden.c | Invisible to Win32",
                               }));
  EXPECT_TRUE(ended);
  EXPECT_EQ(walk.scanner->Counts().folders, 2u);
}

TEST(DeepFileScanner, AnEntryThatAppearsBetweenTheTwoListingsIsDropped) {
  sim::MachineBuilder b;
  b.Folder(u"C:\\Temp");
  b.File(u"C:\\Temp\\ghost.sys").hidden = true;  // still hidden at the second look: stays
  Walk walk(b);
  int closes = 0;
  walk.fixture.machine().afterWin32List = [&](sim::Machine&, sim::FileNode& folder) {
    if (folder.name != u"Temp" || ++closes != 1) return;
    auto late = std::make_unique<sim::FileNode>();
    late->name = u"late.tmp";
    late->sddl = sim::kDefaultFileSddl;
    folder.AddChild(std::move(late));
  };
  EXPECT_EQ(walk.Run().Findings(),
            (std::vector<std::string>{"file C:\\Temp\\ghost.sys | Invisible to Win32"}));
  EXPECT_EQ(closes, 2);  // the folder's Win32 view was listed once more, once
  EXPECT_EQ(walk.scanner->Counts().recheckDrops, 1u);
}

TEST(DeepFileScanner, AnEntryGoneFromTheNativeViewAtTheSecondLookIsDropped) {
  sim::MachineBuilder b;
  b.File(u"C:\\Temp\\brief.tmp").hidden = true;
  Walk walk(b);
  int closes = 0;
  walk.fixture.machine().afterWin32List = [&](sim::Machine&, sim::FileNode& folder) {
    if (folder.name == u"Temp" && ++closes == 2) folder.RemoveChild(folder.FindChild(u"brief.tmp"));
  };
  EXPECT_EQ(walk.Run().Findings(), std::vector<std::string>{});
  EXPECT_EQ(walk.scanner->Counts().recheckDrops, 1u);
}

TEST(DeepFileScanner, FoldersWithoutCandidatesAreListedOnceByWin32) {
  sim::MachineBuilder b;
  b.File(u"C:\\Temp\\plain.txt");
  Walk walk(b);
  int closes = 0;
  walk.fixture.machine().afterWin32List = [&](sim::Machine&, sim::FileNode& folder) {
    if (folder.name == u"Temp") ++closes;
  };
  walk.Run();
  EXPECT_EQ(closes, 1);
}

TEST(DeepFileScanner, Windows98ReportsOnlyWhatWin32CanSee) {
  sim::MachineBuilder b;
  b.machine().system.major = 4;
  b.machine().system.minor = 10;
  b.machine().system.build = 2222;
  b.File(u"C:\\ghost.sys").hidden = true;
  b.File(u"C:\\con.txt").streams.push_back(NamedStream(u"extra"));
  b.File(u"C:\\lpt1\\aux");
  b.Folder(u"C:\\Closed").fail.nativeOpen = true;
  b.File(u"C:\\Closed\\prn");
  Walk walk(b);
  EXPECT_FALSE(walk.scanner->IsNTFamily);
  EXPECT_EQ(walk.Run().events, (std::vector<std::string>{
                                   "scan C:\\",
                                   "file C:\\con.txt | Reserved filename",
                                   "file C:\\lpt1 | Reserved filename",
                                   "scan C:\\lpt1\\",
                                   "file C:\\lpt1\\aux | Reserved filename",
                                   "scan C:\\Closed\\",
                                   "file C:\\Closed\\prn | Reserved filename",
                               }));
}

// The owner's side as a console program has it: reports wait in a mailbox until the owner
// thread runs them, and the worker blocks until its report has run.
class MailboxSynchronizer final : public base::TSynchronizer {
 public:
  void Synchronize(const std::function<void()>& call) override {
    std::unique_lock lock(mutex_);
    Item item{&call};
    queue_.push_back(&item);
    changed_.notify_all();
    changed_.wait(lock, [&] { return item.done; });
  }
  // Runs the waiting calls on this thread until `finished` holds and the mailbox is empty.
  void Drain(const std::atomic<bool>& finished) {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait_for(lock, std::chrono::milliseconds(10), [&] { return !queue_.empty() || finished; });
      if (queue_.empty()) {
        if (finished) return;
        continue;
      }
      Item* item = queue_.front();
      queue_.pop_front();
      lock.unlock();
      (*item->call)();
      lock.lock();
      item->done = true;
      changed_.notify_all();
    }
  }

 private:
  struct Item {
    const std::function<void()>* call;
    bool done = false;
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item*> queue_;
};

TEST(DeepFileScanner, RunsOnAWorkerThreadWithReportsOnTheOwnerThread) {
  sim::MachineBuilder b;
  b.File(u"C:\\A\\ghost.sys").hidden = true;
  b.File(u"C:\\B\\CON");
  testing_support::SimMachineFixture fixture(b);
  auto sync = std::make_shared<MailboxSynchronizer>();
  TRootKitScannerFiles scanner(sync);
  scanner.Drives = {"C:"};
  Recording r;
  Record(scanner, r);
  const auto owner = std::this_thread::get_id();
  bool allOnOwner = true;
  scanner.OnTerminate.Set([&] { allOnOwner = allOnOwner && std::this_thread::get_id() == owner; });
  scanner.OnFolderScan.Set([&](const std::u16string& f) {
    allOnOwner = allOnOwner && std::this_thread::get_id() == owner;
    r.events.push_back("scan " + Shown(f));
  });
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    scanner.Execute();
    finished = true;
  });
  sync->Drain(finished);
  worker.join();
  EXPECT_TRUE(allOnOwner);
  EXPECT_EQ(r.events,
            (std::vector<std::string>{"scan C:\\", "scan C:\\B\\", "file C:\\B\\CON | Reserved filename",
                                      "scan C:\\A\\", "file C:\\A\\ghost.sys | Invisible to Win32"}));
}

}  // namespace

namespace {

// The rows of the file scanner that tests/e2e/deep_demo_rows.txt expects of the demo image, in
// the order the walk finds them: "File|Folder <tab> path <tab> text".
std::vector<std::string> ExpectedDemoFileRows() {
  std::ifstream in(UMBRA_SOURCE_DIR "/tests/e2e/deep_demo_rows.txt");
  std::vector<std::string> rows;
  std::string line;
  bool files = false;
  while (std::getline(in, line)) {
    if (line.starts_with("# the file scanner")) files = true;
    if (line.starts_with("# the registry scanner")) files = false;
    if (!files || line.empty() || line.starts_with("#")) continue;
    rows.push_back(line.substr(0, line.rfind('\t')));  // without the catalogue mark
  }
  return rows;
}

TEST(DeepFileScanner, DemoImageGivesTheExpectedRowsInOrder) {
  sim::ScopedSimMachine scoped(sim::LoadImageFile(UMBRA_SOURCE_DIR "/resources/demo-image.json"));
  app::RunStartup();
  TRootKitScannerFiles scanner(std::make_shared<base::TDirectSynchronizer>());
  scanner.Drives = {"C:"};
  std::vector<std::string> rows;
  scanner.OnFileFinding.Set(
      [&](const std::u16string& p, const std::string& t) { rows.push_back("File\t" + Shown(p) + "\t" + t); });
  scanner.OnFolderFinding.Set([&](const std::u16string& p, const std::string& t) {
    rows.push_back("Folder\t" + Shown(p) + "\t" + t);
  });
  scanner.Execute();
  EXPECT_EQ(rows, ExpectedDemoFileRows());
  EXPECT_EQ(scanner.Counts().findings, rows.size());
}

}  // namespace

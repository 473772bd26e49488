// The suspicious-file archive on a simulated machine: what each kind of row puts into the cabinet
// and the log, native copies of reserved names, numbered names, and failures that leave nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>

#include "app/pack.h"
#include "archive/new_cab_archive.h"
#include "platform/sim/sim_platform.h"
#include "tests/unit/test_support.h"

namespace {

using Lines = std::vector<std::string>;

struct CabEntry {
  std::string name;
  std::uint32_t size = 0;
  bool operator==(const CabEntry&) const = default;
};

std::uint32_t Le(const std::string& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b.at(at + i));
  return v;
}

// The file entries of a single cabinet (its CFFILE records: name and uncompressed size).
std::vector<CabEntry> CabinetEntries(const std::string& cab) {
  if (cab.size() < 36 || cab.compare(0, 4, "MSCF") != 0) throw std::runtime_error("not a cabinet");
  EXPECT_EQ(Le(cab, 8, 4), cab.size()) << "the header's size is the file's";
  std::size_t at = Le(cab, 16, 4);
  const std::uint32_t files = Le(cab, 28, 2);
  std::vector<CabEntry> out;
  for (std::uint32_t i = 0; i < files; ++i) {
    CabEntry e;
    e.size = Le(cab, at, 4);
    const auto end = cab.find('\0', at + 16);
    e.name = cab.substr(at + 16, end - at - 16);
    at = end + 1;
    out.push_back(e);
  }
  return out;
}

std::vector<std::string> Names(const std::vector<CabEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

// The lines after "Operations:".
Lines Operations(const Lines& log) {
  const auto at = std::find(log.begin(), log.end(), "Operations:");
  return at == log.end() ? Lines{} : Lines(at + 1, log.end());
}

// The lines between "Requests:" and the empty line after them.
Lines RequestLines(const Lines& log) {
  auto at = std::find(log.begin(), log.end(), "Requests:");
  if (at == log.end()) return {};
  Lines out;
  for (++at; at != log.end() && !at->empty(); ++at) out.push_back(*at);
  return out;
}

app::TDeepScanRow FileRow(std::u16string_view path, const char* text = "Invisible to Win32") {
  return app::PathRow("File", app::kKindFile, path, text);
}
app::TDeepScanRow FolderRow(std::u16string_view path) {
  return app::PathRow("Folder", app::kKindFolder, path, "Invisible to Win32");
}

constexpr const char* kName = "requested-files[2008-06-14_10_30].cab";
constexpr const char* kOut = "C:\\out\\";

class PackTest : public ::testing::Test {
 protected:
  PackTest() {
    b.machine().system.localTime = platform::SystemTime{2008, 6, 6, 14, 10, 30, 5, 0};
    b.Folder(u"C:\\out");
    b.Folder(u"C:\\WINDOWS\\Temp");  // where a compressor that needs temporary files puts them
    b.Folder(u"C:\\empty");
    b.File(u"C:\\dir\\a.txt", "alpha");
    b.File(u"C:\\dir\\b.bin", std::string(10000, 'b'));
    b.File(u"C:\\dir\\sub\\deep.txt", "not packed with the folder");
    b.File(u"C:\\dir\\con.txt", std::string(9000, 'c'));  // more than two native reads
    b.File(u"C:\\dir\\unreadable.txt", "secret").fail.read = true;
    auto& streamed = b.File(u"C:\\dir\\s.txt", "main");
    streamed.streams.push_back({u"hid", "stream data", 11});
    b.StringValue(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Evil", u"Run", u"evil.exe");
    b.StringValue(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", u"v", u"x");
  }
  void Start() { fx.emplace(b); }

  sim::FileNode* Node(std::u16string_view path) { return fx->machine().FindFile(path); }
  std::string Content(std::u16string_view path) {
    auto* n = Node(path);
    return n == nullptr ? std::string("<missing>") : n->content;
  }
  std::vector<std::u16string> FolderNames(std::u16string_view path) {
    std::vector<std::u16string> names;
    for (const auto& c : Node(path)->children) names.push_back(c->name);
    return names;
  }
  app::TPackResult Pack(const std::vector<app::TDeepScanRow>& rows) {
    return app::PackSuspiciousFiles(rows, app::TPackPlace{kOut, {}});
  }

  sim::MachineBuilder b;
  std::optional<testing_support::SimMachineFixture> fx;
};

TEST_F(PackTest, EachKindOfRowGivesItsFilesAndLogLines) {
  struct Case {
    const char* what;
    std::function<std::vector<app::TDeepScanRow>()> rows;
    std::vector<CabEntry> cabinet;  // before the log (and the export, when `reg`)
    Lines requests;
    Lines operations;
    bool reg = false;
  } cases[] = {
      {"nothing found: only the log", [] { return std::vector<app::TDeepScanRow>{}; }, {}, {}, {}},
      {"a folder: the files directly in it, not those of its subfolders",
       [] { return std::vector{FolderRow(u"C:\\dir")}; },
       {{"C:\\dir\\a.txt", 5},
        {"C:\\dir\\b.bin", 10000},
        {"C:\\dir\\copied-con.txt", 9000},
        {"C:\\dir\\s.txt", 4}},
       {"C:\\dir\\*.*"},
       {"+ added: C:\\dir\\a.txt", "+ added: C:\\dir\\b.bin",
        "+ added: C:\\dir\\con.txt (as: C:\\dir\\copied-con.txt)", "+ added: C:\\dir\\s.txt",
        "- could not add: C:\\dir\\unreadable.txt", "  Access is denied."}},
      {"an empty folder: said so, not taken for a file named *.*",
       [] { return std::vector{FolderRow(u"C:\\empty")}; },
       {},
       {"C:\\empty\\*.*"},
       {"- could not add: C:\\empty\\*.*", "  the folder holds no files that can be listed"}},
      {"a stream: the stream itself, without :$DATA",
       [] { return std::vector{FileRow(u"C:\\dir\\s.txt:hid:$DATA", "Unknown ADS")}; },
       {{"C:\\dir\\s.txt:hid", 11}},
       {"C:\\dir\\s.txt:hid"},
       {"+ added: C:\\dir\\s.txt:hid"}},
      {"a reserved name: its native copy next to it",
       [] { return std::vector{FileRow(u"C:\\dir\\con.txt", "Reserved filename")}; },
       {{"C:\\dir\\copied-con.txt", 9000}},
       {"C:\\dir\\con.txt"},
       {"+ added: C:\\dir\\con.txt (as: C:\\dir\\copied-con.txt)"}},
      {"files that cannot be read or do not exist are logged, the others still go in",
       [] {
         return std::vector{FileRow(u"C:\\dir\\unreadable.txt"), FileRow(u"C:\\dir\\gone.txt"),
                            FileRow(u"C:\\dir\\a.txt")};
       },
       {{"C:\\dir\\a.txt", 5}},
       {"C:\\dir\\unreadable.txt", "C:\\dir\\gone.txt", "C:\\dir\\a.txt"},
       {"- could not add: C:\\dir\\unreadable.txt", "  Access is denied.",
        "- could not add: C:\\dir\\gone.txt", "  The system cannot find the file specified.",
        "+ added: C:\\dir\\a.txt"}},
      {"the same file twice: requested and stored once",
       [] {
         return std::vector{FileRow(u"C:\\dir\\a.txt"), FileRow(u"C:\\DIR\\A.TXT", "No admin in ACL")};
       },
       {{"C:\\dir\\a.txt", 5}},
       {"C:\\dir\\a.txt"},
       {"+ added: C:\\dir\\a.txt"}},
      {"keys and values: in the export, not among the requests",
       [] {
         return std::vector{app::RegistryRow("Key", app::kKindKey, platform::HKEY_LOCAL_MACHINE,
                                             u"\\SOFTWARE\\Evil", "Invisible to Win32", u""),
                            app::RegistryRow("Value", app::kKindValue, platform::HKEY_LOCAL_MACHINE,
                                             u"\\SOFTWARE\\Other\\", "Invisible to Win32", u"v")};
       },
       {},
       {},
       {},
       true},
  };
  Start();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto rows = c.rows();
    // Each case writes its own archive: remove the one before, so every case gets the plain name.
    fx->machine().FindFile(u"C:\\out")->children.clear();
    for (const auto& copy : {u"C:\\dir\\copied-con.txt"})
      if (auto* n = Node(copy)) n->parent->RemoveChild(n);

    const auto result = Pack(rows);
    EXPECT_EQ(result.archivePath, std::string(kOut) + kName);
    EXPECT_EQ(result.message,
              std::string("Your log and files have been saved as ") + kName + " in " + kOut + ".");
    EXPECT_EQ(RequestLines(result.logLines), c.requests);
    EXPECT_EQ(Operations(result.logLines), c.operations);

    const auto entries = CabinetEntries(Content(u"C:\\out\\requested-files[2008-06-14_10_30].cab"));
    auto expected = Names(c.cabinet);
    if (c.reg) expected.push_back(std::string(kName) + ".reg");
    expected.push_back(std::string(kName) + ".log");
    EXPECT_EQ(Names(entries), expected);
    for (std::size_t i = 0; i < c.cabinet.size() && i < entries.size(); ++i)
      EXPECT_EQ(entries[i], c.cabinet[i]);
    // The log and the export were only on the disk until they were in the cabinet.
    EXPECT_EQ(FolderNames(u"C:\\out"), std::vector<std::u16string>{u"requested-files[2008-06-14_10_30].cab"});

    std::size_t notAdded = 0;
    for (const auto& line : c.operations) notAdded += line.starts_with("- could not add: ") ? 1 : 0;
    EXPECT_EQ(result.notAdded.size(), notAdded);
  }
}

TEST_F(PackTest, HeaderLinesNameEveryRowWithItsKindAndText) {
  Start();
  const auto result = Pack({FolderRow(u"C:\\dir"), FileRow(u"C:\\dir\\s.txt:hid:$DATA", "Unknown ADS"),
                            app::RegistryRow("Key", app::kKindKey, platform::HKEY_LOCAL_MACHINE,
                                             u"\\SOFTWARE\\Evil", "Invisible to Win32", u""),
                            app::RegistryRow("Value", app::kKindValue, platform::HKEY_LOCAL_MACHINE,
                                             u"\\SOFTWARE\\Other\\", "Zero char in value name", u"v")});
  const Lines head(result.logLines.begin(), result.logLines.begin() + 10);
  EXPECT_EQ(head, (Lines{"Requested file archive at 2008-06-14 10:30:05", "Created by Umbrascope",
                         std::string(app::kPackNotice), "", "Folder, Invisible to Win32: C:\\dir",
                         "File, Unknown ADS: C:\\dir\\s.txt:hid:$DATA",
                         "Registry Key, Invisible to Win32: HKEY_LOCAL_MACHINE\\SOFTWARE\\Evil",
                         "Registry Value, Zero char in value name: HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\v",
                         "", "Requests:"}));
}

TEST_F(PackTest, ExistingFilesAreNeverReplaced) {
  b.File(u"C:\\dir\\copied-con.txt", "the user's own file");
  Start();
  const auto first = Pack({FileRow(u"C:\\dir\\con.txt")});
  const std::string firstBytes = Content(u"C:\\out\\requested-files[2008-06-14_10_30].cab");
  // The same minute again: the next number, the first archive and the older copy untouched.
  const auto second = Pack({FileRow(u"C:\\dir\\con.txt")});
  const auto third = Pack({FileRow(u"C:\\dir\\a.txt")});
  EXPECT_EQ(first.fileName, kName);
  EXPECT_EQ(second.fileName, "requested-files[2008-06-14_10_30]-2.cab");
  EXPECT_EQ(third.fileName, "requested-files[2008-06-14_10_30]-3.cab");
  EXPECT_EQ(Content(u"C:\\out\\requested-files[2008-06-14_10_30].cab"), firstBytes);
  EXPECT_EQ(Content(u"C:\\dir\\copied-con.txt"), "the user's own file");
  EXPECT_EQ(Operations(first.logLines), Lines{"+ added: C:\\dir\\con.txt (as: C:\\dir\\copied-con-2.txt)"});
  EXPECT_EQ(Operations(second.logLines), Lines{"+ added: C:\\dir\\con.txt (as: C:\\dir\\copied-con-3.txt)"});
  EXPECT_EQ(Content(u"C:\\dir\\copied-con-2.txt"), std::string(9000, 'c'));
  EXPECT_EQ(Names(CabinetEntries(Content(u"C:\\out\\requested-files[2008-06-14_10_30]-2.cab"))),
            (Lines{"C:\\dir\\copied-con-3.txt", "requested-files[2008-06-14_10_30]-2.cab.log"}));

  // A name taken in another folder (where the console copies the archive to) counts as taken too.
  const auto fourth =
      app::PackSuspiciousFiles({}, app::TPackPlace{kOut, [](const std::string& name) {
                                                     return name == "requested-files[2008-06-14_10_30]-4.cab";
                                                   }});
  EXPECT_EQ(fourth.fileName, "requested-files[2008-06-14_10_30]-5.cab");
}

TEST_F(PackTest, ACopyThatCannotBeReadIsNotAddedAndNotLeftBehind) {
  b.File(u"C:\\dir\\lpt1", "device-named").fail.nativeOpen = true;
  Start();
  const auto result = Pack({FileRow(u"C:\\dir\\lpt1", "Reserved filename")});
  EXPECT_EQ(Operations(result.logLines),
            (Lines{"- could not add: C:\\dir\\lpt1",
                   "  cannot open it through the native layer: access is denied"}));
  EXPECT_EQ(Node(u"C:\\dir\\copied-lpt1"), nullptr);
  ASSERT_EQ(result.notAdded.size(), 1u);
  EXPECT_EQ(result.notAdded[0].path, "C:\\dir\\lpt1");
}

// An archive whose extra content fails after the files went in.
class FailingArchive : public archive::TNewCabArchive {
 protected:
  void AddExtraContent() override {
    NewTemporaryFile("reg");
    throw std::runtime_error("the export broke off");
  }
};

TEST_F(PackTest, AFailedPackLeavesNoArchiveAndNoTemporaryFiles) {
  Start();
  {
    FailingArchive cab;
    cab.SetArchiveName("C:\\out\\broken.cab");
    cab.Requests() = {"C:\\dir\\a.txt", "C:\\dir\\b.bin"};
    EXPECT_THROW(cab.Pack(), std::runtime_error);
  }
  EXPECT_EQ(FolderNames(u"C:\\out"), std::vector<std::u16string>{});

  // A folder that is not there: nothing written, and the error says so.
  try {
    app::PackSuspiciousFiles({FileRow(u"C:\\dir\\a.txt")}, app::TPackPlace{"C:\\nowhere\\", {}});
    ADD_FAILURE() << "no error";
  } catch (const app::PackError& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with("no archive was written: ")) << e.what();
  }
}

TEST_F(PackTest, TheDesktopIsTheDefaultFolder) {
  b.machine().system.shellFolders[0x10] = u"C:\\out";
  Start();
  const auto result = app::PackSuspiciousFiles({});
  EXPECT_EQ(result.archivePath, std::string(kOut) + kName);
  EXPECT_EQ(result.message,
            std::string("Your log and files have been saved as ") + kName + " on your desktop.");
}

TEST(NumberedNameTest, InsertsTheNumberBeforeTheExtension) {
  struct Case {
    const char* path;
    int n;
    const char* expected;
  } cases[] = {
      {"C:\\d\\x[1].cab", 1, "C:\\d\\x[1].cab"},
      {"C:\\d\\x[1].cab", 2, "C:\\d\\x[1]-2.cab"},
      {"C:\\d.x\\name", 3, "C:\\d.x\\name-3"},
      {"C:\\d\\.cab", 2, "C:\\d\\.cab-2"},
  };
  for (const auto& c : cases) EXPECT_EQ(archive::NumberedName(c.path, c.n), c.expected) << c.path;
  EXPECT_EQ(archive::CopyName("C:\\d\\con.txt"), "C:\\d\\copied-con.txt");
  EXPECT_EQ(archive::CopyName("C:\\d\\lpt1", 2), "C:\\d\\copied-lpt1-2");
}

}  // namespace

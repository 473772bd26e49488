// The Quick Scan page's actions on a finding: the process ID it names and the line copied for it.
#include <gtest/gtest.h>

#include "app/quick_actions.h"
#include "test_support.h"

namespace {

TEST(QuickActions, ProcessIdIsTheNumberBeforeTheFirstColon) {
  const struct {
    const char* text;
    std::uint32_t pid;
  } cases[] = {
      {"1234", 1234},            // the handle indicator reports the bare ID
      {"1234:ghost.exe", 1234},  // the thread indicator adds a colon and the name
      {"1234:a:b", 1234},
      {"", 0},
      {":ghost.exe", 0},
      {"12a", 0},
      {"-5", 0},
      {" 12", 0},
      {"4294967295", 4294967295u},
      {"4294967296", 0},  // does not fit: no other process is picked by wrapping round
      {"99999999999999999999999", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(app::ProcessIdOfFinding(c.text), c.pid);
  }
}

TEST(QuickActions, TilesShowAtMostFiveFindings) {
  app::QuickScanReport report;
  EXPECT_EQ(app::MaxResultCount(report), 0);
  report.rows.resize(2);
  report.rows[0].findings.resize(3);
  EXPECT_EQ(app::MaxResultCount(report), 3);
  report.rows[1].findings.resize(8);
  EXPECT_EQ(app::MaxResultCount(report), 5);
}

TEST(QuickActions, IncludeFileLineByKind) {
  sim::MachineBuilder b;
  b.AddProcess(4, u"System");
  b.AddProcess(1234, u"ghost.exe", u"C:\\WINDOWS\\ghost.exe");
  b.AddProcess(700, u"locked.exe", u"C:\\locked.exe").openable = false;
  testing_support::SimMachineFixture fx(b);
  const std::string zero("HKEY_LOCAL_MACHINE\\SOFTWARE\\Hello\0World", 39);
  const struct {
    const char* what;
    app::QuickFinding finding;
    bool copy;
    std::string line;
    bool error;
  } cases[] = {
      {"bare process ID", {"1234", 0}, true, R"(File:"<$FILE_EXE>","C:\WINDOWS\ghost.exe")", false},
      {"ID and name", {"1234:ghost.exe", 0}, true, R"(File:"<$FILE_EXE>","C:\WINDOWS\ghost.exe")", false},
      {"process that cannot be opened", {"700", 0}, true, R"(File:"<$FILE_EXE>","")", false},
      {"file", {"C:\\WINDOWS\\ghost.sys", 3}, true, R"(File:"<$FILE_EXE>","C:\WINDOWS\ghost.sys")", false},
      {"value, long root",
       {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\evil", 5},
       true,
       R"(RegyValue:"HKEY_LOCAL_MACHINE","\SOFTWARE\Microsoft\Windows\CurrentVersion\Run\","evil")",
       false},
      {"key, short root written long",
       {"HKLM\\SOFTWARE\\Test\\Sub", 4},
       true,
       R"(RegyKey:"HKEY_LOCAL_MACHINE","\SOFTWARE\Test\","Sub")",
       false},
      {"key directly below the root",
       {"HKEY_USERS\\S-1-5-18", 4},
       true,
       R"(RegyKey:"HKEY_USERS","\","S-1-5-18")",
       false},
      {"folder: nothing to copy", {"C:\\WINDOWS\\hidden", 2}, false, "", false},
      {"unknown kind", {"x", 1}, false, "", false},
      {"unknown root", {"HKEY_NOWHERE\\a\\b", 4}, false, "", true},
      {"no backslash", {"HKEY_LOCAL_MACHINE", 5}, false, "", true},
      {"zero character would cut the name", {zero, 4}, false, "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const app::FindingLine l = app::IncludeFileLine(c.finding);
    EXPECT_EQ(l.copy, c.copy);
    EXPECT_EQ(l.line, c.line);
    EXPECT_EQ(!l.error.empty(), c.error) << l.error;
  }
}

}  // namespace

// The whole Quick Scan on a simulated machine: rows in registry order, and the text and JSON
// reports built from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "app/quick_scan.h"
#include "engine/indicator.h"
#include "test_support.h"

namespace {

const std::u16string kRun = u"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::u16string kNotify = u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify";

// A plain machine: the Windows and System folders, the two keys and three listed processes.
sim::MachineBuilder CleanMachine() {
  sim::MachineBuilder b;
  b.File(u"C:\\WINDOWS\\notepad.exe");
  b.File(u"C:\\WINDOWS\\system32\\kernel32.dll");
  b.StringValue(kRun, u"tray", u"C:\\WINDOWS\\tray.exe");
  b.Key(kNotify);
  b.AddProcess(0, u"System Idle Process").openable = false;
  b.AddProcess(4, u"System");
  b.AddProcess(500, u"explorer.exe", u"C:\\WINDOWS\\explorer.exe");
  return b;
}

// Seven files hidden in the Windows folder (one with a non-ASCII name), a hidden Run value whose
// name holds a zero character, and a process hidden from the process list that owns a handle.
sim::MachineBuilder InfectedMachine() {
  sim::MachineBuilder b = CleanMachine();
  for (char16_t c = u'0'; c < u'6'; ++c)
    b.File(u"C:\\WINDOWS\\rk" + std::u16string(1, c) + u".sys").hidden = true;
  b.File(u"C:\\WINDOWS\\\u00e9vil.sys").hidden = true;
  b.StringValue(kRun, std::u16string(u"a\0b", 3), u"x").hidden = true;
  auto& p = b.AddProcess(1234, u"evil.exe", u"C:\\x\\evil.exe");
  p.hidden = true;
  p.handles.push_back({0x8, 9, 0x1F0003, 0, u"", false});
  return b;
}

const char* const kDescriptions[] = {
    "Files in Windows folder",
    "Files in System folder",
    "Global run entries",
    "Winlogon entries",
    "Invisible processes (from handles)",
    "Invisible processes (from threads)",
};

TEST(QuickScan, CleanMachineHasSixCleanRowsAndNoFindingsSection) {
  auto b = CleanMachine();
  testing_support::SimMachineFixture fx(b);
  const app::QuickScanReport report = app::RunQuickScan();
  ASSERT_EQ(report.rows.size(), std::size(kDescriptions));
  for (std::size_t i = 0; i < report.rows.size(); ++i) {
    const app::QuickRow& r = report.rows[i];
    EXPECT_EQ(r.description, kDescriptions[i]);
    EXPECT_EQ(r.state, engine::kStateNothingFound) << r.description;
    EXPECT_TRUE(r.findings.empty()) << r.description;
    EXPECT_EQ(r.tileColumns, (std::vector<int>{1, 2})) << r.description;
  }
  EXPECT_FALSE(report.anythingFound());
  EXPECT_EQ(app::QuickScanText(report).find("Findings:"), std::string::npos);
}

TEST(QuickScan, FindingsOfEveryIndicatorReachTheReport) {
  auto b = InfectedMachine();
  testing_support::SimMachineFixture fx(b);
  const app::QuickScanReport report = app::RunQuickScan();
  ASSERT_EQ(report.rows.size(), std::size(kDescriptions));
  EXPECT_TRUE(report.anythingFound());

  struct Want {
    std::uint8_t state;
    std::vector<std::string> findings;  // UTF-8
    std::int32_t kind;
  };
  const Want want[] = {
      {engine::kStateFound,
       {"C:\\WINDOWS\\rk0.sys", "C:\\WINDOWS\\rk1.sys", "C:\\WINDOWS\\rk2.sys", "C:\\WINDOWS\\rk3.sys",
        "C:\\WINDOWS\\rk4.sys", "C:\\WINDOWS\\rk5.sys", "C:\\WINDOWS\\\xC3\xA9vil.sys"},
       engine::kKindFile},
      {engine::kStateNothingFound, {}, 0},
      {engine::kStateFound,
       {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\" + std::string("a\0b", 3)},
       engine::kKindValue},
      {engine::kStateNothingFound, {}, 0},
      {engine::kStateFound, {"1234"}, engine::kKindProcess},
      {engine::kStateFound, {"1234: evil.exe"}, engine::kKindProcess},
  };
  for (std::size_t i = 0; i < report.rows.size(); ++i) {
    const app::QuickRow& r = report.rows[i];
    EXPECT_EQ(r.description, kDescriptions[i]);
    EXPECT_EQ(r.state, want[i].state) << r.description;
    std::vector<std::string> texts;
    for (const auto& f : r.findings) {
      texts.push_back(f.text);
      EXPECT_EQ(f.kind, want[i].kind) << f.text;
    }
    // Every finding is kept, not only the five the row shows.
    EXPECT_EQ(texts, want[i].findings) << r.description;
    const std::size_t shown = std::min<std::size_t>(texts.size(), 5);
    EXPECT_EQ(r.tileColumns.size(), shown + 2) << r.description;
  }
  EXPECT_EQ(report.rows[0].result,
            "Hidden files: rk0.sys,rk1.sys,rk2.sys,rk3.sys,rk4.sys,rk5.sys,\xC3\xA9vil.sys");
}

TEST(QuickScan, JsonKeepsEveryFindingWithZeroCharactersIntact) {
  auto b = InfectedMachine();
  testing_support::SimMachineFixture fx(b);
  const nlohmann::json json = app::QuickScanJson(app::RunQuickScan());
  const auto& rows = json.at("indicators");
  ASSERT_EQ(rows.size(), std::size(kDescriptions));
  for (const auto& row : rows) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : row.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"description", "details", "findings", "result", "state"}));
  }
  EXPECT_EQ(rows[0].at("state"), 1);
  EXPECT_EQ(rows[0].at("findings").size(), 7u);
  EXPECT_EQ(rows[0].at("findings")[6].at("text"), "C:\\WINDOWS\\\xC3\xA9vil.sys");
  EXPECT_EQ(rows[0].at("findings")[6].at("kind"), engine::kKindFile);
  const std::string value = rows[2].at("findings")[0].at("text");
  EXPECT_EQ(value.substr(value.size() - 3), std::string("a\0b", 3));
  EXPECT_NE(json.dump().find("\\u0000"), std::string::npos);
}

TEST(QuickScan, TextShowsFiveFindingsPerRowAndListsAllBelow) {
  auto b = InfectedMachine();
  testing_support::SimMachineFixture fx(b);
  const std::string text = app::QuickScanText(app::RunQuickScan());
  // The row of the Windows folder: five findings, then a pointer to the other two.
  const std::size_t row = text.find("Files in Windows folder");
  const std::size_t next = text.find("Files in System folder");
  ASSERT_NE(row, std::string::npos);
  ASSERT_NE(next, std::string::npos);
  const std::string block = text.substr(row, next - row);
  EXPECT_NE(block.find("    - C:\\WINDOWS\\rk4.sys\n"), std::string::npos);
  EXPECT_EQ(block.find("rk5.sys\n"), std::string::npos);
  EXPECT_NE(block.find("(2 more below)"), std::string::npos);
  // The findings section lists all of them, each with its kind; a zero character is shown.
  const std::size_t below = text.find("\nFindings:\n");
  ASSERT_NE(below, std::string::npos);
  const std::string findings = text.substr(below);
  EXPECT_NE(findings.find("file\tC:\\WINDOWS\\rk5.sys\n"), std::string::npos);
  EXPECT_NE(findings.find("file\tC:\\WINDOWS\\\xC3\xA9vil.sys\n"), std::string::npos);
  EXPECT_NE(findings.find(
                "value\tHKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\a<NUL>b\n"),
            std::string::npos);
  EXPECT_NE(findings.find("process\t1234: evil.exe\n"), std::string::npos);
}

}  // namespace

// Path macros: the start-up table built from a small machine and the three expansions.
#include <gtest/gtest.h>

#include "platform/sim/builder.h"
#include "results/path_macros.h"
#include "test_support.h"

namespace {

using results::ExpandPathMacroList;
using results::ExpandPathMacros;
using results::ExpandPathMacroVariants;
using results::PathMacroTable;
using Strings = std::vector<std::string>;

const std::string kPF = "C:\\Program Files";
const std::string kPF86 = "C:\\Program Files (x86)";

// A 64-bit machine: the 32-bit software keeps its settings below Wow6432Node. The profile
// folder query has no answer, the desktop folder does.
sim::MachineBuilder SmallMachine() {
  sim::MachineBuilder b;
  auto& f = b.machine().system.shellFolders;
  f[36] = u"C:\\WINDOWS";
  f[37] = u"C:\\WINDOWS\\system32";
  f[38] = u"C:\\Program Files";
  f[16] = u"C:\\Docs\\Alice\\Desktop";
  f[26] = u"C:\\Docs\\Alice\\AppData";
  b.StringValue(u"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion", u"ProgramFilesDir",
                u"C:\\Program Files");
  b.StringValue(u"HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion", u"ProgramFilesDir",
                u"C:\\Program Files (x86)");
  b.StringValue(u"HKCU\\Environment", u"PATH", u"C:\\Tools\\;C:\\Other");
  b.StringValue(u"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", u"Start Menu",
                u"C:\\Docs\\Alice\\Start Menu");
  return b;
}

Strings Variants(std::string_view text) {
  Strings out;
  ExpandPathMacroVariants(text, out);
  return out;
}

Strings GroupOf(std::string_view name) {
  for (const auto& g : results::PathMacroGroups().Groups())
    if (g.name == name) return g.values;
  return {};
}

TEST(PathMacros, BuiltFromFoldersAndRegistry) {
  auto b = SmallMachine();
  testing_support::SimMachineFixture fx(b);
  const auto& t = PathMacroTable();
  EXPECT_EQ(t.Value("<$WINDIR>"), "C:\\WINDOWS");
  EXPECT_EQ(t.Value("<$sysdrive>"), "C:");
  EXPECT_EQ(t.Value("<$PATH>"), "C:\\Tools");  // first entry, trailing backslash dropped
  EXPECT_EQ(t.Value("<$QUICKLAUNCH>"),
            "C:\\Docs\\Alice\\AppData\\Microsoft\\Internet Explorer\\Quick Launch");
  // No shell folder 35: the user's application data folder stands in.
  EXPECT_EQ(t.Value("<$COMMONAPPDATA>"), "C:\\Docs\\Alice\\AppData");
  EXPECT_EQ(t.Value("<$COMMONSTARTMENU>"), "C:\\Docs\\Alice\\Start Menu");  // template copy
  EXPECT_EQ(t.Value("<$PROFILE>"), "C:\\Docs\\Alice");
  EXPECT_EQ(t.Value("<$PROFILES>"), "C:\\Docs");
  EXPECT_EQ(t.Value("<$TEMP>"), "");
  EXPECT_EQ(t.Value("<$SYSCPLDIR>"), "C:\\WINDOWS\\Systemsteuerung");
  EXPECT_EQ(t.Value("<$CONTROLS>"), "C:\\WINDOWS\\Systemsteuerung");

  // The overwriting record put the 32-bit folder on the first line; the second pass's folder
  // query is the last line, and the group holds both.
  EXPECT_EQ(t.Value("<$PROGRAMFILES>"), kPF86);
  EXPECT_EQ(GroupOf("<$PROGRAMFILES>"), (Strings{kPF, kPF86}));
  EXPECT_EQ(ExpandPathMacros("<$PROGRAMFILES>\\x"), kPF + "\\x");
  // The profile's later lines stay empty; the filled value joins the group.
  EXPECT_EQ(GroupOf("<$PROFILE>"), (Strings{"", "C:\\Docs\\Alice"}));
}

TEST(PathMacros, SingleExpansionPassesOverLinesLeftEmpty) {
  auto b = SmallMachine();
  testing_support::SimMachineFixture fx(b);
  EXPECT_EQ(ExpandPathMacros("<$PROFILE>\\ntuser.dat"), "C:\\Docs\\Alice\\ntuser.dat");
  EXPECT_EQ(ExpandPathMacros("[<$LOCALSETTINGS>]"), "[]");  // never known: empty
}

TEST(PathMacros, LetterCaseOfMacros) {
  auto b = SmallMachine();
  testing_support::SimMachineFixture fx(b);
  EXPECT_EQ(ExpandPathMacros("<$windir>\\a"), "<$windir>\\a");
  EXPECT_EQ(Variants("<$windir>\\a"), (Strings{"<$windir>\\a"}));
  EXPECT_EQ(ExpandPathMacros("<$WINDIR>\\a;<$windir>\\b"), "C:\\WINDOWS\\a;C:\\WINDOWS\\b");
  EXPECT_EQ(Variants("<$WINDIR>\\a;<$windir>\\b"), (Strings{"C:\\WINDOWS\\a;<$windir>\\b"}));
}

TEST(PathMacros, DoubledMacroGivesEveryCombination) {
  auto b = SmallMachine();
  testing_support::SimMachineFixture fx(b);
  EXPECT_EQ(Variants("<$PROGRAMFILES>\\a;<$PROGRAMFILES>\\b"),
            (Strings{kPF86 + "\\a;" + kPF + "\\b", kPF86 + "\\a;" + kPF86 + "\\b", kPF + "\\a;" + kPF + "\\b",
                     kPF + "\\a;" + kPF86 + "\\b"}));
  // The caller's list keeps what it held; the variants are appended.
  Strings list{"<$PROGRAMFILES>"};
  ExpandPathMacroVariants("x", list);
  EXPECT_EQ(list, (Strings{"<$PROGRAMFILES>", "x"}));
}

TEST(PathMacros, RegularExpressionsGetEscapedValues) {
  auto b = SmallMachine();
  testing_support::SimMachineFixture fx(b);
  EXPECT_EQ(results::EscapeForRegExpr("C:\\a (b).c"), "C:\\\\a \\(b\\)\\.c");
  EXPECT_EQ(ExpandPathMacros("<regexpr><$WINDIR>\\\\x"), "<regexpr>C:\\\\WINDOWS\\\\x");
  EXPECT_EQ(Variants("<regexpr><$PROGRAMFILES>"),
            (Strings{"<regexpr>C:\\\\Program Files", "<regexpr>C:\\\\Program Files \\(x86\\)"}));
  // "=<regexpr>" inside the text switches escaping on for the single expansion only.
  EXPECT_EQ(ExpandPathMacros("k=<regexpr><$WINDIR>"), "k=<regexpr>C:\\\\WINDOWS");
  EXPECT_EQ(Variants("k=<regexpr><$WINDIR>"), (Strings{"k=<regexpr>C:\\WINDOWS"}));
  EXPECT_EQ(ExpandPathMacros("<REGEXPR><$WINDIR>"), "<REGEXPR>C:\\WINDOWS");
}

TEST(PathMacros, ListExpansionReplacesLinesInPlace) {
  auto b = SmallMachine();
  testing_support::SimMachineFixture fx(b);
  Strings lines{"[Files]", "<$PROGRAMFILES>\\a=1", "<$FILE_EXE>=2", "plain=3"};
  ExpandPathMacroList(lines);
  EXPECT_EQ(lines, (Strings{"[Files]", kPF + "\\a=1", kPF86 + "\\a=1", "<$FILE_EXE>=2", "plain=3"}));
}

TEST(PathMacros, ValueThatLooksLikeAMacroEndsTheExpansion) {
  auto b = SmallMachine();
  b.StringValue(u"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                u"Common Desktop", u"<$COMMONDESKTOP>\\x");
  testing_support::SimMachineFixture fx(b);
  EXPECT_EQ(Variants("<$COMMONDESKTOP>"), (Strings{"", "<$COMMONDESKTOP>\\x"}));
}

TEST(PathMacros, FallbacksWithoutShellFolders) {
  sim::MachineBuilder b;
  b.machine().system.windowsDirectory = u"D:\\WIN";
  b.StringValue(u"HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", u"Favorites",
                u"D:\\Fav");
  b.StringValue(u"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion", u"SystemRoot", u"D:\\NT");
  b.StringValue(u"HKLM\\Software\\CLASSES\\CLSID\\{21EC2020-3AEA-1069-A2DD-08002B30309D}", u"",
                u"Control Panel");
  testing_support::SimMachineFixture fx(b);
  EXPECT_EQ(results::MySpecialDir(36), "D:\\WIN");
  EXPECT_EQ(results::MySpecialDir(6), "D:\\Fav");
  EXPECT_EQ(results::MySpecialDir(40), "");
  const auto& t = PathMacroTable();
  EXPECT_EQ(t.Value("<$WINDIR>"), "D:\\WIN");
  EXPECT_EQ(t.Value("<$SYSDRIVE>"), "D:");
  EXPECT_EQ(t.Value("<$TEMP>"), "D:\\NT\\Temp");
  EXPECT_EQ(t.Value("<$SYSCPLDIR>"), "D:\\WIN\\Control Panel");
  EXPECT_EQ(t.Value("<$CONTROLS>"), "D:\\WIN\\Control Panel");
}

TEST(MacroTable, FirstLineRules) {
  // The same answers when the system cannot compare texts: the comparison then falls back to
  // the folded texts instead of calling every pair equal.
  for (const bool systemCompares : {true, false}) {
    SCOPED_TRACE(systemCompares ? "system compares" : "CompareString fails");
    sim::MachineBuilder b;
    b.machine().system.compareStrings = systemCompares;
    testing_support::SimMachineFixture fx(b);
    results::TMacroTable t;
    t.Append("<$A>", "1");
    t.Append("<$A>", "2");
    EXPECT_EQ(t.Value("<$a>"), "1");
    t.SetValue("<$A>", "3");
    EXPECT_EQ(t.Lines().front().value, "3");
    t.SetValue("<$A>", "");
    ASSERT_EQ(t.Lines().size(), 1u);
    EXPECT_EQ(t.Value("<$A>"), "2");
    t.SetValue("<$B>", "x");
    EXPECT_EQ(t.Lines().back().name, "<$B>");
    EXPECT_EQ(t.Value("<$C>"), "");

    results::TMacroGroups g;
    t.Append("<$b>", "X");
    t.Append("<$B>", "");
    g.Merge(t);
    ASSERT_EQ(g.Groups().size(), 2u);
    EXPECT_EQ(g.Groups()[1].name, "<$B>");
    EXPECT_EQ(g.Groups()[1].values, (Strings{"", "x"}));
  }
}

}  // namespace

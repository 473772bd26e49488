// File searches by match rule on a small simulated tree: one folder and breadth-first walks.
#include <gtest/gtest.h>

#include <regex>

#include "files/find_files.h"
#include "tests/unit/test_support.h"

namespace {

using Names = std::vector<std::string>;

class FindFilesTest : public ::testing::Test {
 protected:
  FindFilesTest() {
    for (const char16_t* f : {u"C:\\dir\\a.txt", u"C:\\dir\\b.TXT", u"C:\\dir\\c.dat", u"C:\\dir\\ sp.txt",
                              u"C:\\dir\\sub\\d.txt", u"C:\\dir\\sub\\deeper\\e.txt",
                              u"C:\\dir\\a (1)\\f.txt", u"C:\\dir\\[x\\g.txt"})
      b.File(f);
    b.Folder(u"C:\\dir\\x.y");
    b.File(u"C:\\dir\\ghost.txt").hidden = true;
    fx.emplace(b);
  }
  sim::MachineBuilder b;
  std::optional<testing_support::SimMachineFixture> fx;
};

// Folder C:\dir lists as: " sp.txt", "a (1)", "a.txt", "b.TXT", "c.dat", "sub", "x.y", "[x".
TEST_F(FindFilesTest, OneFolderByPlainAndPrefixedPatterns) {
  struct Case {
    const char* pattern;
    bool files, folders;
    int form;
    Names expected;
  } cases[] = {
      {R"(C:\dir\*.txt)", true, false, 0, {"sp.txt", "a.txt", "b.TXT"}},
      {R"(C:\dir\*.txt)", true, false, 1, {R"(C:\dir\sp.txt)", R"(C:\dir\a.txt)", R"(C:\dir\b.TXT)"}},
      {R"(C:\dir\*.txt)", true, false, 2, {}},
      {R"(C:\dir\*.*)", false, true, 0, {".", "..", "a (1)", "sub", "x.y", "[x"}},
      {R"(C:\missing\*.*)", true, true, 0, {}},
      {R"(<wc>C:\dir\*.TXT)", true, false, 0, {"sp.txt", "a.txt", "b.TXT"}},
      {R"(<wc>C:\dir\*.TXT)", false, true, 0, {}},
      {R"(<substr>C:\dir\c)", true, true, 1, {R"(C:\dir\c.dat)"}},
      {R"(<bm>C:\dir\SUB)", false, true, 0, {"sub"}},
      {R"(<bool>C:\dir\a AND NOT txt)", true, true, 0, {"a (1)"}},
      {R"(<regexpr>C:\\dir\\[ab]\.txt$)", true, false, 0, {"a.txt", "b.TXT"}},
      {R"(<regexpr>C:\\dir\\.*\.dat$)", true, false, 1, {R"(C:\dir\c.dat)"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(files::FindFiles(c.pattern, c.files, c.folders, c.form), c.expected) << c.pattern;
  EXPECT_THROW(files::FindFiles(R"(<regexpr>C:\\dir\\[)", true, true, 0), std::regex_error);
}

TEST_F(FindFilesTest, TreeWalksBreadthFirstWithFullOrRelativePaths) {
  const Names allTxtRelative = {
      "sp.txt", "a.txt", "b.TXT", R"(a (1)\f.txt)", R"(sub\d.txt)", R"([x\g.txt)", R"(sub\deeper\e.txt)"};
  Names allTxtFull;
  for (const auto& n : allTxtRelative) allTxtFull.push_back(R"(C:\dir\)" + n);
  struct Case {
    const char* pattern;
    bool files, folders, walk, full;
    Names expected;
  } cases[] = {
      {R"(C:\dir\*.txt)", true, false, true, true, allTxtFull},
      {R"(C:\dir\*.txt)", true, false, true, false, allTxtRelative},
      {R"(C:\dir\*.txt)",
       true,
       false,
       false,
       true,
       {R"(C:\dir\sp.txt)", R"(C:\dir\a.txt)", R"(C:\dir\b.TXT)"}},
      // Subfolders are walked whatever the rule says about their own names.
      {R"(<wc>C:\dir\*.txt)", true, false, true, false, allTxtRelative},
      // Folder names found on the way are literals inside the expression: "(1)" and "[x".
      {R"(<regexpr>C:\\dir\\.*\.txt$)", true, false, true, true, allTxtFull},
      {R"(C:\dir\*.*)", false, true, true, false, {"a (1)", "sub", "x.y", "[x", R"(sub\deeper)"}},
      {R"(C:\dir\sub\*.*)", true, true, false, true, {R"(C:\dir\sub\d.txt)", R"(C:\dir\sub\deeper)"}},
      {R"(C:\dir\*.txt)", false, false, true, true, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(files::FindFilesTree(c.pattern, c.files, c.folders, c.walk, c.full), c.expected) << c.pattern;
}

}  // namespace

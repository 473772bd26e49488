// The Win32 file finder on simulated folders, hidden entries filtered as the rootkit does.
#include <gtest/gtest.h>

#include "files/file_finder.h"
#include "tests/unit/test_support.h"

namespace {

using Names = std::vector<std::string>;

class FileFinderTest : public ::testing::Test {
 protected:
  FileFinderTest() {
    b.File(u"C:\\a\\b.txt");
    b.File(u"C:\\a\\a.txt");
    b.Folder(u"C:\\a\\sub");
    b.File(u"C:\\a\\sub\\y.txt");
    b.File(u"C:\\a\\sub\\z.dat");
    b.File(u"C:\\d\\k.txt");
    b.Folder(u"C:\\d\\deep");
    b.File(u"C:\\d\\deep\\m.txt");
  }
  void Start() { fixture.emplace(b); }
  Names Run(const std::string& masks, bool recursive, bool fullPaths = true, bool relative = false) {
    files::TFileFinder f;
    f.Masks = masks;
    f.Recursive = recursive;
    f.FullPaths = fullPaths;
    f.RelativePaths = relative;
    Names hits;
    f.OnFileFound = [&](const std::string& t, const files::TSearchRec&) { hits.push_back(t); };
    f.OnFolderFound = [&](const std::string& t, const files::TSearchRec&) { hits.push_back(t + "/"); };
    f.Start();
    return hits;
  }
  sim::MachineBuilder b;
  std::optional<testing_support::SimMachineFixture> fixture;
};

TEST_F(FileFinderTest, ListFolderGivesFilesThenFoldersWithoutDots) {
  Start();
  Names out;
  files::ListFolder("C:\\a\\*.*", out, true, false, false, false, true);
  EXPECT_EQ(out, (Names{"a.txt", "b.txt", "sub"}));
}

TEST_F(FileFinderTest, MasksAreSearchedInOrderThenTheirSubfoldersBreadthFirst) {
  Start();
  EXPECT_EQ(Run("C:\\a\\;C:\\d\\*.txt", true),
            (Names{"C:\\a\\a.txt", "C:\\a\\b.txt", "C:\\a\\sub/", "C:\\d\\k.txt", "C:\\a\\sub\\y.txt",
                   "C:\\a\\sub\\z.dat", "C:\\d\\deep\\m.txt"}));
  EXPECT_EQ(Run("C:\\a\\*.*", true, false, true),
            (Names{"a.txt", "b.txt", "sub/", "sub\\y.txt", "sub\\z.dat"}));
  EXPECT_EQ(Run("C:\\a\\*.*", true, false, false), (Names{"a.txt", "b.txt", "sub/", "y.txt", "z.dat"}));
}

TEST_F(FileFinderTest, HiddenEntriesAndFailedFoldersAreNotListed) {
  b.File(u"C:\\a\\evil.sys").hidden = true;
  b.File(u"C:\\a\\rk_x.dll");
  b.Hide(u"RK_*");
  b.File(u"C:\\a\\" + std::u16string(u"q\0r.txt", 7));
  b.Folder(u"C:\\d").fail.win32List = true;
  Start();
  // A name holding a zero character reads as the text before the zero.
  EXPECT_EQ(Run("C:\\a\\*.*;C:\\d\\*.*;C:\\missing\\*.*", false),
            (Names{"C:\\a\\a.txt", "C:\\a\\b.txt", "C:\\a\\q", "C:\\a\\sub/"}));
}

TEST_F(FileFinderTest, StopRequestEndsTheSearch) {
  Start();
  files::TFileFinder f;
  f.Masks = "C:\\a\\*.*";
  int hits = 0;
  f.OnFileFound = [&](const std::string&, const files::TSearchRec&) {
    ++hits;
    f.StopRequested = true;
  };
  f.Start();
  EXPECT_EQ(hits, 1);
  EXPECT_FALSE(f.Running);
}

}  // namespace

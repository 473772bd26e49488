// The hidden-files indicator on simulated Windows folders.
#include <gtest/gtest.h>

#include "engine/nt_files_indicator.h"
#include "tests/unit/test_support.h"

namespace {

using engine::TRootKitIndicatorNTFiles;
using Strings = std::vector<std::string>;

class HiddenFilesIndicatorTest : public ::testing::Test {
 protected:
  HiddenFilesIndicatorTest() {
    b.File(u"C:\\WINDOWS\\explorer.exe");
    b.File(u"C:\\WINDOWS\\win.ini");
    b.Folder(u"C:\\WINDOWS\\system32");
  }
  TRootKitIndicatorNTFiles& Run() {
    fixture.emplace(b);
    ind = std::make_unique<TRootKitIndicatorNTFiles>(
        "filepath=C:\\WINDOWS\\,description=Files in Windows folder");
    ind->RunTest();
    return *ind;
  }
  sim::MachineBuilder b;
  std::optional<testing_support::SimMachineFixture> fixture;
  std::unique_ptr<TRootKitIndicatorNTFiles> ind;
};

TEST_F(HiddenFilesIndicatorTest, CleanFolderFindsNothing) {
  auto& i = Run();
  EXPECT_EQ(i.State(), engine::kStateNothingFound);
  EXPECT_EQ(i.ResultText(), "No hidden files detected.");
  EXPECT_EQ(i.DetailsText(), "3 files were tested.");
}

TEST_F(HiddenFilesIndicatorTest, HiddenEntriesAreReportedInNativeOrder) {
  b.File(u"C:\\WINDOWS\\evil.sys").hidden = true;
  b.Folder(u"C:\\WINDOWS\\$rk");
  b.Hide(u"$RK*");
  auto& i = Run();
  EXPECT_EQ(i.State(), engine::kStateFound);
  EXPECT_EQ(i.Results(), (Strings{"C:\\WINDOWS\\$rk", "C:\\WINDOWS\\evil.sys"}));
  EXPECT_EQ(i.ResultKinds(), (std::vector<std::int32_t>{engine::kKindFolder, engine::kKindFile}));
  EXPECT_EQ(i.ResultText(), "Hidden files: $rk,evil.sys");
  EXPECT_EQ(i.DetailsText(), "5 files were tested.");  // the hidden ones count too
}

TEST_F(HiddenFilesIndicatorTest, CaseDifferencesAreNotFindings) {
  // The Win32 listing spells these names in another letter case than the native listing does.
  b.File(u"C:\\WINDOWS\\Mixed.TXT").win32Name = u"mIXED.txt";
  b.File(u"C:\\WINDOWS\\\u00C4rger.ini").win32Name = u"\u00E4RGER.INI";  // beyond ASCII, in the code page
  b.Folder(u"C:\\WINDOWS\\Fonts").win32Name = u"FONTS";
  auto& i = Run();
  EXPECT_TRUE(i.Results().empty());
  EXPECT_EQ(i.State(), engine::kStateNothingFound);
}

TEST_F(HiddenFilesIndicatorTest, ReservedNamesTakeTheirKindFromWin32) {
  b.File(u"C:\\WINDOWS\\con.txt");
  b.File(u"C:\\WINDOWS\\LPT1").win32Folder = true;
  b.File(u"C:\\WINDOWS\\com10");
  b.File(u"C:\\WINDOWS\\conx");
  auto& i = Run();
  EXPECT_EQ(i.Results(), (Strings{"C:\\WINDOWS\\con.txt", "C:\\WINDOWS\\LPT1"}));
  EXPECT_EQ(i.ResultKinds(), (std::vector<std::int32_t>{engine::kKindFile, engine::kKindFolder}));
}

TEST_F(HiddenFilesIndicatorTest, NameCutAtItsZeroCharacterIsAFinding) {
  // Win32 readers see "dup" for "dup<NUL>x", a duplicate of a real name; the native name differs.
  b.File(u"C:\\WINDOWS\\dup");
  b.File(u"C:\\WINDOWS\\" + std::u16string(u"dup\0x", 5));
  auto& i = Run();
  ASSERT_EQ(i.Results().size(), 1u);
  EXPECT_EQ(i.Results()[0], std::string("C:\\WINDOWS\\dup\0x", 16));
}

TEST_F(HiddenFilesIndicatorTest, CountsThatDifferSetTheStateWithoutFindings) {
  b.Folder(u"C:\\WINDOWS").fail.nativeListAfter = 1;
  auto& i = Run();
  EXPECT_TRUE(i.Results().empty());
  EXPECT_EQ(i.State(), engine::kStateFound);
  EXPECT_EQ(i.ResultText(), "No hidden files detected.");
  EXPECT_EQ(i.DetailsText(), "1 files were tested.");
}

TEST_F(HiddenFilesIndicatorTest, UnopenableNativeFolderComparesNothing) {
  b.Folder(u"C:\\WINDOWS").fail.nativeOpen = true;
  b.File(u"C:\\WINDOWS\\evil.sys").hidden = true;
  auto& i = Run();
  EXPECT_EQ(i.State(), engine::kStateNothingFound);
  EXPECT_EQ(i.DetailsText(), "0 files were tested.");
}

TEST_F(HiddenFilesIndicatorTest, UnlistableWin32FolderReportsEveryNativeEntry) {
  b.Folder(u"C:\\WINDOWS").fail.win32List = true;
  auto& i = Run();
  EXPECT_EQ(i.Results().size(), 3u);
}

TEST_F(HiddenFilesIndicatorTest, OutsideTheNtFamilyOnlyReservedNamesCount) {
  b.machine().system.major = 4;
  b.machine().system.minor = 10;
  b.machine().system.build = 1998;
  b.File(u"C:\\WINDOWS\\evil.sys").hidden = true;
  auto& i = Run();
  EXPECT_EQ(i.State(), engine::kStateNothingFound);
  EXPECT_EQ(i.DetailsText(), "0 files were tested.");
}

TEST_F(HiddenFilesIndicatorTest, RegisteredRowsTestTheWindowsAndSystemFolders) {
  b.File(u"C:\\WINDOWS\\system32\\evil.sys").hidden = true;
  Run();
  const auto& rows = engine::RegisteredIndicators();
  ASSERT_GE(rows.size(), 2u);
  auto sys = rows[1].IndicatorClass->Create(rows[1].Params);
  sys->RunTest();
  EXPECT_EQ(sys->Results(), (Strings{"C:\\WINDOWS\\system32\\evil.sys"}));
  EXPECT_EQ(sys->Description(), "Files in System folder");
}

}  // namespace

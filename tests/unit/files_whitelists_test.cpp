// The scanner whitelists: drive-free entries, exact and wildcard entries, duplicate folding.
#include <gtest/gtest.h>

#include "base/match_rules.h"
#include "files/whitelists.h"
#include "test_support.h"

namespace {

sim::MachineBuilder XpMachine() {
  sim::MachineBuilder b;
  b.machine().system.shellFolders[35] = u"C:\\Documents and Settings\\All Users\\Application Data";
  return b;
}

TEST(WhiteLists, AclAndAdsEntriesMatchOnAnyDrive) {
  auto b = XpMachine();
  testing_support::SimMachineFixture fx(b);
  files::TACLWhiteList acl;
  files::TADSWhiteList ads;
  const std::string temp = "C:\\Documents and Settings\\All Users\\Application Data\\TEMP";
  struct Case {
    const files::TDriveStrippedWhiteList* list;
    std::string path;
    bool matches;
  } cases[] = {
      {&acl, "D:\\hiberfil.sys", true},
      {&acl, "C:\\HIBERFIL.SYS", true},
      {&acl, "C:\\Temp\\hiberfil.sys", false},
      {&acl, "C:\\USERDATA\\x", true},
      {&acl, "C:\\USERDATA\\a\\b", true},
      {&acl, "C:\\USERDATA", false},
      {&acl, "C:\\System Volume Information", true},
      {&acl, "C:\\System Volume Information\\x", false},
      {&acl, "E:\\Documents and Settings\\All Users\\Application Data\\Microsoft\\Office\\Data\\f", true},
      {&acl, "", false},
      {&ads, temp + ":1a2b3c4d:$DATA", true},
      {&ads, temp + ":1a2b3c4:$DATA", false},
      {&ads, temp + ":1a2b3c4d5:$DATA", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.list->Matches(c.path), c.matches) << c.path;
}

TEST(WhiteLists, EntriesAreSortedAndStoredOnceIgnoringCase) {
  sim::MachineBuilder b;  // Windows folder C:\WINDOWS
  testing_support::SimMachineFixture fx(b);
  files::TACLWhiteList acl;
  int bth = 0;
  for (int i = 0; i < acl.Count(); ++i) bth += acl.Strings(i) == ":\\Windows\\bthservsdp.dat" ? 1 : 0;
  EXPECT_EQ(bth, 1);
  files::TDriveStrippedWhiteList list;
  list.AddStripped("Cb");
  list.AddStripped("DA");
  list.AddStripped("Ea");
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Strings(0), "A");
  EXPECT_EQ(list.Strings(1), "b");
}

TEST(WhiteLists, WildcardRule) {
  struct Case {
    const char* text;
    const char* pattern;
    bool matches;
  } cases[] = {
      {"abc", "a*", true}, {"abc", "*b*", true}, {"abc", "a?c", true}, {"abc", "a?", false},
      {"abc", "", false},  {"", "*", true},      {"", "?", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(base::MatchWildcard(c.text, c.pattern, true), c.matches) << c.text << " ~ " << c.pattern;
}

}  // namespace

// The scanner whitelists: drive-free entries, exact and wildcard entries, duplicate folding.
#include <gtest/gtest.h>

#include "base/match_rules.h"
#include "files/whitelists.h"
#include "test_support.h"

namespace {

// `systemCompares` false: CompareString fails, and the lists must answer the same regardless.
sim::MachineBuilder XpMachine(bool systemCompares) {
  sim::MachineBuilder b;
  b.machine().system.shellFolders[35] = u"C:\\Documents and Settings\\All Users\\Application Data";
  b.machine().system.compareStrings = systemCompares;
  return b;
}

TEST(WhiteLists, AclAndAdsEntriesMatchOnAnyDrive) {
  const std::string temp = "C:\\Documents and Settings\\All Users\\Application Data\\TEMP";
  struct Case {
    bool acl;  // else the stream list
    std::string path;
    bool matches;
  } cases[] = {
      {true, "D:\\hiberfil.sys", true},
      {true, "C:\\HIBERFIL.SYS", true},
      {true, "C:\\Temp\\hiberfil.sys", false},
      {true, "C:\\USERDATA\\x", true},
      {true, "C:\\USERDATA\\a\\b", true},
      {true, "C:\\USERDATA", false},
      {true, "C:\\System Volume Information", true},
      {true, "C:\\System Volume Information\\x", false},
      {true, "E:\\Documents and Settings\\All Users\\Application Data\\Microsoft\\Office\\Data\\f", true},
      {true, "", false},
      {false, temp + ":1a2b3c4d:$DATA", true},
      {false, temp + ":1a2b3c4:$DATA", false},
      {false, temp + ":1a2b3c4d5:$DATA", false},
  };
  for (const bool systemCompares : {true, false}) {
    SCOPED_TRACE(systemCompares ? "system compares" : "CompareString fails");
    auto b = XpMachine(systemCompares);
    testing_support::SimMachineFixture fx(b);
    files::TACLWhiteList acl;
    files::TADSWhiteList ads;
    for (const auto& c : cases)
      EXPECT_EQ(c.acl ? acl.Matches(c.path) : ads.Matches(c.path), c.matches) << c.path;
  }
}

TEST(WhiteLists, EntriesAreSortedAndStoredOnceIgnoringCase) {
  for (const bool systemCompares : {true, false}) {
    SCOPED_TRACE(systemCompares ? "system compares" : "CompareString fails");
    auto b = XpMachine(systemCompares);  // Windows folder C:\WINDOWS
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

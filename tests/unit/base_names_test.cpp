// The case-insensitive name comparison and its folding, with and without a working CompareString.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "base/names.h"
#include "test_support.h"

namespace {

const std::u16string kZeroName(u"dup\0x", 5);

int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

TEST(Names, CompareIgnoringLetterCaseWhetherOrNotTheSystemCanCompare) {
  struct Case {
    std::u16string a, b;
    int want;
  };
  const Case cases[] = {
      {u"ghost", u"GHOST", 0},
      {u"\u00C4rger", u"\u00E4RGER", 0},  // beyond ASCII, within the 8-bit code page
      {u"a", u"B", -1},
      {u"B", u"a", 1},
      {u"", u"", 0},
      {u"", u"a", -1},
      {u"dup", kZeroName, -1},  // counted: what follows a zero character counts
      {kZeroName, std::u16string(u"DUP\0X", 5), 0},
  };
  for (const bool systemCompares : {true, false}) {
    sim::MachineBuilder b;
    b.machine().system.compareStrings = systemCompares;
    testing_support::SimMachineFixture fx(b);
    auto& k32 = platform::Current().kernel32;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(systemCompares ? "system compares: " : "CompareString fails: ") +
                   k32.WideCharToMultiByte(platform::CP_ACP, c.a) + " / " +
                   k32.WideCharToMultiByte(platform::CP_ACP, c.b));
      EXPECT_EQ(Sign(base::CompareIgnoringCase(c.a, c.b)), c.want);
      EXPECT_EQ(base::SameIgnoringCase(c.a, c.b), c.want == 0);
      const std::string a8 = k32.WideCharToMultiByte(platform::CP_ACP, c.a);
      const std::string b8 = k32.WideCharToMultiByte(platform::CP_ACP, c.b);
      EXPECT_EQ(Sign(base::CompareIgnoringCase(a8, b8)), c.want);
      EXPECT_EQ(base::FoldCase(c.a) == base::FoldCase(c.b), c.want == 0);
      EXPECT_EQ(base::FoldCase(a8) == base::FoldCase(b8), c.want == 0);
    }
  }
}

TEST(Names, AFailedComparisonStillSortsAndFindsEveryName) {
  sim::MachineBuilder b;
  b.machine().system.compareStrings = false;
  testing_support::SimMachineFixture fx(b);
  std::vector<std::u16string> names = {u"zeta", u"Alpha", u"beta", u"ALPHA", u"Gamma"};
  std::sort(names.begin(), names.end(),
            [](const auto& x, const auto& y) { return base::CompareIgnoringCase(x, y) < 0; });
  EXPECT_TRUE(base::SameIgnoringCase(names[0], u"alpha"));
  EXPECT_TRUE(base::SameIgnoringCase(names[1], u"alpha"));
  EXPECT_EQ(std::vector<std::u16string>(names.begin() + 2, names.end()),
            (std::vector<std::u16string>{u"beta", u"Gamma", u"zeta"}));
}

TEST(Names, FoldedNameSetFindsNamesInAnyLetterCase) {
  sim::MachineBuilder b;
  testing_support::SimMachineFixture fx(b);
  base::FoldedNameSet set;
  set.Add(u"Run");
  set.Add(u"RUN");
  set.Add(kZeroName);
  set.Add(std::string_view("Explorer.EXE"));
  EXPECT_EQ(set.Size(), 3u);
  EXPECT_TRUE(set.Contains(u"rUn"));
  EXPECT_TRUE(set.Contains(u"EXPLORER.exe"));
  EXPECT_TRUE(set.Contains(std::string_view("explorer.exe")));
  EXPECT_TRUE(set.Contains(std::u16string(u"DUP\0X", 5)));
  EXPECT_FALSE(set.Contains(u"dup"));  // the name cut at its zero character is another name
  EXPECT_FALSE(set.Contains(u"Runs"));
}

}  // namespace

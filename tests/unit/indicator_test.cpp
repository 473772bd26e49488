// Indicator parameters, results and the indicator list's rows.
#include "engine/indicator.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "base/comma_text.h"
#include "engine/indicator_list.h"
#include "test_support.h"

namespace {

using engine::TRootKitIndicator;

class IndicatorTest : public ::testing::Test {
 protected:
  IndicatorTest() : fx_(builder_) { engine::RegisteredIndicators().clear(); }
  ~IndicatorTest() override { engine::RegisteredIndicators().clear(); }
  sim::MachineBuilder builder_;
  testing_support::SimMachineFixture fx_;
};

TEST(CommaText, ParsesStrictly) {
  struct Case {
    const char* text;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {"", {}},
      {"a,b", {"a", "b"}},
      {" a , b", {" a ", " b"}},
      {"a,", {"a", ""}},
      {",", {"", ""}},
      {"\"description=a,b\",x", {"description=a,b", "x"}},
      {"\"a\"\"b\"tail,c", {"a\"b", "c"}},
      {"\"unterminated,x", {"unterminated,x"}},
      {"a,,b", {"a", "", "b"}},
      {"\ta\t,b", {"\ta\t", "b"}},
      {"a\"b,c", {"a\"b", "c"}},
  };
  for (const auto& c : cases) EXPECT_EQ(base::ParseCommaText(c.text), c.items) << c.text;
}

TEST(CommaText, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(base::CommaText({"12", "34"}), "12,34");
  EXPECT_EQ(base::CommaText({"a,b", "say \"hi\"", "x y"}), "\"a,b\",\"say \"\"hi\"\"\",x y");
  EXPECT_EQ(base::CommaText({}), "");
}

TEST_F(IndicatorTest, ParameterLookup) {
  struct Case {
    const char* params;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"description=a,b", "description", "a"},
      {"keypath=\\A=B\\", "keypath", "\\A=B\\"},
      {"Description=X,description=Y", "description", "X"},
      {" description=X", "description", ""},
      {"\"description=a,b\"", "description", "a,b"},
      {"description=a,", "description", "a"},
      {"description", "description", ""},
      {"filepath=<$WINDIR>\\,description=Files", "FILEPATH", "<$WINDIR>\\"},
      // Keys compare through the code page's own case rules, not ASCII only.
      {"\xC9tat=1", "\xE9TAT", "1"},
      {"=x,description=y", "description", "y"},
      {"description=a\tb,c", "description", "a\tb"},
      {"description =X", "description", ""},
  };
  for (const auto& c : cases) {
    TRootKitIndicator ind(c.params);
    EXPECT_EQ(ind.Param(c.key), c.value) << c.params;
  }
  TRootKitIndicator trailing("description=a,");
  EXPECT_EQ(trailing.Params().size(), 2u);
}

TEST_F(IndicatorTest, FreshIndicatorAndResults) {
  TRootKitIndicator ind("description=x");
  EXPECT_EQ(ind.State(), engine::kStateNotRun);
  EXPECT_TRUE(ind.Results().empty());
  EXPECT_TRUE(ind.DetailsText().empty());
  EXPECT_TRUE(ind.IsNTFamily());  // the default machine is XP
  ind.AddResult(u"12", engine::kKindProcess);
  ind.AddResult(u"3,4", engine::kKindFile);
  ind.AddResult(std::u16string(u"a\0\u00e9\u4e2d", 4), engine::kKindValue);
  EXPECT_EQ(ind.ResultKind(1), engine::kKindFile);
  // Converted to the system code page; the zero character survives, the CJK one cannot.
  EXPECT_EQ(ind.Results()[2], std::string("a\0\xe9?", 4));
  EXPECT_EQ(ind.ResultText(), std::string("12,\"3,4\",a\0\xe9?", 13));
  ind.RunTest();
  EXPECT_TRUE(ind.Results().empty());
  EXPECT_TRUE(ind.ResultKinds().empty());
}

// What the test indicators did, in order: "run <description>" and "free <description>".
std::vector<std::string> g_log;

// A test indicator that reports "count" findings on its first run and "later" findings (when
// given) on every run after it.
class CountingIndicator : public TRootKitIndicator {
 public:
  using TRootKitIndicator::TRootKitIndicator;
  ~CountingIndicator() override { g_log.push_back("free " + Description()); }
  void RunTest() override {
    TRootKitIndicator::RunTest();
    g_log.push_back("run " + Description());
    const std::string later = Param("later");
    const int n = std::stoi(runs_++ > 0 && !later.empty() ? later : Param("count"));
    for (int i = 0; i < n; ++i)
      AddResult(u"f" + std::u16string(1, static_cast<char16_t>(u'0' + i)), engine::kKindFile);
    DetailsText_ = std::to_string(n) + " tested.";
    State_ = n > 0 ? engine::kStateFound : engine::kStateNothingFound;
  }

 private:
  int runs_ = 0;
};

const engine::TRootKitIndicatorClass& Counting() {
  return engine::IndicatorClassOf<CountingIndicator>("CountingIndicator");
}

TEST_F(IndicatorTest, ListRunsInRegistryOrderAndCapsShownFindings) {
  engine::RegisterIndicator(Counting(), "description=two,count=2");
  engine::RegisterIndicator(Counting(), "description=seven,count=7");
  engine::RegisterIndicator(Counting(), "description=none,count=0");
  engine::TRootKitIndicatorList list;
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Item(1).IndicatorClass, &Counting());
  list.RunAll();
  EXPECT_EQ(list.MaxResultCount(), 5);

  const auto seven = list.FillListItem(1);
  EXPECT_EQ(seven.Caption, "seven");
  EXPECT_EQ(seven.Icon, engine::kStateFound);
  EXPECT_EQ(seven.SubItems.size(), 7u);
  EXPECT_EQ(seven.SubItems[0], "7 tested.");
  EXPECT_EQ(seven.SubItems[1], "f0,f1,f2,f3,f4,f5,f6");
  EXPECT_EQ(seven.SubItems[6], "f4");
  EXPECT_EQ(seven.TileColumns, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(seven.Data, &list.Item(1));

  const auto two = list.FillListItem(0);
  EXPECT_EQ(two.SubItems.size(), 7u);  // padded to the widest row
  EXPECT_EQ(two.TileColumns, (std::vector<int>{1, 2, 3, 4}));
  const auto none = list.FillListItem(2);
  EXPECT_EQ(none.Icon, engine::kStateNothingFound);
  EXPECT_EQ(none.TileColumns, (std::vector<int>{1, 2}));
}

TEST_F(IndicatorTest, CapDoesNotDependOnOrder) {
  for (const char* order : {"7,2", "2,7"}) {
    engine::RegisteredIndicators().clear();
    for (const auto& n : base::ParseCommaText(order))
      engine::RegisterIndicator(Counting(), "description=x,count=" + n);
    engine::TRootKitIndicatorList list;
    list.RunAll();
    EXPECT_EQ(list.MaxResultCount(), 5) << order;
  }
}

TEST_F(IndicatorTest, RowsBeforeAnyRunAndWithNothingFound) {
  engine::RegisterIndicator(Counting(), "description=a,count=0");
  engine::TRootKitIndicatorList list;
  const auto before = list.FillListItem(0);
  EXPECT_EQ(before.Caption, "a");
  EXPECT_EQ(before.Icon, engine::kStateNotRun);
  EXPECT_EQ(before.SubItems, (std::vector<std::string>{"", ""}));
  list.RunAll();
  EXPECT_EQ(list.MaxResultCount(), 0);
  const auto after = list.FillListItem(0);
  EXPECT_EQ(after.SubItems.size(), 2u);
  EXPECT_EQ(after.TileColumns, (std::vector<int>{1, 2}));
}

TEST_F(IndicatorTest, RunsAndFreesInIndexOrder) {
  engine::RegisterIndicator(Counting(), "description=b,count=0");
  engine::RegisterIndicator(Counting(), "description=a,count=0");
  engine::RegisterIndicator(Counting(), "description=c,count=0");
  g_log.clear();
  {
    engine::TRootKitIndicatorList list;
    list.RunAll();
  }
  EXPECT_EQ(g_log, (std::vector<std::string>{"run b", "run a", "run c", "free b", "free a", "free c"}));
}

TEST_F(IndicatorTest, EachRunReplacesTheLastOne) {
  engine::RegisterIndicator(Counting(), "description=a,count=7,later=0");
  engine::RegisterIndicator(Counting(), "description=b,count=1,later=2");
  engine::TRootKitIndicatorList list;
  list.RunAll();
  EXPECT_EQ(list.MaxResultCount(), 5);
  TRootKitIndicator& a = *list.Item(0).Indicator;
  EXPECT_EQ(a.DetailsText(), "7 tested.");

  // The base reset empties the findings and the state but keeps the last run's statistics.
  a.TRootKitIndicator::RunTest();
  EXPECT_TRUE(a.Results().empty());
  EXPECT_EQ(a.State(), engine::kStateNotRun);
  EXPECT_EQ(a.DetailsText(), "7 tested.");

  list.RunAll();
  EXPECT_EQ(list.MaxResultCount(), 2);  // describes the last run only
  EXPECT_EQ(a.State(), engine::kStateNothingFound);
  EXPECT_EQ(a.DetailsText(), "0 tested.");
  EXPECT_EQ(list.Item(1).Indicator->Results(), (std::vector<std::string>{"f0", "f1"}));
  EXPECT_EQ(list.Item(1).Indicator->ResultKinds().size(), 2u);
  const auto row = list.FillListItem(0);
  EXPECT_EQ(row.SubItems, (std::vector<std::string>{"0 tested.", "", "", ""}));
  EXPECT_EQ(row.TileColumns, (std::vector<int>{1, 2}));
}

TEST_F(IndicatorTest, RowHoldsItsOwnFindingsWhenRunOutsideTheList) {
  // An indicator run on its own after RunAll has more findings than the list's last count; its
  // row must still show them (up to five) instead of writing past the padded sub-items.
  engine::RegisterIndicator(Counting(), "description=a,count=0,later=6");
  engine::TRootKitIndicatorList list;
  list.RunAll();
  list.Item(0).Indicator->RunTest();
  EXPECT_EQ(list.MaxResultCount(), 0);
  const auto row = list.FillListItem(0);
  EXPECT_EQ(row.SubItems,
            (std::vector<std::string>{"6 tested.", "f0,f1,f2,f3,f4,f5", "f0", "f1", "f2", "f3", "f4"}));
  EXPECT_EQ(row.TileColumns, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
}

// The six Quick Scan rows as start-up registers them: the order is the order of the Quick Scan.
struct RegisteredRow {
  const char* cls;
  const char* params;
  const char* caption;
  const char* noFindings;
};
const RegisteredRow kRegisteredRows[] = {
    {"TRootKitIndicatorNTFiles", "filepath=<$WINDIR>\\,description=Files in Windows folder",
     "Files in Windows folder", "No hidden files detected."},
    {"TRootKitIndicatorNTFiles", "filepath=<$SYSDIR>\\,description=Files in System folder",
     "Files in System folder", "No hidden files detected."},
    {"TRootKitIndicatorRegistry",
     "description=Global run entries,rootkey=HKEY_LOCAL_MACHINE,"
     "keypath=\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\",
     "Global run entries", "No hidden entries detected."},
    {"TRootKitIndicatorRegistry",
     "description=Winlogon entries,rootkey=HKEY_LOCAL_MACHINE,"
     "keypath=\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\",
     "Winlogon entries", "No hidden entries detected."},
    {"TRootKitIndicatorHandleProcesses", "description=Invisible processes (from handles)",
     "Invisible processes (from handles)", "No hidden processes detected."},
    {"TRootKitIndicatorThreadProcesses", "description=Invisible processes (from threads)",
     "Invisible processes (from threads)", "No hidden processes detected."},
};

TEST(IndicatorRegistry, StartUpRegistersTheSixRowsInQuickScanOrderOnce) {
  sim::MachineBuilder b;
  testing_support::SimMachineFixture fx(b);
  app::RunStartup();  // a second start-up clears the registry before adding the rows again
  const auto& reg = engine::RegisteredIndicators();
  ASSERT_EQ(reg.size(), std::size(kRegisteredRows));
  for (std::size_t i = 0; i < reg.size(); ++i) {
    EXPECT_STREQ(reg[i].IndicatorClass->Name, kRegisteredRows[i].cls) << i;
    EXPECT_EQ(reg[i].Params, kRegisteredRows[i].params) << i;
  }
}

TEST(IndicatorRegistry, RowsOfTheRegisteredIndicatorsBeforeTheFirstRun) {
  sim::MachineBuilder b;
  testing_support::SimMachineFixture fx(b);
  engine::TRootKitIndicatorList list;
  ASSERT_EQ(static_cast<std::size_t>(list.Count()), std::size(kRegisteredRows));
  for (int i = 0; i < list.Count(); ++i) {
    const auto row = list.FillListItem(i);
    const RegisteredRow& want = kRegisteredRows[i];
    EXPECT_EQ(row.Caption, want.caption);
    EXPECT_EQ(row.Icon, engine::kStateNotRun);
    EXPECT_EQ(row.SubItems, (std::vector<std::string>{"", want.noFindings})) << want.caption;
    EXPECT_EQ(row.TileColumns, (std::vector<int>{1, 2}));
    EXPECT_STREQ(list.Item(i).IndicatorClass->Name, want.cls);
  }
}

}  // namespace

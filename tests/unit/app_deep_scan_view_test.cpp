// The Deep Scan list's view: the filter hides rows and always says how many, the order by a
// column turns round and keeps the scan's order among equals, and rows that arrive while
// sorted or filtered land where they belong.
#include <gtest/gtest.h>

#include <functional>

#include "app/deep_scan.h"
#include "app/deep_scan_view.h"
#include "app/text.h"
#include "test_support.h"

namespace {

class DeepScanViewTest : public ::testing::Test {
 protected:
  sim::MachineBuilder builder_;
  testing_support::SimMachineFixture fixture_{builder_};
  std::vector<app::TDeepScanRow> rows_;
  app::TDeepScanView view_{rows_};

  void Add(app::TDeepScanRow row, bool known = false) {
    row.Known = known;
    rows_.push_back(std::move(row));
    view_.Added();
  }
  void AddSample() {
    Add(app::PathRow("File", app::kKindFile, u"C:\\Windows\\ghost.sys", "Invisible to Win32"));
    Add(app::PathRow("File", app::kKindFile, u"C:\\Temp\\CON.txt", "Reserved filename"), true);
    Add(app::RegistryRow("Value", app::kKindValue, platform::HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\Run\\",
                         "Invisible to Win32", u"Ghost"));
    Add(app::PathRow("Folder", app::kKindFolder, u"C:\\Windows\\cache", "No admin in ACL"));
    Add(app::RegistryRow("Key", app::kKindKey, platform::HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\",
                         "Invisible to Win32", std::u16string(u"a\0b", 3)));
  }
  // The shown rows' Object cells, in display order.
  std::string Objects() const {
    std::string out;
    for (auto i : view_.Visible()) out += (out.empty() ? "" : ",") + app::Utf8(view_.Cell(i, 1));
    return out;
  }
};

TEST_F(DeepScanViewTest, CellsAreTheFourColumnsWithZerosShown) {
  AddSample();
  EXPECT_EQ(app::Utf8(view_.Cell(4, 0)), "Key");
  EXPECT_EQ(app::Utf8(view_.Cell(4, 1)), "a<NUL>b");
  EXPECT_EQ(app::Utf8(view_.Cell(4, 2)), "HKEY_LOCAL_MACHINE\\SOFTWARE\\");
  EXPECT_EQ(app::Utf8(view_.Cell(4, 3)), "Invisible to Win32");
  EXPECT_EQ(Objects(), "ghost.sys,CON.txt,Ghost,cache,a<NUL>b");  // scan order before any sort
}

TEST_F(DeepScanViewTest, FilterHidesRowsWithoutTheTextAndSaysHowMany) {
  AddSample();
  struct Case {
    const char* filter;
    const char* objects;
    const char* hidden;
  };
  const Case cases[] = {
      {"", "ghost.sys,CON.txt,Ghost,cache,a<NUL>b", ""},
      {"GHOST", "ghost.sys,Ghost", "3 of 5 rows hidden by the filter"},  // letter case ignored
      {"run\\", "Ghost", "4 of 5 rows hidden by the filter"},            // the Location cell
      {"acl", "cache", "4 of 5 rows hidden by the filter"},              // the Details cell
      {"folder", "cache", "4 of 5 rows hidden by the filter"},           // the Type cell
      {"a<nul>b", "a<NUL>b", "4 of 5 rows hidden by the filter"},        // as shown
      {"nothing like it", "", "5 of 5 rows hidden by the filter"},       // never a clean list
      {"win32", "ghost.sys,Ghost,a<NUL>b", "2 of 5 rows hidden by the filter"},
      {"sys\nC:", "",
       "5 of 5 rows hidden by the filter"},  // one cell's end and the next cell are not one text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    std::string f = c.filter;
    view_.SetFilter(std::u16string(f.begin(), f.end()));
    EXPECT_EQ(Objects(), c.objects);
    EXPECT_EQ(view_.HiddenText(), c.hidden);
  }
  view_.SetFilter(u"xyz");
  Add(app::PathRow("File", app::kKindFile, u"C:\\xyz.dll", "Invisible to Win32"));
  EXPECT_EQ(Objects(), "xyz.dll");  // a row that arrives under the filter is filtered too
  EXPECT_EQ(view_.HiddenText(), "5 of 6 rows hidden by the filter");
  rows_.clear();
  view_.Cleared();
  EXPECT_EQ(view_.HiddenText(), "0 of 0 rows hidden by the filter");
}

TEST_F(DeepScanViewTest, SortingByAColumnTurnsRoundAndKeepsTheScanOrderAmongEquals) {
  AddSample();
  struct Step {
    int column;
    const char* objects;
    bool ascending;
  };
  const Step steps[] = {
      {1, "a<NUL>b,cache,CON.txt,Ghost,ghost.sys", true},
      {1, "ghost.sys,Ghost,CON.txt,cache,a<NUL>b", false},
      {0, "ghost.sys,CON.txt,cache,a<NUL>b,Ghost",
       true},  // File, File, Folder, Key, Value; files in scan order
      // The catalogue mark first (plain before known), then the text; equals in scan order.
      {3, "ghost.sys,Ghost,a<NUL>b,cache,CON.txt", true},
      {3, "CON.txt,cache,ghost.sys,Ghost,a<NUL>b", false},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.column);
    view_.SortBy(s.column);
    EXPECT_EQ(view_.SortColumn(), s.column);
    EXPECT_EQ(view_.Ascending(), s.ascending);
    EXPECT_EQ(Objects(), s.objects);
  }
}

TEST_F(DeepScanViewTest, RowsArrivingWhileSortedLandInTheirPlace) {
  AddSample();
  view_.SortBy(1);
  rows_.push_back(app::PathRow("File", app::kKindFile, u"C:\\b.sys", "Invisible to Win32"));
  EXPECT_EQ(view_.Added(), std::optional<std::size_t>(1));
  EXPECT_EQ(Objects(), "a<NUL>b,b.sys,cache,CON.txt,Ghost,ghost.sys");
  EXPECT_EQ(view_.DisplayIndexOf(3), std::optional<std::size_t>(2));  // cache moved down by one
  view_.SetFilter(u"zzz");
  rows_.push_back(app::PathRow("File", app::kKindFile, u"C:\\c.sys", "Invisible to Win32"));
  EXPECT_EQ(view_.Added(), std::nullopt);
  EXPECT_EQ(view_.DisplayIndexOf(3), std::nullopt);
}

}  // namespace

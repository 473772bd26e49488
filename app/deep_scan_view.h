// What the desktop program's Deep Scan list shows of the session's rows: the cell texts, the
// order the user chose by a column, and the rows a filter text leaves.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/deep_scan.h"

namespace app {

// The list's cells: Type, Object, Location, Details. Zero characters read "<NUL>" (a window
// text ends at the first zero); Details is the system code page's text.
inline constexpr int kDeepColumns = 4;
std::u16string DeepCellText(const TDeepScanRow& row, int column);

class TDeepScanView {
 public:
  // `rows` is the session's row list; the view keeps indices into it.
  explicit TDeepScanView(const std::vector<TDeepScanRow>& rows) : rows_(rows) {}

  // The session has appended its last row. Answers where it shows, or nothing when the filter
  // hides it.
  std::optional<std::size_t> Added();
  // The session's rows are gone (a refresh); filter and order stay.
  void Cleared();

  // Rows whose cells do not contain `text` (letter case ignored) are hidden; empty: none.
  void SetFilter(std::u16string_view text);
  bool Filtering() const { return !filter_.empty(); }
  std::size_t Hidden() const { return cells_.size() - visible_.size(); }
  // "12 of 40 rows hidden by the filter" while a filter is set (even when it hides none), so
  // a filtered list never passes for a clean result; empty without one.
  std::string HiddenText() const;

  // Orders by `column`; the same column again turns the order round. Details orders by the
  // catalogue mark first, then by the text. Equal cells keep the scan's order.
  void SortBy(int column);
  int SortColumn() const { return sortColumn_; }
  bool Ascending() const { return ascending_; }

  // The shown rows in display order, as indices into the session's rows.
  const std::vector<std::size_t>& Visible() const { return visible_; }
  std::optional<std::size_t> DisplayIndexOf(std::size_t row) const;
  const std::u16string& Cell(std::size_t row, int column) const { return cells_[row].text[column]; }

 private:
  struct Cells {
    std::u16string text[kDeepColumns];
    std::u16string folded;  // all cells in upper case, for the filter
  };
  bool Matches(const Cells& c) const;
  bool Before(std::size_t a, std::size_t b) const;
  void Rebuild();

  const std::vector<TDeepScanRow>& rows_;
  std::vector<Cells> cells_;  // parallel to rows_
  std::vector<std::size_t> visible_;
  std::u16string filter_;  // upper case
  int sortColumn_ = -1;
  bool ascending_ = true;
};

}  // namespace app

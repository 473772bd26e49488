// The Deep Scan list's view of the rows: cells, filter, order.
#include "app/deep_scan_view.h"

#include <algorithm>

#include "platform/platform.h"

namespace app {
namespace {

std::u16string Shown(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == 0)
      out += u"<NUL>";
    else
      out += c;
  }
  return out;
}

std::u16string Upper(const std::u16string& text) {
  return platform::Current().kernel32.LCMapStringW(platform::LOCALE_USER_DEFAULT, platform::LCMAP_UPPERCASE,
                                                   text);
}

}  // namespace

std::u16string DeepCellText(const TDeepScanRow& row, int column) {
  switch (column) {
    case 0:
      return std::u16string(row.Type.begin(), row.Type.end());
    case 1:
      return Shown(row.Object);
    case 2:
      return Shown(row.Location);
    case 3:
      return Shown(platform::Current().kernel32.MultiByteToWideChar(platform::CP_ACP, row.Details));
    default:
      return {};
  }
}

bool TDeepScanView::Matches(const Cells& c) const {
  return filter_.empty() || c.folded.find(filter_) != std::u16string::npos;
}

bool TDeepScanView::Before(std::size_t a, std::size_t b) const {
  if (sortColumn_ >= 0) {
    int c = 0;
    if (sortColumn_ == 3) c = rows_[a].Marker() - rows_[b].Marker();
    if (c == 0)
      c = platform::Current().kernel32.CompareStringW(platform::LOCALE_USER_DEFAULT,
                                                      platform::NORM_IGNORECASE, cells_[a].text[sortColumn_],
                                                      cells_[b].text[sortColumn_]) -
          platform::CSTR_EQUAL;
    if (c != 0) return ascending_ ? c < 0 : c > 0;
  }
  return a < b;
}

void TDeepScanView::Rebuild() {
  visible_.clear();
  for (std::size_t i = 0; i < cells_.size(); ++i)
    if (Matches(cells_[i])) visible_.push_back(i);
  if (sortColumn_ >= 0)
    std::sort(visible_.begin(), visible_.end(), [&](auto a, auto b) { return Before(a, b); });
}

std::optional<std::size_t> TDeepScanView::Added() {
  // Rows arrive one at a time; catch up with any the view has not seen yet.
  std::optional<std::size_t> at;
  while (cells_.size() < rows_.size()) {
    const std::size_t index = cells_.size();
    Cells c;
    std::u16string all;
    for (int i = 0; i < kDeepColumns; ++i) {
      c.text[i] = DeepCellText(rows_[index], i);
      all += c.text[i];
      all += u'\0';  // cells hold no zero (shown as <NUL>) and neither can a typed filter
    }
    c.folded = Upper(all);
    cells_.push_back(std::move(c));
    at.reset();
    if (!Matches(cells_.back())) continue;
    const auto pos = sortColumn_ < 0 ? visible_.end()
                                     : std::upper_bound(visible_.begin(), visible_.end(), index,
                                                        [&](auto a, auto b) { return Before(a, b); });
    at = static_cast<std::size_t>(pos - visible_.begin());
    visible_.insert(pos, index);
  }
  return at;
}

void TDeepScanView::Cleared() {
  cells_.clear();
  visible_.clear();
}

void TDeepScanView::SetFilter(std::u16string_view text) {
  filter_ = Upper(std::u16string(text));
  Rebuild();
}

std::string TDeepScanView::HiddenText() const {
  if (!Filtering()) return {};
  return std::to_string(Hidden()) + " of " + std::to_string(cells_.size()) + " rows hidden by the filter";
}

void TDeepScanView::SortBy(int column) {
  if (column == sortColumn_) {
    ascending_ = !ascending_;
  } else {
    sortColumn_ = column;
    ascending_ = true;
  }
  Rebuild();
}

std::optional<std::size_t> TDeepScanView::DisplayIndexOf(std::size_t row) const {
  const auto it = std::find(visible_.begin(), visible_.end(), row);
  if (it == visible_.end()) return std::nullopt;
  return static_cast<std::size_t>(it - visible_.begin());
}

}  // namespace app

// The live indicators of one Quick Scan page: created from the registry, run together, shown as rows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/indicator.h"

namespace engine {

struct TRKIListItem {
  std::unique_ptr<TRootKitIndicator> Indicator;
  const TRootKitIndicatorClass* IndicatorClass = nullptr;
};

// What one row of the Quick Scan list shows: the list-view row without the list view.
struct TRKIListRow {
  std::string Caption;
  const TRKIListItem* Data = nullptr;
  int GroupId = 1;
  std::vector<std::string> SubItems;  // "Details", "Result", then up to five findings (padded)
  int Icon = 0;                       // the indicator's state
  std::vector<int> TileColumns;       // 1 .. shown findings + 2
};

class TRootKitIndicatorList {
 public:
  // Creates one indicator per registry entry, in registry order.
  TRootKitIndicatorList();
  // Frees the indicators in index order.
  ~TRootKitIndicatorList();
  TRootKitIndicatorList(const TRootKitIndicatorList&) = delete;
  TRootKitIndicatorList& operator=(const TRootKitIndicatorList&) = delete;

  int Count() const { return static_cast<int>(Items_.size()); }
  const TRKIListItem& Item(int i) const { return Items_.at(static_cast<std::size_t>(i)); }
  int MaxResultCount() const { return MaxResultCount_; }

  // Runs every indicator in order on the calling thread.
  void RunAll();
  // The row of indicator `row`.
  TRKIListRow FillListItem(int row) const;

 private:
  // Sized once in the constructor, so addresses of items stay valid for the list's life.
  std::vector<TRKIListItem> Items_;
  int MaxResultCount_ = 0;
};

}  // namespace engine

// Running the indicators and presenting their rows.
#include "engine/indicator_list.h"

#include <algorithm>

namespace engine {

namespace {
constexpr int kShownFindings = 5;
}

TRootKitIndicatorList::TRootKitIndicatorList() {
  const auto& reg = RegisteredIndicators();
  Items_.resize(reg.size());
  for (std::size_t i = 0; i < reg.size(); ++i) {
    Items_[i].IndicatorClass = reg[i].IndicatorClass;
    Items_[i].Indicator = reg[i].IndicatorClass->Create(reg[i].Params);
  }
}

TRootKitIndicatorList::~TRootKitIndicatorList() {
  // The vector's own destruction order is unspecified; indicators go first to last.
  for (auto& item : Items_) item.Indicator.reset();
}

void TRootKitIndicatorList::RunAll() {
  MaxResultCount_ = 0;
  for (auto& item : Items_) {
    item.Indicator->RunTest();
    const int n = static_cast<int>(item.Indicator->Results().size());
    if (MaxResultCount_ < n) MaxResultCount_ = n;
    if (MaxResultCount_ > kShownFindings) MaxResultCount_ = kShownFindings;
  }
}

TRKIListRow TRootKitIndicatorList::FillListItem(int row) const {
  const TRKIListItem& item = Item(row);
  const TRootKitIndicator& ind = *item.Indicator;
  TRKIListRow r;
  r.Caption = ind.Description();
  r.Data = &item;
  r.GroupId = 1;
  r.SubItems.resize(static_cast<std::size_t>(MaxResultCount_) + 2);
  r.SubItems[0] = ind.DetailsText();
  r.SubItems[1] = ind.ResultText();
  const int shown = std::min(static_cast<int>(ind.Results().size()), kShownFindings);
  // A row is never narrower than its own findings, even if rows are filled before a run.
  if (static_cast<int>(r.SubItems.size()) < shown + 2) r.SubItems.resize(static_cast<std::size_t>(shown) + 2);
  for (int k = 0; k < shown; ++k)
    r.SubItems[static_cast<std::size_t>(k) + 2] = ind.Results()[static_cast<std::size_t>(k)];
  r.Icon = ind.State();
  for (int c = 1; c <= shown + 2; ++c) r.TileColumns.push_back(c);
  return r;
}

}  // namespace engine

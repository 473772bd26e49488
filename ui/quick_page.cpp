// The Quick Scan page (first cut: runs the scan and lists the indicator rows).
#include "ui/quick_page.h"


namespace ui {

struct QuickPage::State {
  HWND window = nullptr;
  HWND list = nullptr;
  app::QuickScanReport report;
};

QuickPage::QuickPage() : state_(std::make_unique<State>()) {}
QuickPage::~QuickPage() = default;

void QuickPage::Create(HWND parent, UiContext& context) {
  state_->window = CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0, parent,
                                   nullptr, context.instance, nullptr);
  state_->list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 600, 300,
                                 state_->window, nullptr, context.instance, nullptr);
}

HWND QuickPage::Window() const { return state_->window; }

void QuickPage::RunQuickScan() { state_->report = app::RunQuickScan(); }

void QuickPage::ShowResults() {
  if (OnResultsChanged) OnResultsChanged();
}

const app::QuickScanReport& QuickPage::Report() const { return state_->report; }

bool QuickPage::HasFindings() const { return state_->report.anythingFound(); }

}  // namespace ui

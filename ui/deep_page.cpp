// The Deep Scan page (first cut: an empty page).
#include "ui/deep_page.h"

namespace ui {

struct DeepPage::State {
  HWND window = nullptr;
  std::vector<app::TDeepScanRow> rows;
};

DeepPage::DeepPage() : state_(std::make_unique<State>()) {}
DeepPage::~DeepPage() = default;

void DeepPage::Create(HWND parent, UiContext& context) {
  state_->window = CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0, parent,
                                   nullptr, context.instance, nullptr);
}

HWND DeepPage::Window() const { return state_->window; }

void DeepPage::StartScan() {}

const std::vector<app::TDeepScanRow>& DeepPage::Rows() const { return state_->rows; }

bool DeepPage::HasRows() const { return !state_->rows.empty(); }

}  // namespace ui

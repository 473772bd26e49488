// The Quick Scan page: the indicator rows and, below them, every finding.
#pragma once

#include <functional>
#include <memory>

#include "app/quick_scan.h"
#include "ui/page.h"

namespace ui {

class QuickPage : public Page {
 public:
  QuickPage();
  ~QuickPage() override;
  void Create(HWND parent, UiContext& context) override;
  HWND Window() const override;

  // The warning, the run on the main thread, then both lists rebuilt.
  void RunQuickScan();
  void ShowResults();
  const app::QuickScanReport& Report() const;
  bool HasFindings() const;

  // Called after every display of results (the main window updates the Log tab).
  std::function<void()> OnResultsChanged;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ui

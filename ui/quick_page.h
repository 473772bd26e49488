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
  void Layout(const RECT& area) override;
  // F5 anywhere in the main window while the page shows; Enter and Ctrl+C on a finding.
  bool PreTranslate(MSG& msg) override;

  // The warning, the run on the main thread, then both lists rebuilt.
  void RunQuickScan();
  void ShowResults();
  const app::QuickScanReport& Report() const;
  bool HasFindings() const;

  // "&Refresh": the run and the display again.
  void Refresh();
  // "Show &details" and "Copy FXI to clipboard" on the selected finding; nothing without one.
  void ShowSelectedDetails();
  void CopySelectedToClipboard();

  // Called after every display of results (the main window updates the Log tab).
  std::function<void()> OnResultsChanged;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ui

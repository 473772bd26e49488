// The Deep Scan page: the drive and hive choice, both scanners' progress and their findings.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "app/deep_scan.h"
#include "ui/page.h"

namespace ui {

class DeepPage : public Page {
 public:
  DeepPage();
  ~DeepPage() override;
  void Create(HWND parent, UiContext& context) override;
  HWND Window() const override;

  // Asks for drives and hives, then starts both scanners.
  void StartScan();
  const std::vector<app::TDeepScanRow>& Rows() const;
  bool HasRows() const;

  // Each time one of the two scanners ends (the main window updates the Log tab). Unset until
  // the page is first visited, which is how the main window starts the scan once.
  std::function<void()> OnScanFinished;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ui

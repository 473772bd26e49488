// The Deep Scan page: the drive and hive choice, both scanners' progress and their findings.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "app/deep_scan.h"
#include "ui/page.h"

namespace ui {

// Control IDs of the page, for keyboard handling and test drivers.
inline constexpr int kDeepListId = 1001;
inline constexpr int kDeepFilterId = 1002;
inline constexpr int kDeepHiddenLabelId = 1003;
inline constexpr int kDeepRefreshId = 1004;
inline constexpr int kDeepExportId = 1005;
inline constexpr int kDeepFileLabelId = 1006;
inline constexpr int kDeepRegistryLabelId = 1007;
inline constexpr int kDeepInfoLabelId = 1008;

class DeepPage : public Page {
 public:
  DeepPage();
  ~DeepPage() override;
  void Create(HWND parent, UiContext& context) override;
  HWND Window() const override;
  void Layout(const RECT& area) override;
  // F5, Enter and Ctrl+C on the list, Tab and the buttons' accelerators.
  bool PreTranslate(MSG& msg) override;

  // Asks for drives and hives, then starts both scanners.
  void StartScan();
  // Abandons running scanners without waiting, empties the list, then StartScan.
  void Refresh();
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

// The Log page: the type of removal script, the advice beside it, the script itself (read-only)
// and the button that packs the suspicious files.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/page.h"

namespace ui {

class LogPage : public Page {
 public:
  LogPage();
  ~LogPage() override;
  void Create(HWND parent, UiContext& context) override;
  HWND Window() const override;

  // The selected "Type of log": 0 include file, 1 Avenger, 2 ComboFix.
  int LogType() const;
  // Replaces the script shown, one string a line.
  void SetLines(const std::vector<std::u16string>& lines);
  std::wstring Text() const;
  void SetInformation(const std::wstring& text);

  // A log type was clicked (also by the arrow keys inside the group).
  std::function<void()> OnLogTypeClick;
  // "Pack Suspicious Files" was pressed.
  std::function<void()> OnPack;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ui

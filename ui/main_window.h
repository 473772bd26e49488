// The main window: a page control with the Quick Scan, Deep Scan, Log and Help pages.
#pragma once

#include "ui/windows_ui.h"

#include <memory>

#include "ui/ui_context.h"

namespace ui {

class MainWindow {
 public:
  explicit MainWindow(UiContext& context);
  ~MainWindow();
  // Creates and shows the window; the about box and the first Quick Scan follow.
  HWND Create(int showCommand);
  // Gives the pages and dialogs their keys; true when the message was handled.
  bool PreTranslate(MSG& msg);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ui

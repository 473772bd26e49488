// What every window of the desktop program shares: the instance and the scanned machine.
#pragma once

#include "ui/windows_ui.h"

namespace app {
class Session;
}

namespace ui {

struct UiContext {
  HINSTANCE instance = nullptr;
  app::Session* session = nullptr;
  HWND mainWindow = nullptr;
  double dpiScale = 1.0;  // monitor DPI / 96
  int Scale(int pixels) const { return static_cast<int>(pixels * dpiScale + 0.5); }
};

}  // namespace ui

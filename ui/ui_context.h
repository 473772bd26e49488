// What every window of the desktop program shares: the instance and the scanned machine.
#pragma once

#include "ui/windows_ui.h"

#include <string>

namespace app {
class Session;
}

namespace ui {

struct UiContext {
  HINSTANCE instance = nullptr;
  app::Session* session = nullptr;
  HWND mainWindow = nullptr;
  double dpiScale = 1.0;  // monitor DPI / 96
  // "MS Shell Dlg 2" at -11 pixels, scaled: the main window gives it to every child it finds
  // without a font once the pages exist; windows made later can take it from here.
  HFONT font = nullptr;
  // True when the program scans a system image (`--image FILE`) rather than the live machine.
  bool imageMachine = false;
  // `--update-server URL` from the command line; empty: the configured or built-in server.
  std::wstring updateServer;
  int Scale(int pixels) const { return static_cast<int>(pixels * dpiScale + 0.5); }
};

}  // namespace ui

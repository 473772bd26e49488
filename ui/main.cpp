// umbrascope.exe, the desktop program: opens the machine, runs the start-up steps, shows the window.
#include "ui/windows_ui.h"


#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "app/session.h"
#include "ui/main_window.h"

namespace {

std::string Narrow(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

// `--image FILE` scans a system image instead of the live machine.
std::optional<std::string> ImageArgument() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::optional<std::string> image;
  for (int i = 1; argv && i + 1 < argc; ++i)
    if (std::wstring(argv[i]) == L"--image") image = Narrow(argv[i + 1]);
  LocalFree(argv);
  return image;
}

void ShowError(const std::string& text) {
  const std::wstring wide(text.begin(), text.end());
  MessageBoxW(nullptr, wide.c_str(), L"Umbrascope", MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES |
                                            ICC_ANIMATE_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  LoadLibraryW(L"msftedit.dll");
  std::ostringstream notes;
  std::unique_ptr<app::Session> session;
  try {
    session = app::Session::Open(ImageArgument(), notes);
    app::RunStartup();
  } catch (const std::exception& e) {
    ShowError(e.what());
    return 2;
  }
  ui::UiContext context;
  context.instance = instance;
  context.session = session.get();
  HDC screen = GetDC(nullptr);
  context.dpiScale = GetDeviceCaps(screen, LOGPIXELSY) / 96.0;
  ReleaseDC(nullptr, screen);
  ui::MainWindow window(context);
  window.Create(showCommand);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (window.PreTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

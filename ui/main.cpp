// umbrascope.exe, the desktop program: opens the machine, runs the start-up steps, shows the window.
#include "ui/windows_ui.h"

#include <optional>
#include <sstream>
#include <string>

#include "app/session.h"
#include "ui/main_window.h"

namespace {

constexpr int kExitError = 2;

std::string Narrow(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
  return out;
}

void ShowError(const std::wstring& text) { MessageBoxW(nullptr, text.c_str(), L"Umbrascope", MB_OK | MB_ICONERROR); }

struct Arguments {
  std::optional<std::string> image;  // --image FILE: scan a system image instead of the live machine
  std::wstring updateServer;         // --update-server URL
};

// Anything not understood is an error: a mistyped option must not silently scan the live machine.
std::optional<Arguments> ParseArguments(std::wstring& error) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  Arguments result;
  bool ok = argv != nullptr;
  for (int i = 1; ok && i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument == L"--image" || argument == L"--update-server") {
      if (i + 1 >= argc) {
        error = argument + L" needs a value.";
        ok = false;
        break;
      }
      if (argument == L"--image")
        result.image = Narrow(argv[++i]);
      else
        result.updateServer = argv[++i];
    } else {
      error = L"Unknown argument: " + argument +
              L"\n\nUsage: umbrascope.exe [--image FILE] [--update-server URL]";
      ok = false;
    }
  }
  if (argv) LocalFree(argv);
  if (!ok) return std::nullopt;
  return result;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES |
                                            ICC_ANIMATE_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  LoadLibraryW(L"msftedit.dll");
  std::wstring argumentError;
  const auto arguments = ParseArguments(argumentError);
  if (!arguments) {
    ShowError(argumentError);
    return kExitError;
  }
  std::ostringstream notes;
  std::unique_ptr<app::Session> session;
  try {
    session = app::Session::Open(arguments->image, notes);
    app::RunStartup();
  } catch (const app::MachineError& e) {
    ShowError(Wide(e.what()));
    return kExitError;
  } catch (const std::exception& e) {
    ShowError(L"Umbrascope could not start: " + Wide(e.what()));
    return kExitError;
  }
  ui::UiContext context;
  context.instance = instance;
  context.session = session.get();
  context.imageMachine = arguments->image.has_value();
  context.updateServer = arguments->updateServer;
  HDC screen = GetDC(nullptr);
  context.dpiScale = GetDeviceCaps(screen, LOGPIXELSY) / 96.0;
  ReleaseDC(nullptr, screen);
  ui::MainWindow window(context);
  if (!window.Create(showCommand)) {
    ShowError(L"Umbrascope could not create its window.");
    return kExitError;
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (window.PreTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

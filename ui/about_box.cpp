// The about box: product, version and legal texts from the program's version resource, and the
// update check with its download to the desktop.
#include "ui/about_box.h"

#include <cwchar>
#include <string>
#include <vector>

#include "app/update_check.h"
#include "ui/dialogs.h"
#include "ui/windows_ui.h"

namespace ui {
namespace {

std::wstring g_updateFileName;

constexpr UINT kRunCheck = WM_APP + 1;

const wchar_t* const kVersionNames[] = {
    L"FileVersion",     L"CompanyName",      L"InternalName", L"Comments",       L"LegalCopyright",
    L"LegalTrademarks", L"OriginalFilename", L"ProductName",  L"ProductVersion", L"FileDescription",
    L"PrivateBuild",    L"SpecialBuild",     L"Translators"};

// 8-bit texts of the update check are in the system code page, as the system's functions give them.
std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}
std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}
// Message texts use "\n" between lines; a message box shows CR LF.
std::wstring ForBox(const std::string& text) {
  std::wstring out;
  for (wchar_t c : Wide(text)) {
    if (c == L'\n') out += L'\r';
    out += c;
  }
  return out;
}

std::wstring ProgramFile() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return path.substr(0, n);
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::vector<BYTE> VersionBlock(const std::wstring& file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  std::vector<BYTE> block(size);
  if (size == 0 || !GetFileVersionInfoW(file.c_str(), 0, size, block.data())) block.clear();
  return block;
}

std::wstring Replace(std::wstring text, const std::wstring& from, const std::wstring& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::wstring::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

struct AboutState {
  UiContext* context = nullptr;
  std::wstring title;
  bool autoCheck = false;
  std::wstring ownVersion;
  std::vector<std::wstring> translators;
  HICON icon = nullptr;
};

std::wstring Value(const std::vector<std::wstring>& lines, const wchar_t* name) {
  const std::wstring prefix = std::wstring(name) + L"=";
  for (const auto& line : lines)
    if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
  return {};
}

void Fill(HWND box, AboutState& s) {
  const std::wstring file = ProgramFile();
  if (VersionTranslationCount(file) == 0) return;  // the design texts stay, the caption too
  const auto lines = ReadVersionStrings(file, 0);
  s.ownVersion = Replace(Replace(Value(lines, L"ProductVersion"), L", ", L"."), L",", L".");
  const std::wstring product = Value(lines, L"ProductName");
  SetWindowTextW(box, (L"About " + (s.title.empty() ? product : s.title)).c_str());
  SetDlgItemTextW(box, IDC_ABOUT_PRODUCT, product.c_str());
  SetDlgItemTextW(box, IDC_ABOUT_VERSION, (L"Version " + s.ownVersion).c_str());
  const std::wstring fileVersion = Replace(Replace(Value(lines, L"FileVersion"), L", ", L"."), L",", L".");
  SetDlgItemTextW(box, IDC_ABOUT_DESCRIPTION,
                  (Value(lines, L"FileDescription") + L" " + fileVersion).c_str());
  SetDlgItemTextW(box, IDC_ABOUT_LEGAL,
                  (Value(lines, L"LegalCopyright") + L"\r\n" + Value(lines, L"LegalTrademarks")).c_str());
  const std::wstring translators = Value(lines, L"Translators");
  for (std::size_t at = 0; at < translators.size();) {
    std::size_t end = translators.find_first_of(L"\r\n", at);
    if (end == std::wstring::npos) end = translators.size();
    if (end > at) s.translators.push_back(translators.substr(at, end - at));
    at = end + 1;
  }
  ShowWindow(GetDlgItem(box, IDC_ABOUT_TRANSLATIONS), s.translators.empty() ? SW_HIDE : SW_SHOW);
}

void ShowTranslators(HWND box, const AboutState& s) {
  std::wstring text;
  for (const auto& line : s.translators) {
    const std::size_t eq = line.find(L'=');
    text += (eq == std::wstring::npos ? line + L": " : line.substr(0, eq) + L": " + line.substr(eq + 1)) +
            L"\r\n";
  }
  MessageBoxW(box, text.c_str(), L"Translations", MB_OK | MB_ICONINFORMATION);
}

int Say(HWND box, const std::string& message, UINT kind) {
  const wchar_t* caption = (kind & MB_ICONERROR)              ? L"Error"
                           : (kind & 0xF0) == MB_ICONWARNING  ? L"Warning"
                           : (kind & 0xF0) == MB_ICONQUESTION ? L"Confirm"
                                                              : L"Information";
  return MessageBoxW(box, ForBox(message).c_str(), caption, kind);
}

void RunUpdateCheck(HWND box, AboutState& s) {
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  wchar_t product[256] = {};
  GetDlgItemTextW(box, IDC_ABOUT_PRODUCT, product, 256);
  const std::string userAgent = Narrow(product);
  std::optional<std::string> server;
  if (auto fromCommandLine = UpdateServerFromCommandLine(GetCommandLineW()))
    server = Narrow(*fromCommandLine);
  const std::string address = app::UpdateAddress(app::UpdateServer(server), Narrow(g_updateFileName));
  // Without a version resource the program still knows the version it was built as.
  const std::string own = s.ownVersion.empty() ? std::string(UMBRA_VERSION) : Narrow(s.ownVersion);
  app::UpdateDecision d;
  try {
    d = app::CheckForUpdates(address, own, userAgent);
  } catch (const std::exception& e) {
    d = app::SearchFailed(e.what());
  }
  SetCursor(previous);
  switch (d.outcome) {
    case app::UpdateOutcome::kSearchFailed:
      Say(box, d.message, MB_OK | MB_ICONERROR);
      return;
    case app::UpdateOutcome::kUpToDate:
      Say(box, d.message, MB_OK | MB_ICONINFORMATION);
      return;
    case app::UpdateOutcome::kNewerNoUrl:
      Say(box, d.message, MB_OK | MB_ICONWARNING);
      return;
    case app::UpdateOutcome::kNewerOffer:
      break;
  }
  // Nothing is downloaded, and nothing started, without the user's Yes.
  if (Say(box, d.message, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
  previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  app::DownloadResult r;
  try {
    r = app::DownloadUpdate(d, app::DesktopFolder(), userAgent);
  } catch (const std::exception& e) {
    r.message = std::string("An unknown error occured while trying to download the update:\n") + e.what();
  }
  SetCursor(previous);
  if (!r.ok) {
    Say(box, r.message, MB_OK | MB_ICONERROR);
    return;
  }
  if (d.isProgram) {
    const std::wstring path = Wide(r.savedPath);
    ShellExecuteW(box, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return;
  }
  Say(box, r.message, MB_OK | MB_ICONINFORMATION);
}

INT_PTR CALLBACK AboutProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<AboutState*>(GetWindowLongPtrW(box, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<AboutState*>(lParam);
      SetWindowLongPtrW(box, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
      ShowWindow(GetDlgItem(box, IDC_ABOUT_UPDATES), g_updateFileName.empty() ? SW_HIDE : SW_SHOW);
      Fill(box, *s);
      s->icon = LoadIconW(s->context->instance, MAKEINTRESOURCEW(1));
      if (s->icon == nullptr) s->icon = LoadIconW(nullptr, IDI_APPLICATION);
      SendDlgItemMessageW(box, IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(s->icon), 0);
      // The check runs once the box is on screen, so its messages have the box as their owner.
      if (s->autoCheck && !g_updateFileName.empty()) PostMessageW(box, kRunCheck, 0, 0);
      return TRUE;
    }
    case kRunCheck:
      RunUpdateCheck(box, *s);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
          EndDialog(box, LOWORD(wParam));
          return TRUE;
        case IDC_ABOUT_TRANSLATIONS:
          ShowTranslators(box, *s);
          return TRUE;
        case IDC_ABOUT_UPDATES:
          RunUpdateCheck(box, *s);
          return TRUE;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

std::optional<std::wstring> UpdateServerFromCommandLine(const wchar_t* commandLine) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(commandLine, &argc);
  std::optional<std::wstring> server;
  const std::wstring option = L"--update-server";
  for (int i = 1; argv != nullptr && i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == option && i + 1 < argc)
      server = argv[++i];
    else if (arg.compare(0, option.size() + 1, option + L"=") == 0)
      server = arg.substr(option.size() + 1);
  }
  LocalFree(argv);
  return server;
}

unsigned VersionTranslationCount(const std::wstring& file) {
  auto block = VersionBlock(file);
  if (block.empty()) return 0;
  void* data = nullptr;
  UINT size = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &data, &size)) return 0;
  return size / 4;
}

std::vector<std::wstring> ReadVersionStrings(const std::wstring& file, unsigned pairIndex) {
  std::vector<std::wstring> lines;
  auto block = VersionBlock(file);
  if (block.empty()) return lines;
  void* data = nullptr;
  UINT size = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &data, &size) || size / 4 <= pairIndex)
    return lines;
  const auto* pair = static_cast<const WORD*>(data) + 2 * pairIndex;
  wchar_t prefix[64];
  std::swprintf(prefix, 64, L"\\StringFileInfo\\%04x%04x\\", pair[0], pair[1]);
  for (const wchar_t* name : kVersionNames) {
    const std::wstring query = std::wstring(prefix) + name;
    void* value = nullptr;
    UINT length = 0;
    std::wstring line = std::wstring(name) + L"=";
    if (VerQueryValueW(block.data(), query.c_str(), &value, &length) && value != nullptr && length > 0)
      line += std::wstring(static_cast<const wchar_t*>(value),
                           wcsnlen(static_cast<const wchar_t*>(value), length));
    lines.push_back(line);
  }
  return lines;
}

void SetAboutUpdateFileName(const std::wstring& name) { g_updateFileName = name; }

void ShowAboutBox(UiContext& context, HWND owner, const std::wstring& title, bool autoCheck) {
  AboutState state;
  state.context = &context;
  state.title = title;
  state.autoCheck = autoCheck;
  DialogBoxParamW(context.instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc,
                  reinterpret_cast<LPARAM>(&state));
}

}  // namespace ui

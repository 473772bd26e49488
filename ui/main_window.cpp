// The main window: the page control over the four pages, the start-up order (about box, then the
// first paint's Quick Scan), the Log page's script and the keyboard between the pages.
#include "ui/main_window.h"

#include <cwchar>
#include <string>
#include <vector>

#include "app/removal_script.h"
#include "archive/removal_script.h"
#include "ui/deep_page.h"
#include "ui/dialogs.h"
#include "ui/help_page.h"
#include "ui/log_page.h"
#include "ui/pack_action.h"
#include "ui/quick_page.h"
#include "ui/resource_ids.h"
#include "ui/window_class.h"

namespace ui {

namespace {
constexpr wchar_t kClassName[] = L"TformRKIndicators";
constexpr wchar_t kTitle[] = L"Umbrascope";
constexpr int kTabId = 100;
constexpr UINT kAboutCommand = 5666;
// Posted by the first paint: the Quick Scan runs once the window has been drawn.
constexpr UINT kRunFirstQuickScan = WM_APP + 1;

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

// Rich text keeps its own fonts: a window font would flatten the document into one.
BOOL CALLBACK GiveFont(HWND child, LPARAM font) {
  wchar_t className[32] = {};
  GetClassNameW(child, className, 32);
  if (wcsncmp(className, L"RichEdit", 8) == 0) return TRUE;
  if (!SendMessageW(child, WM_GETFONT, 0, 0))
    SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
  return TRUE;
}
}  // namespace

struct MainWindow::State {
  UiContext& context;
  HWND window = nullptr;
  HWND tabs = nullptr;
  QuickPage quick;
  DeepPage deep;
  LogPage log;
  HelpPage help;
  HFONT font = nullptr;
  bool firstPaintPending = false;
  // Set once the about box shown at start-up has closed; paints before that run nothing.
  bool shown = false;
  bool logVisible = false;
  HWND lastFocus = nullptr;

  explicit State(UiContext& c) : context(c) {}
  ~State() {
    if (font) DeleteObject(font);
  }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return ForwardingProc<State>(hwnd, msg, wp, lp);
  }

  // The pages in tab order: Quick Scan, Deep Scan, Log (while visible), Help.
  std::vector<Page*> Pages() {
    std::vector<Page*> pages{&quick, &deep};
    if (logVisible) pages.push_back(&log);
    pages.push_back(&help);
    return pages;
  }

  Page* ActivePage() {
    const auto pages = Pages();
    const int active = TabCtrl_GetCurSel(tabs);
    return active >= 0 && active < static_cast<int>(pages.size()) ? pages[active] : nullptr;
  }

  void Select(Page* page) {
    const auto pages = Pages();
    for (std::size_t i = 0; i < pages.size(); ++i)
      if (pages[i] == page) TabCtrl_SetCurSel(tabs, static_cast<int>(i));
  }

  void ShowActivePage() {
    Page* active = ActivePage();
    for (Page* p : {static_cast<Page*>(&quick), static_cast<Page*>(&deep), static_cast<Page*>(&log),
                    static_cast<Page*>(&help)}) {
      if (!p->Window()) continue;
      ShowWindow(p->Window(), p == active ? SW_SHOW : SW_HIDE);
    }
    // Focus inside a page that was just hidden would leave the keyboard nowhere.
    HWND focus = GetFocus();
    if (focus && focus != tabs && IsChild(window, focus) && !IsWindowVisible(focus)) SetFocus(tabs);
  }

  void LayoutPages() {
    RECT client;
    GetClientRect(window, &client);
    const int border = context.Scale(8);
    RECT frame{client.left + border, client.top + border, client.right - border, client.bottom - border};
    if (frame.right < frame.left) frame.right = frame.left;
    if (frame.bottom < frame.top) frame.bottom = frame.top;
    MoveWindow(tabs, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top, TRUE);
    RECT area = frame;
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    for (Page* p : {static_cast<Page*>(&quick), static_cast<Page*>(&deep), static_cast<Page*>(&log),
                    static_cast<Page*>(&help)})
      if (p->Window()) p->Layout(area);
  }

  void InsertTab(int index, const wchar_t* text) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(text);
    TabCtrl_InsertItem(tabs, index, &item);
  }

  void ShowAbout() { ShowAboutBox(context, window, kTitle, false); }

  // The script of the chosen type over both pages' results, into the memo.
  void UpdateLog() {
    try {
      log.SetLines(app::BuildRemovalScript(static_cast<std::uint8_t>(log.LogType()),
                                           app::QuickFindings(quick.Report()), deep.Rows()));
    } catch (const std::exception& e) {
      const std::wstring why = Wide(e.what());
      log.SetLines({u"// The script could not be built: " + std::u16string(why.begin(), why.end())});
    }
  }

  void LogTypeClick() {
    UpdateLog();
    log.SetInformation(Wide(archive::RemovalScriptAdvice()));
  }

  // The Log tab is there exactly while either page holds a finding.
  void UpdateLogTabVisibility() {
    const bool wanted = deep.HasRows() || quick.HasFindings();
    Page* active = ActivePage();
    if (wanted != logVisible) {
      logVisible = wanted;
      if (wanted)
        InsertTab(2, L"Log");
      else
        TabCtrl_DeleteItem(tabs, 2);
      // The Log page itself can vanish only after a refresh emptied both lists; the Deep Scan
      // page is where that happens while the Log page is in front.
      if (active == &log && !wanted) active = &deep;
      Select(active);
      LayoutPages();
      ShowActivePage();
      return;
    }
    // New results while the script is in front: it shows them at once.
    if (logVisible && active == &log) UpdateLog();
  }

  void PageChanged() {
    ShowActivePage();
    Page* active = ActivePage();
    if (active == &deep && !deep.OnScanFinished) {
      deep.OnScanFinished = [this] { UpdateLogTabVisibility(); };
      deep.StartScan();
    }
    if (ActivePage() == &log) UpdateLog();
  }

  void FormCreate() {
    HMENU system = GetSystemMenu(window, FALSE);
    InsertMenuW(system, 6, MF_BYPOSITION | MF_STRING, kAboutCommand, L"&About Umbrascope...");
    DrawMenuBar(window);

    font = CreateFontW(-context.Scale(11), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       L"MS Shell Dlg 2");
    context.font = font;

    tabs = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP, 0, 0,
                           0, 0, window, reinterpret_cast<HMENU>(kTabId), context.instance, nullptr);
    InsertTab(0, L"Quick Scan");
    InsertTab(1, L"Deep Scan");
    InsertTab(2, L"&Help");

    quick.Create(window, context);
    quick.OnResultsChanged = [this] { UpdateLogTabVisibility(); };
    deep.Create(window, context);
    log.Create(window, context);
    log.OnLogTypeClick = [this] { LogTypeClick(); };
    log.OnPack = [this] { PackSuspiciousFilesAction(context, window, deep.Rows()); };
    help.Create(window, context);
    // The pages lie over the tab control: clicks on them must reach them, and the tab control
    // comes last when Tab walks through the window.
    SetWindowPos(tabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (font) EnumChildWindows(window, &GiveFont, reinterpret_cast<LPARAM>(font));

    firstPaintPending = true;
  }

  void FormShow() {
    SetAboutUpdateFileName(L"umbrascope.ini");
    ShowAbout();
    LogTypeClick();
    shown = true;
  }

  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_CREATE:
        FormCreate();
        return 0;
      case WM_SIZE:
        if (tabs) {
          LayoutPages();
          ShowActivePage();
        }
        return 0;
      case WM_PAINT: {
        const LRESULT r = DefWindowProcW(window, msg, wp, lp);
        if (firstPaintPending && shown) {
          firstPaintPending = false;
          PostMessageW(window, kRunFirstQuickScan, 0, 0);
        }
        return r;
      }
      case kRunFirstQuickScan:
        quick.RunQuickScan();
        quick.ShowResults();
        return 0;
      case WM_SYSCOMMAND: {
        const LRESULT r = DefWindowProcW(window, msg, wp, lp);
        if (wp == kAboutCommand) ShowAbout();
        return r;
      }
      case WM_COMMAND: {
        // The keyboard's Enter on a page's button arrives here (the window is the "dialog" of the
        // Tab navigation); it belongs to the page that holds the button.
        HWND control = reinterpret_cast<HWND>(lp);
        HWND owner = control ? GetParent(control) : nullptr;
        if (owner && owner != window && IsChild(window, owner)) return SendMessageW(owner, msg, wp, lp);
        return 0;
      }
      case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        if (header->hwndFrom == tabs && header->code == TCN_SELCHANGE) PageChanged();
        return 0;
      }
      case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
          HWND focus = GetFocus();
          if (focus && IsChild(window, focus)) lastFocus = focus;
        }
        return DefWindowProcW(window, msg, wp, lp);
      case WM_SETFOCUS:
        SetFocus(lastFocus && IsWindow(lastFocus) && IsWindowVisible(lastFocus) ? lastFocus : tabs);
        return 0;
      case WM_GETMINMAXINFO: {
        // Small enough for any screen, large enough that the pages' panels still fit.
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        info->ptMinTrackSize.x = context.Scale(420);
        info->ptMinTrackSize.y = context.Scale(320);
        return 0;
      }
      case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
      default:
        return DefWindowProcW(window, msg, wp, lp);
    }
  }

  // Ctrl+Tab and Ctrl+Shift+Tab step through the pages; Alt+H opens the Help page.
  bool PageKey(const MSG& msg) {
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0) {
      const int count = TabCtrl_GetItemCount(tabs);
      if (count <= 0) return true;
      const int step = GetKeyState(VK_SHIFT) < 0 ? count - 1 : 1;
      TabCtrl_SetCurSel(tabs, (TabCtrl_GetCurSel(tabs) + step) % count);
      PageChanged();
      return true;
    }
    if (msg.message == WM_SYSKEYDOWN && (msg.wParam == 'H') && GetKeyState(VK_SHIFT) >= 0) {
      Select(&help);
      PageChanged();
      return true;
    }
    return false;
  }

  bool PreTranslate(MSG& msg) {
    if (!window || (msg.hwnd != window && !IsChild(window, msg.hwnd))) return false;
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
      if (Page* active = ActivePage(); active && active->PreTranslate(msg)) return true;
      if (PageKey(msg)) return true;
    }
    return IsDialogMessageW(window, &msg) != FALSE;
  }
};

MainWindow::MainWindow(UiContext& context) : state_(std::make_unique<State>(context)) {}
MainWindow::~MainWindow() = default;

HWND MainWindow::Create(int showCommand) {
  UiContext& context = state_->context;
  WNDCLASSEXW wc{sizeof(wc)};
  wc.lpfnWndProc = &State::Proc;
  wc.hInstance = context.instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  wc.hIcon = static_cast<HICON>(LoadImageW(context.instance, MAKEINTRESOURCEW(IDI_UMBRASCOPE), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  wc.hIconSm =
      static_cast<HICON>(LoadImageW(context.instance, MAKEINTRESOURCEW(IDI_UMBRASCOPE), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  RegisterClassExW(&wc);
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  RECT r{0, 0, context.Scale(609), context.Scale(394)};
  AdjustWindowRectEx(&r, style, FALSE, 0);
  const int width = r.right - r.left, height = r.bottom - r.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  HWND hwnd = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, kTitle, style, x > 0 ? x : 0, y > 0 ? y : 0,
                              width, height, nullptr, nullptr, context.instance, state_.get());
  if (!hwnd) return nullptr;
  context.mainWindow = hwnd;
  ShowWindow(hwnd, showCommand);
  // The about box comes first; any paint while it is open only draws. The first paint after
  // it runs the Quick Scan.
  state_->FormShow();
  InvalidateRect(hwnd, nullptr, TRUE);
  UpdateWindow(hwnd);
  return hwnd;
}

bool MainWindow::PreTranslate(MSG& msg) { return state_->PreTranslate(msg); }

}  // namespace ui

// The main window: page control, pages, start-up order.
#include "ui/main_window.h"


#include "ui/deep_page.h"
#include "ui/dialogs.h"
#include "ui/quick_page.h"

namespace ui {

namespace {
constexpr wchar_t kClassName[] = L"TformRKIndicators";
constexpr int kTabId = 100;
}  // namespace

struct MainWindow::State {
  UiContext& context;
  HWND window = nullptr;
  HWND tabs = nullptr;
  QuickPage quick;
  DeepPage deep;
  bool firstPaintPending = false;

  explicit State(UiContext& c) : context(c) {}

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<State*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
      self = static_cast<State*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      self->window = hwnd;
    }
    if (self) return self->Handle(msg, wp, lp);
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  Page* PageAt(int index) {
    switch (index) {
      case 0: return &quick;
      case 1: return &deep;
      default: return nullptr;
    }
  }

  void ShowActivePage() {
    const int active = TabCtrl_GetCurSel(tabs);
    for (int i = 0; i < 2; ++i)
      if (Page* p = PageAt(i)) ShowWindow(p->Window(), i == active ? SW_SHOW : SW_HIDE);
  }

  void LayoutPages() {
    RECT client;
    GetClientRect(window, &client);
    MoveWindow(tabs, 0, 0, client.right, client.bottom, TRUE);
    RECT area = client;
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    for (int i = 0; i < 2; ++i)
      if (Page* p = PageAt(i)) p->Layout(area);
  }

  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_CREATE: {
        tabs = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP, 0, 0, 0,
                               0, window, reinterpret_cast<HMENU>(kTabId), context.instance, nullptr);
        const wchar_t* names[] = {L"Quick Scan", L"Deep Scan"};
        for (int i = 0; i < 2; ++i) {
          TCITEMW item{};
          item.mask = TCIF_TEXT;
          item.pszText = const_cast<wchar_t*>(names[i]);
          TabCtrl_InsertItem(tabs, i, &item);
        }
        quick.Create(window, context);
        deep.Create(window, context);
        firstPaintPending = true;
        return 0;
      }
      case WM_SIZE:
        LayoutPages();
        ShowActivePage();
        return 0;
      case WM_PAINT: {
        LRESULT r = DefWindowProcW(window, msg, wp, lp);
        if (firstPaintPending) {
          firstPaintPending = false;
          quick.RunQuickScan();
          quick.ShowResults();
        }
        return r;
      }
      case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        if (header->hwndFrom == tabs && header->code == TCN_SELCHANGE) {
          ShowActivePage();
          if (TabCtrl_GetCurSel(tabs) == 1 && !deep.OnScanFinished) {
            deep.OnScanFinished = [] {};
            deep.StartScan();
          }
        }
        return 0;
      }
      case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
      default:
        return DefWindowProcW(window, msg, wp, lp);
    }
  }
};

MainWindow::MainWindow(UiContext& context) : state_(std::make_unique<State>(context)) {}
MainWindow::~MainWindow() = default;

HWND MainWindow::Create(int showCommand) {
  WNDCLASSEXW wc{sizeof(wc)};
  wc.lpfnWndProc = &State::Proc;
  wc.hInstance = state_->context.instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
  RECT r{0, 0, state_->context.Scale(609), state_->context.Scale(394)};
  AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
  HWND hwnd = CreateWindowExW(0, kClassName, L"Umbrascope", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                              CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                              state_->context.instance, state_.get());
  state_->context.mainWindow = hwnd;
  ShowWindow(hwnd, showCommand);
  UpdateWindow(hwnd);
  return hwnd;
}

bool MainWindow::PreTranslate(MSG&) { return false; }

}  // namespace ui

// The Quick Scan page: runs the indicators on the main thread and shows their rows and findings.
// clang-format off
#include "ui/windows_ui.h"  // first: see there
// clang-format on
#include "ui/quick_page.h"

#include <algorithm>

#include "app/quick_actions.h"
#include "base/os_flags.h"
#include "ui/dialog_kit.h"
#include "ui/dialogs.h"
#include "ui/image_lists.h"
#include "ui/window_class.h"

namespace ui {

namespace {

constexpr wchar_t kClassName[] = L"UmbrascopeQuickPage";
constexpr wchar_t kTitle[] = L"Umbrascope";
constexpr wchar_t kWarning[] =
    L"Please do not open or close other applications until the Quick Scan results show up.";
constexpr wchar_t kInfoText[] =
    L"The list on the left contains results from all tests seen above, double-click items for more details. "
    L"If "
    L"you're in doubt, or something was found, we strongly suggest you try a deep scan!";
constexpr wchar_t kObjectNotFound[] =
    L"Could not find the corresponding object, hit the developer over the head!";

constexpr int kInfoListId = 201;
constexpr int kDetailsListId = 202;
constexpr int kAnimationId = 203;
constexpr int kCmdRefresh = 301;
constexpr int kCmdDetails = 302;
constexpr int kCmdCopy = 303;

constexpr int kPanelHeight = 145;
constexpr int kPanelBorder = 8;
constexpr int kLabelWidth = 200;
constexpr int kAnimationHeight = 56;
constexpr int kColumnWidth = 300;
constexpr int kIndicatorGroup = 1;
// The system's find-folder clip in shell32; the clip's own last frame.
constexpr int kFindFolderClip = 150;
constexpr int kStopFrame = 29;

// The window bits of these versions show the indicator list without headers, and as tiles.
constexpr std::uint32_t kNoHeaderFlags = base::kOSFlagXP | base::kOSFlagVista;

}  // namespace

struct QuickPage::State {
  QuickPage& page;
  UiContext* context = nullptr;
  HWND window = nullptr;
  HWND info = nullptr;
  HWND details = nullptr;
  HWND label = nullptr;
  HWND animation = nullptr;
  HFONT font = nullptr;
  app::QuickScanReport report;
  // One entry per findings row: the indicator row and the finding's index in it.
  std::vector<std::pair<std::size_t, std::size_t>> detailRows;

  explicit State(QuickPage& p) : page(p) {}
  ~State() {
    if (font) DeleteObject(font);
  }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return ForwardingProc<State>(hwnd, msg, wp, lp);
  }

  HWND Child(DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
    HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | style, 0, 0, 0, 0, window,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), context->instance, nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return c;
  }

  void CreateControls() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    font = CreateFontIndirectW(&metrics.lfMessageFont);

    info =
        Child(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
              WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
              kInfoListId);
    ListView_SetExtendedListViewStyle(info, LVS_EX_DOUBLEBUFFER);
    kit::AddColumns(info, *context,
                    {{L"Test", kColumnWidth},
                     {L"Details", kColumnWidth},
                     {L"Result", kColumnWidth},
                     {L"", kColumnWidth},
                     {L"", kColumnWidth},
                     {L"", kColumnWidth},
                     {L"", kColumnWidth}});
    // The shared lists: LVS_SHAREIMAGELISTS keeps the lists from destroying them.
    ListView_SetImageList(info, LargeStateImages(), LVSIL_NORMAL);
    ListView_SetImageList(info, LargeStateImages(), LVSIL_SMALL);
    InitGroups();

    // One row per finding with its small kind icon. A report view without headers looks like the
    // small-icon view and, unlike it, scrolls and pages the same on every system (Wine's small-icon
    // view lays long texts out over one another).
    details = Child(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                    WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL |
                        LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
                    kDetailsListId);
    kit::AddColumns(details, *context, {{L"", kColumnWidth}});
    ListView_SetImageList(details, SmallKindImages(), LVSIL_SMALL);

    label = Child(0, L"STATIC", kInfoText, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0);
    animation = Child(0, ANIMATE_CLASSW, L"", ACS_CENTER | ACS_TRANSPARENT, kAnimationId);
    // Some systems (Wine among them) carry no such clip: the control then stays blank.
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    if (shell) Animate_OpenEx(animation, shell, MAKEINTRESOURCEW(kFindFolderClip));
  }

  void InitGroups() {
    LVGROUP group{};
    group.cbSize = sizeof(group);
    group.mask = LVGF_HEADER | LVGF_GROUPID;
    group.pszHeader = const_cast<wchar_t*>(L"Indicators");
    group.iGroupId = kIndicatorGroup;
    ListView_InsertGroup(info, -1, &group);
    ListView_EnableGroupView(info, TRUE);
  }

  void LayoutControls() {
    RECT client;
    GetClientRect(window, &client);
    const int w = client.right, h = client.bottom;
    const int panel = context->Scale(kPanelHeight), border = context->Scale(kPanelBorder);
    const int labelWidth = std::min(context->Scale(kLabelWidth), std::max(0, w / 2));
    const int panelTop = std::max(0, h - panel);
    MoveWindow(info, 0, 0, w, panelTop, TRUE);
    const int innerTop = panelTop + border, innerBottom = h - border;
    const int labelLeft = w - border - labelWidth;
    MoveWindow(details, border, innerTop, std::max(0, labelLeft - border - border),
               std::max(0, innerBottom - innerTop), TRUE);
    const int animHeight = context->Scale(kAnimationHeight);
    MoveWindow(label, labelLeft, innerTop, labelWidth, std::max(0, innerBottom - innerTop - animHeight),
               TRUE);
    MoveWindow(animation, labelLeft, innerBottom - animHeight, labelWidth, animHeight, TRUE);
  }

  const app::QuickFinding* Selected(std::size_t* row = nullptr) const {
    const int at = ListView_GetNextItem(details, -1, LVNI_SELECTED);
    if (at < 0) return nullptr;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = at;
    if (!ListView_GetItem(details, &item)) return nullptr;
    const auto index = static_cast<std::size_t>(item.lParam);
    if (index >= detailRows.size()) return nullptr;
    const auto [r, f] = detailRows[index];
    if (r >= report.rows.size() || f >= report.rows[r].findings.size()) return nullptr;
    if (row) *row = r;
    return &report.rows[r].findings[f];
  }

  void PopupMenu(HWND list, LPARAM lp) {
    POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    if (lp == -1) {  // from the keyboard: below the selected row, or at the list's corner
      RECT r{};
      const int sel = ListView_GetNextItem(list, -1, LVNI_SELECTED);
      if (sel < 0 || !ListView_GetItemRect(list, sel, &r, LVIR_LABEL)) GetClientRect(list, &r);
      at = {r.left, r.bottom};
      ClientToScreen(list, &at);
    }
    HMENU menu = CreatePopupMenu();
    if (list == info) {
      AppendMenuW(menu, MF_STRING, kCmdRefresh, L"&Refresh");
    } else {
      const UINT enabled = Selected() ? MF_ENABLED : MF_GRAYED;
      AppendMenuW(menu, MF_STRING | enabled, kCmdDetails, L"Show &details");
      AppendMenuW(menu, MF_STRING | enabled, kCmdCopy, L"Copy FXI to clipboard");
    }
    const int command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
    DestroyMenu(menu);
    Command(command);
  }

  void Command(int command) {
    switch (command) {
      case kCmdRefresh:
        page.Refresh();
        break;
      case kCmdDetails:
        page.ShowSelectedDetails();
        break;
      case kCmdCopy:
        page.CopySelectedToClipboard();
        break;
      default:
        break;
    }
  }

  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_SIZE:
        LayoutControls();
        return 0;
      case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      case WM_CONTEXTMENU: {
        HWND from = reinterpret_cast<HWND>(wp);
        if (from == info || from == details) {
          PopupMenu(from, lp);
          return 0;
        }
        break;
      }
      case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        if (header->hwndFrom == details && (header->code == NM_DBLCLK || header->code == NM_RETURN)) {
          page.ShowSelectedDetails();
          return 0;
        }
        if ((header->hwndFrom == details || header->hwndFrom == info) && header->code == LVN_KEYDOWN) {
          const auto* key = reinterpret_cast<NMLVKEYDOWN*>(lp);
          if (key->wVKey == VK_F5) page.Refresh();
          if (header->hwndFrom == details && key->wVKey == 'C' && GetKeyState(VK_CONTROL) < 0)
            page.CopySelectedToClipboard();
          return 0;
        }
        break;
      }
      default:
        break;
    }
    return DefWindowProcW(window, msg, wp, lp);
  }

  HWND Owner() const { return GetAncestor(window, GA_ROOT); }

  void FillIndicators() {
    const int maxResults = app::MaxResultCount(report);
    SendMessageW(info, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(info);
    for (std::size_t r = 0; r < report.rows.size(); ++r) {
      const app::QuickRow& row = report.rows[r];
      LVITEMW item{};
      item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_GROUPID;
      item.iItem = static_cast<int>(r);
      const std::wstring caption = kit::Shown(row.description);
      item.pszText = const_cast<wchar_t*>(caption.c_str());
      item.iImage = row.state;
      item.lParam = static_cast<LPARAM>(r);
      item.iGroupId = kIndicatorGroup;
      const int at = ListView_InsertItem(info, &item);
      if (at < 0) continue;
      // "Details", "Result", then the first findings, as many columns as the widest tile.
      std::vector<std::wstring> sub = {kit::Shown(row.details), kit::Shown(row.result)};
      for (std::size_t k = 0; k < row.findings.size() && k < 5; ++k)
        sub.push_back(kit::Shown(row.findings[k].text));
      sub.resize(std::max<std::size_t>(sub.size(), static_cast<std::size_t>(maxResults) + 2));
      for (std::size_t c = 0; c < sub.size() && c + 1 < 7; ++c)
        ListView_SetItemText(info, at, static_cast<int>(c + 1), const_cast<wchar_t*>(sub[c].c_str()));
      std::vector<UINT> columns(row.tileColumns.begin(), row.tileColumns.end());
      LVTILEINFO tile{};
      tile.cbSize = sizeof(tile);
      tile.iItem = at;
      tile.cColumns = static_cast<UINT>(columns.size());
      tile.puColumns = columns.empty() ? nullptr : columns.data();
      ListView_SetTileInfo(info, &tile);
    }
    SendMessageW(info, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(info, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
  }

  void SetIndicatorView() {
    const std::uint32_t flags = base::GetOSFlags();
    LONG_PTR style = GetWindowLongPtrW(info, GWL_STYLE);
    if (flags & kNoHeaderFlags)
      style |= LVS_NOCOLUMNHEADER;
    else
      style &= ~static_cast<LONG_PTR>(LVS_NOCOLUMNHEADER);
    if (flags & base::kOSFlagTilesMask) {
      SetWindowLongPtrW(info, GWL_STYLE, (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | LVS_SMALLICON);
      // Where the list cannot show tiles (Wine's), the rows' texts would be lost in a small-icon
      // view: the report view shows them all, with the headers naming them.
      if (ListView_SetView(info, LV_VIEW_TILE) != 1) {
        SetWindowLongPtrW(info, GWL_STYLE,
                          (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK | LVS_NOCOLUMNHEADER)) | LVS_REPORT);
        ListView_SetView(info, LV_VIEW_DETAILS);
      }
    } else {
      SetWindowLongPtrW(info, GWL_STYLE, style);
      ListView_SetView(info, LV_VIEW_ICON);
      SetWindowLongPtrW(info, GWL_STYLE, (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | LVS_ICON);
    }
    LVTILEVIEWINFO view{};
    view.cbSize = sizeof(view);
    view.dwMask = LVTVIM_COLUMNS;
    view.dwFlags = 0;
    view.cLines = app::MaxResultCount(report) + 3;
    ListView_SetTileViewInfo(info, &view);
  }

  void FillDetails() {
    ListView_DeleteAllItems(details);
    detailRows.clear();
    SendMessageW(details, WM_SETREDRAW, FALSE, 0);
    const int count = ListView_GetItemCount(info);
    for (int i = 0; i < count; ++i) {
      try {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        if (!ListView_GetItem(info, &item)) throw std::runtime_error("row");
        const auto r = static_cast<std::size_t>(item.lParam);
        const app::QuickRow& row = report.rows.at(r);
        for (std::size_t f = 0; f < row.findings.size(); ++f) {
          detailRows.emplace_back(r, f);
          if (kit::AddRow(details, {kit::Shown(row.findings[f].text)}, row.findings[f].kind,
                          static_cast<LPARAM>(detailRows.size() - 1)) < 0)
            throw std::runtime_error("finding");
        }
      } catch (const std::exception&) {
        MessageBoxW(Owner(), kObjectNotFound, kTitle, MB_OK | MB_ICONERROR);
      }
    }
    ListView_SetColumnWidth(details, 0, detailRows.empty() ? LVSCW_AUTOSIZE_USEHEADER : LVSCW_AUTOSIZE);
    SendMessageW(details, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(details, nullptr, TRUE);
  }
};

QuickPage::QuickPage() : state_(std::make_unique<State>(*this)) {}
QuickPage::~QuickPage() = default;

void QuickPage::Create(HWND parent, UiContext& context) {
  state_->context = &context;
  RegisterPageClass(context.instance, kClassName, &State::Proc);
  CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"Quick Scan", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0,
                  parent, nullptr, context.instance, state_.get());
  state_->CreateControls();
}

HWND QuickPage::Window() const { return state_->window; }

void QuickPage::Layout(const RECT& area) {
  MoveWindow(state_->window, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

bool QuickPage::PreTranslate(MSG& msg) {
  State& s = *state_;
  if (msg.message != WM_KEYDOWN || !s.window || !IsWindowVisible(s.window)) return false;
  // Only keys typed in the main window itself, never in a dialog or message box over it.
  if (!msg.hwnd || GetAncestor(msg.hwnd, GA_ROOT) != GetAncestor(s.window, GA_ROOT)) return false;
  if (msg.wParam == VK_F5) {
    Refresh();
    return true;
  }
  if (msg.hwnd == s.details) {
    if (msg.wParam == VK_RETURN) {
      ShowSelectedDetails();
      return true;
    }
    if (msg.wParam == 'C' && GetKeyState(VK_CONTROL) < 0) {
      CopySelectedToClipboard();
      return true;
    }
  }
  return false;
}

void QuickPage::RunQuickScan() {
  State& s = *state_;
  // Said before the window stops answering: the scan runs on this thread.
  MessageBoxW(s.Owner(), kWarning, kTitle, MB_OK);
  ShowWindow(s.details, SW_HIDE);
  ShowWindow(s.animation, SW_SHOW);
  Animate_Play(s.animation, 0, kStopFrame, -1);
  UpdateWindow(s.window);
  HCURSOR old = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  s.report = app::RunQuickScan();
  SetCursor(old);
  Animate_Stop(s.animation);
  ShowWindow(s.animation, SW_HIDE);
  ShowWindow(s.details, SW_SHOW);
}

void QuickPage::ShowResults() {
  state_->SetIndicatorView();
  state_->FillIndicators();
  state_->FillDetails();
  if (OnResultsChanged) OnResultsChanged();
}

const app::QuickScanReport& QuickPage::Report() const { return state_->report; }

bool QuickPage::HasFindings() const { return state_->report.anythingFound(); }

void QuickPage::Refresh() {
  RunQuickScan();
  ShowResults();
}

void QuickPage::ShowSelectedDetails() {
  State& s = *state_;
  const app::QuickFinding* f = s.Selected();
  if (!f) return;
  UiContext& context = *s.context;
  const HWND owner = s.Owner();
  switch (f->kind) {
    case 0:
      ShowProcess(context, owner, app::ProcessIdOfFinding(f->text), true);
      break;
    case 3:
      ShowFileProperties(context, owner, kit::Utf16(f->text), true);
      break;
    case 4:
      ShowRegistryKey(context, owner, kit::Utf16(f->text), true);
      break;
    case 5:
      ShowRegistryValue(context, owner, kit::Utf16(f->text), true);
      break;
    default:
      break;
  }
}

namespace {

HGLOBAL GlobalText(const void* data, std::size_t bytes) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!memory) return nullptr;
  void* p = GlobalLock(memory);
  memcpy(p, data, bytes);
  GlobalUnlock(memory);
  return memory;
}

// The line as the 8-bit text the include files hold, and as UTF-16 for programs that ask for it.
bool PutOnClipboard(HWND owner, const std::wstring& line) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  const int n = WideCharToMultiByte(CP_ACP, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(std::max(n, 1)), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, line.c_str(), -1, narrow.data(), n, nullptr, nullptr);
  bool ok = true;
  if (HGLOBAL text = GlobalText(narrow.data(), narrow.size()); !text || !SetClipboardData(CF_TEXT, text)) {
    if (text) GlobalFree(text);
    ok = false;
  }
  if (HGLOBAL wide = GlobalText(line.c_str(), (line.size() + 1) * sizeof(wchar_t));
      !wide || !SetClipboardData(CF_UNICODETEXT, wide)) {
    if (wide) GlobalFree(wide);
  }
  CloseClipboard();
  return ok;
}

}  // namespace

void QuickPage::CopySelectedToClipboard() {
  State& s = *state_;
  const app::QuickFinding* f = s.Selected();
  if (!f) return;
  const app::FindingLine line = app::IncludeFileLine(*f);
  if (!line.copy) {
    if (!line.error.empty())
      MessageBoxW(
          s.Owner(),
          (L"Nothing was copied for " + kit::Shown(f->text) + L": " + kit::Shown(line.error) + L".").c_str(),
          L"Copy FXI to clipboard", MB_OK | MB_ICONWARNING);
    return;
  }
  if (!PutOnClipboard(s.window, kit::Shown(line.line)))
    MessageBoxW(
        s.Owner(),
        L"Nothing was copied: the clipboard could not be opened or written (another program may hold it).",
        L"Copy FXI to clipboard", MB_OK | MB_ICONWARNING);
}

}  // namespace ui

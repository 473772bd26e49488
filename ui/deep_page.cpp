// The Deep Scan page: a window over the scan session. Rows come from the session on the main
// thread (through the window's hand-over); the list shows them sorted and filtered by the user.
#include "ui/deep_page.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "app/deep_scan_view.h"
#include "app/session.h"
#include "platform/kernel32.h"
#include "results/path_macros.h"
#include "ui/deep_export.h"
#include "ui/dialogs.h"
#include "ui/drive_dialog.h"
#include "ui/image_lists.h"
#include "ui/window_sync.h"
#include "ui/window_class.h"

namespace ui {
namespace {

constexpr wchar_t kClassName[] = L"UmbraDeepPage";
constexpr UINT_PTR kLabelTimer = 1;
constexpr int kProgressGroupId = 1009;
constexpr int kFilterCaptionId = 1010;
// Pop-up menu commands.
enum : int { kCmdDetails = 1101, kCmdJump, kCmdCopy, kCmdExport, kCmdRefresh };

constexpr wchar_t kInfoInitial[] =
    L"If any of the results above have the yellow warning sign, you will see more details here when you "
    L"select (click) them.";

// Zero characters cannot go into a window text: they are shown as <NUL>, as the console does.
std::wstring Shown(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == 0)
      out += L"<NUL>";
    else
      out += static_cast<wchar_t>(c);
  }
  return out;
}
std::wstring FromCodePage(const std::string& text) {
  return Shown(platform::Current().kernel32.MultiByteToWideChar(CP_ACP, text));
}

}  // namespace

struct DeepPage::State {
  DeepPage& page;
  UiContext* context = nullptr;
  HWND window = nullptr;
  HWND progressGroup = nullptr, fileLabel = nullptr, registryLabel = nullptr;
  HWND filterCaption = nullptr, filter = nullptr, hiddenLabel = nullptr;
  HWND exportButton = nullptr, refreshButton = nullptr;
  HWND list = nullptr, info = nullptr;
  HFONT font = nullptr;
  HFONT ownFont = nullptr;  // made here, so deleted here
  std::shared_ptr<app::TPostedSynchronizer> sync;
  std::unique_ptr<app::TDeepScanSession> session;

  std::unique_ptr<app::TDeepScanView> view;  // order and filter of the session's rows
  std::ptrdiff_t selectedRow = -1;           // index into the session's rows
  bool reselecting = false;
  bool infoShown = true;
  std::wstring shownFile, shownRegistry;

  explicit State(DeepPage& p) : page(p) {}

  int S(int pixels) const { return context->Scale(pixels); }
  HWND Owner() const { return GetAncestor(window, GA_ROOT); }
  const app::TDeepScanRow& RowAt(std::size_t entry) const { return session->Rows()[entry]; }

  HWND Make(DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
    HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), context->instance, nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return c;
  }

  void CreateControls() {
    // The main window's font; the system's message font when there is none.
    font = context->font;
    if (!font) {
      NONCLIENTMETRICSW metrics{sizeof(metrics)};
      SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
      font = ownFont = CreateFontIndirectW(&metrics.lfMessageFont);
    }
    const DWORD label = SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS;
    progressGroup = Make(0, L"BUTTON", L"Progress", BS_GROUPBOX, kProgressGroupId);
    fileLabel = Make(0, L"STATIC", L"", label, kDeepFileLabelId);
    registryLabel = Make(0, L"STATIC", L"", label, kDeepRegistryLabelId);
    filterCaption = Make(0, L"STATIC", L"&Filter:", SS_LEFT | SS_CENTERIMAGE, kFilterCaptionId);
    filter = Make(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, kDeepFilterId);
    SendMessageW(filter, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"Type to show only matching rows"));
    hiddenLabel =
        Make(0, L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE, kDeepHiddenLabelId);
    exportButton = Make(0, L"BUTTON", L"E&xport...", WS_TABSTOP | BS_PUSHBUTTON, kDeepExportId);
    refreshButton = Make(0, L"BUTTON", L"&Refresh", WS_TABSTOP | BS_PUSHBUTTON, kDeepRefreshId);
    list = Make(
        WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"Deep Scan findings",
        WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_SHAREIMAGELISTS,
        kDeepListId);
    ListView_SetExtendedListViewStyle(
        list, LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    ListView_SetImageList(list, SmallKindImages(), LVSIL_SMALL);
    const struct {
      const wchar_t* caption;
      int width;
    } columns[] = {{L"Type", 64}, {L"Object", 128}, {L"Location", 192}, {L"Details", 128}};
    for (int i = 0; i < 4; ++i) {
      LVCOLUMNW col{};
      col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
      col.pszText = const_cast<wchar_t*>(columns[i].caption);
      col.cx = S(columns[i].width);
      col.iSubItem = i;
      ListView_InsertColumn(list, i, &col);
    }
    info = Make(0, L"STATIC", kInfoInitial, SS_LEFT | SS_NOPREFIX, kDeepInfoLabelId);
    UpdateLabels();
    SetTimer(window, kLabelTimer, 200, nullptr);
  }

  void LayoutControls() {
    RECT client;
    GetClientRect(window, &client);
    const int w = client.right, h = client.bottom;
    auto place = [&](HWND c, int x, int y, int cw, int ch) {
      MoveWindow(c, x, y, std::max(cw, 0), std::max(ch, 0), TRUE);
    };
    place(progressGroup, S(8), S(4), w - S(16), S(58));
    place(fileLabel, S(16), S(22), w - S(32), S(16));
    place(registryLabel, S(16), S(40), w - S(32), S(16));
    const int row = S(68);
    place(filterCaption, S(8), row, S(40), S(23));
    place(filter, S(50), row + S(1), S(180), S(21));
    const int buttons = w - S(8) - S(80) - S(6) - S(80);
    place(hiddenLabel, S(238), row, buttons - S(238) - S(6), S(23));
    place(exportButton, buttons, row, S(80), S(23));
    place(refreshButton, buttons + S(86), row, S(80), S(23));
    const int listTop = S(96);
    const int infoHeight = infoShown ? S(48) : 0;
    const int listBottom = h - S(8) - (infoShown ? infoHeight + S(6) : 0);
    place(list, S(8), listTop, w - S(16), listBottom - listTop);
    place(info, S(8), h - S(8) - infoHeight, w - S(16), infoHeight);
    ShowWindow(info, infoShown ? SW_SHOW : SW_HIDE);
  }

  // --- labels ---

  void UpdateLabels() {
    const std::wstring file = Shown(session->FileProgressLabel());
    const std::wstring registry = Shown(session->RegistryProgressLabel());
    if (file != shownFile) SetWindowTextW(fileLabel, (shownFile = file).c_str());
    if (registry != shownRegistry) SetWindowTextW(registryLabel, (shownRegistry = registry).c_str());
  }

  void UpdateHiddenLabel() {
    const std::string hidden = view->HiddenText();
    const std::wstring text(hidden.begin(), hidden.end());
    SetWindowTextW(hiddenLabel, text.c_str());
  }

  void SetInfo(bool show, const std::wstring& text) {
    if (show) SetWindowTextW(info, text.c_str());
    if (show != infoShown) {
      infoShown = show;
      LayoutControls();
    }
  }

  // The information panel of the selected row: shown only with the catalogue's text.
  void UpdateInfo() {
    if (selectedRow < 0) {
      SetInfo(false, {});
      return;
    }
    const auto text = session->InfoText(RowAt(static_cast<std::size_t>(selectedRow)));
    SetInfo(text.has_value(), text ? FromCodePage(*text) : std::wstring());
  }

  // --- rows, order and filter ---

  void ApplySelection() {
    reselecting = true;
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (selectedRow >= 0) {
      const auto at = view->DisplayIndexOf(static_cast<std::size_t>(selectedRow));
      if (!at) {
        selectedRow = -1;
      } else {
        const int index = static_cast<int>(*at);
        ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, index, FALSE);
      }
    }
    reselecting = false;
    UpdateInfo();
  }

  void Rebuild() {
    ListView_SetItemCountEx(list, static_cast<int>(view->Visible().size()), LVSICF_NOSCROLL);
    InvalidateRect(list, nullptr, FALSE);
    ApplySelection();
    UpdateHiddenLabel();
  }

  void RowAdded() {
    const auto at = view->Added();
    if (at) {
      const std::size_t count = view->Visible().size();
      const bool atEnd = *at + 1 == count;
      ListView_SetItemCountEx(list, static_cast<int>(count),
                              atEnd ? LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL : LVSICF_NOSCROLL);
      // A row put before the selected one moves it down: keep the selection on its row.
      if (!atEnd && selectedRow >= 0) ApplySelection();
    }
    UpdateHiddenLabel();
  }

  void SortBy(int column) {
    view->SortBy(column);
    HWND header = ListView_GetHeader(list);
    for (int i = 0; i < 4; ++i) {
      HDITEMW item{};
      item.mask = HDI_FORMAT;
      Header_GetItem(header, i, &item);
      item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
      if (i == view->SortColumn()) item.fmt |= view->Ascending() ? HDF_SORTUP : HDF_SORTDOWN;
      Header_SetItem(header, i, &item);
    }
    Rebuild();
  }

  void FilterChanged() {
    const int n = GetWindowTextLengthW(filter);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    GetWindowTextW(filter, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(n));
    view->SetFilter(std::u16string(text.begin(), text.end()));
    Rebuild();
  }

  void SelectionChanged() {
    if (reselecting) return;
    const int index = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    const auto& visible = view->Visible();
    selectedRow = index >= 0 && static_cast<std::size_t>(index) < visible.size()
                      ? static_cast<std::ptrdiff_t>(visible[static_cast<std::size_t>(index)])
                      : -1;
    UpdateInfo();
  }

  void GetDisplayInfo(NMLVDISPINFOW& d) {
    LVITEMW& item = d.item;
    const auto& visible = view->Visible();
    if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= visible.size()) return;
    const std::size_t entry = visible[static_cast<std::size_t>(item.iItem)];
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0 && item.iSubItem >= 0 &&
        item.iSubItem < 4) {
      const std::u16string& text = view->Cell(entry, item.iSubItem);
      const std::size_t n = std::min(text.size(), static_cast<std::size_t>(item.cchTextMax - 1));
      std::wmemcpy(item.pszText, reinterpret_cast<const wchar_t*>(text.data()), n);
      item.pszText[n] = L'\0';
    }
    if (item.mask & LVIF_IMAGE) {
      const auto& row = RowAt(entry);
      item.iImage = item.iSubItem == 0 ? row.Kind : (item.iSubItem == 3 ? row.Marker() : I_IMAGENONE);
    }
  }

  // --- actions on the selected row ---

  const app::TDeepScanRow* Selected() const {
    return selectedRow >= 0 ? &RowAt(static_cast<std::size_t>(selectedRow)) : nullptr;
  }

  void ItemDetails() {
    const auto* row = Selected();
    if (!row) return;
    const std::u16string name = row->FullName();
    switch (row->Kind) {
      case app::kKindFile:
        ShowFileProperties(*context, Owner(), name, true);
        break;
      case app::kKindKey:
        ShowRegistryKey(*context, Owner(), name, true);
        break;
      case app::kKindValue:
        ShowRegistryValue(*context, Owner(), name, true);
        break;
      default:
        break;  // folders open nothing
    }
  }

  void CopyRow() {
    const auto* row = Selected();
    if (!row) return;
    std::wstring text;
    for (int i = 0; i < app::kDeepColumns; ++i) {
      const std::u16string& cell = view->Cell(static_cast<std::size_t>(selectedRow), i);
      if (i) text += L'\t';
      text.append(cell.begin(), cell.end());
    }
    if (const auto infoText = session->InfoText(*row)) text += L'\t' + FromCodePage(*infoText);
    text += L"\r\n";
    if (!OpenClipboard(window)) return;
    EmptyClipboard();
    if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
      std::wmemcpy(static_cast<wchar_t*>(GlobalLock(mem)), text.c_str(), text.size() + 1);
      GlobalUnlock(mem);
      if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
    }
    CloseClipboard();
  }

  // Opens the registry editor at the row's key, or the file manager with the file selected.
  void JumpTo() {
    const auto* row = Selected();
    if (!row) return;
    if (context->session && context->session->Simulated()) {
      MessageBoxW(Owner(),
                  L"This scan is of a system image, not of this computer: the registry editor and the file "
                  L"manager would show this computer instead.",
                  L"Jump to", MB_OK | MB_ICONINFORMATION);
      return;
    }
    std::u16string target = row->Kind == app::kKindValue ? row->Location : row->FullName();
    // Neither tool can take a name with a zero character; they get the part before it.
    if (const auto zero = target.find(u'\0'); zero != std::u16string::npos) target.resize(zero);
    std::wstring path(target.begin(), target.end());
    if (row->Kind == app::kKindKey || row->Kind == app::kKindValue) {
      while (!path.empty() && path.back() == L'\\') path.pop_back();
      const std::wstring last = L"Computer\\" + path;
      const LSTATUS s = RegSetKeyValueW(
          HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit", L"LastKey",
          REG_SZ, last.c_str(), static_cast<DWORD>((last.size() + 1) * sizeof(wchar_t)));
      if (s != ERROR_SUCCESS) {
        const std::wstring text = L"Could not tell the registry editor to open at " + path + L" (error " +
                                  std::to_wstring(s) + L").";
        MessageBoxW(Owner(), text.c_str(), L"Jump to", MB_OK | MB_ICONERROR);
        return;
      }
      Start(L"regedit.exe", nullptr);
      return;
    }
    // A stream finding (C:\Temp\a.txt:extra:$DATA) selects the file that carries the stream; a
    // colon after the drive's can only begin a stream name.
    if (const auto colon = path.find(L':', 2); colon != std::wstring::npos) path.resize(colon);
    const std::wstring args = L"/select,\"" + path + L"\"";
    Start(L"explorer.exe", args.c_str());
  }

  void Start(const wchar_t* program, const wchar_t* args) {
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteW(Owner(), L"open", program, args, nullptr, SW_SHOWNORMAL));
    if (result > 32) return;
    const std::wstring text =
        std::wstring(L"Could not start ") + program + L" (error " + std::to_wstring(result) + L").";
    MessageBoxW(Owner(), text.c_str(), L"Jump to", MB_OK | MB_ICONERROR);
  }

  void ContextMenu(LPARAM lp) {
    POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    if (lp == -1) {  // from the keyboard: at the selected row, else the list's corner
      RECT r{};
      const int index = ListView_GetNextItem(list, -1, LVNI_SELECTED);
      if (index < 0 || !ListView_GetItemRect(list, index, &r, LVIR_LABEL)) GetClientRect(list, &r);
      at = {r.left, r.bottom};
      ClientToScreen(list, &at);
    }
    const auto* row = Selected();
    HMENU menu = CreatePopupMenu();
    const UINT onRow = row ? MF_ENABLED : MF_GRAYED;
    AppendMenuW(menu, MF_STRING | (row && row->Kind != app::kKindFolder ? MF_ENABLED : MF_GRAYED),
                kCmdDetails, L"Show &details\tEnter");
    AppendMenuW(menu, MF_STRING | onRow, kCmdJump, L"&Jump to");
    AppendMenuW(menu, MF_STRING | onRow, kCmdCopy, L"&Copy\tCtrl+C");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kCmdExport, L"E&xport...");
    AppendMenuW(menu, MF_STRING, kCmdRefresh, L"&Refresh");
    SetMenuDefaultItem(menu, kCmdDetails, FALSE);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
    DestroyMenu(menu);
  }

  bool Command(int id) {
    switch (id) {
      case kCmdDetails:
        ItemDetails();
        return true;
      case kCmdJump:
        JumpTo();
        return true;
      case kCmdCopy:
        CopyRow();
        return true;
      case kCmdExport:
      case kDeepExportId:
        ExportDeepScan(*context, Owner(), *session);
        return true;
      case kCmdRefresh:
      case kDeepRefreshId:
        page.Refresh();
        return true;
      default:
        return false;
    }
  }

  LRESULT Notify(NMHDR& n) {
    if (n.hwndFrom == list) {
      switch (n.code) {
        case LVN_GETDISPINFOW:
          GetDisplayInfo(reinterpret_cast<NMLVDISPINFOW&>(n));
          return 0;
        case LVN_ITEMCHANGED: {
          const auto& c = reinterpret_cast<NMLISTVIEW&>(n);
          if ((c.uChanged & LVIF_STATE) && ((c.uOldState ^ c.uNewState) & LVIS_SELECTED)) SelectionChanged();
          return 0;
        }
        case LVN_COLUMNCLICK:
          SortBy(reinterpret_cast<NMLISTVIEW&>(n).iSubItem);
          return 0;
        case NM_DBLCLK:
          ItemDetails();
          return 0;
        case NM_RETURN:
          ItemDetails();
          return 0;
        case LVN_KEYDOWN: {
          const auto& k = reinterpret_cast<NMLVKEYDOWN&>(n);
          if (k.wVKey == 'C' && (GetKeyState(VK_CONTROL) & 0x8000)) CopyRow();
          return 0;
        }
        default:
          return 0;
      }
    }
    return 0;
  }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = AttachedObject<State>(hwnd, msg, lp);
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
      case kSyncMessage:
        if (self->sync) DrainWindowSync(*self->sync);
        return 0;
      case WM_SIZE:
        self->LayoutControls();
        return 0;
      case WM_TIMER:
        if (wp == kLabelTimer) self->UpdateLabels();
        return 0;
      case WM_NOTIFY:
        return self->Notify(*reinterpret_cast<NMHDR*>(lp));
      case WM_COMMAND:
        if (reinterpret_cast<HWND>(lp) == self->filter) {
          if (HIWORD(wp) == EN_CHANGE) self->FilterChanged();
          return 0;
        }
        if (self->Command(LOWORD(wp))) return 0;
        break;
      case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wp) == self->list) {
          self->ContextMenu(lp);
          return 0;
        }
        break;
      case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      case WM_DESTROY:
        KillTimer(hwnd, kLabelTimer);
        // Reports that arrive from now on have no window to show them.
        if (self->sync) self->sync->Release();
        if (self->ownFont) DeleteObject(self->ownFont);
        self->ownFont = nullptr;
        return 0;
      default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
};

DeepPage::DeepPage() : state_(std::make_unique<State>(*this)) {}
DeepPage::~DeepPage() = default;

void DeepPage::Create(HWND parent, UiContext& context) {
  State& s = *state_;
  s.context = &context;
  WNDCLASSEXW wc{sizeof(wc)};
  wc.lpfnWndProc = &State::Proc;
  wc.hInstance = context.instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
  CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"Deep Scan", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0,
                  parent, nullptr, context.instance, &s);
  s.sync = MakeWindowSync(s.window);
  s.session = std::make_unique<app::TDeepScanSession>(s.sync);
  s.view = std::make_unique<app::TDeepScanView>(s.session->Rows());
  s.session->OnRow = [&s](const app::TDeepScanRow&) { s.RowAdded(); };
  s.session->OnScanFinished = [this](app::TDeepScanSession&) {
    state_->UpdateLabels();
    if (OnScanFinished) OnScanFinished();
  };
  s.CreateControls();
}

HWND DeepPage::Window() const { return state_->window; }

void DeepPage::Layout(const RECT& area) {
  MoveWindow(state_->window, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

bool DeepPage::PreTranslate(MSG& msg) {
  State& s = *state_;
  if (!s.window || !IsWindowVisible(s.window) || (msg.hwnd != s.window && !IsChild(s.window, msg.hwnd)))
    return false;
  if (msg.message == WM_KEYDOWN) {
    if (msg.wParam == VK_F5) {
      Refresh();
      return true;
    }
    if (msg.hwnd == s.list && msg.wParam == VK_RETURN) {
      s.ItemDetails();
      return true;
    }
  }
  // Tab and the buttons' accelerators: the main window's dialog keys reach into the page.
  return false;
}

void DeepPage::StartScan() {
  State& s = *state_;
  std::vector<std::string> drives{results::ExpandPathMacros("<$SYSDRIVE>")};
  std::vector<std::string> hives{"HKEY_LOCAL_MACHINE"};
  if (!SelectDrives(*s.context, s.Owner(), drives, hives, true)) return;
  s.session->StartScan(drives, hives);
  s.UpdateLabels();
}

void DeepPage::Refresh() {
  State& s = *state_;
  s.session->Refresh();
  s.view->Cleared();
  s.selectedRow = -1;
  s.Rebuild();
  SetWindowTextW(s.info, kInfoInitial);
  s.SetInfo(true, kInfoInitial);
  StartScan();
}

const std::vector<app::TDeepScanRow>& DeepPage::Rows() const { return state_->session->Rows(); }

bool DeepPage::HasRows() const { return state_->session && !state_->session->Rows().empty(); }

}  // namespace ui

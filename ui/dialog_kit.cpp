// The shared pieces of the Quick Scan page and the properties dialogs.
#include "ui/dialog_kit.h"

#include "app/text.h"
#include "ui/windows_ui.h"

namespace ui::kit {

namespace {

std::wstring ZerosVisible(std::wstring text) {
  for (std::size_t at = 0; (at = text.find(L'\0', at)) != std::wstring::npos; at += 5)
    text.replace(at, 1, L"<NUL>");
  return text;
}

}  // namespace

std::wstring Shown(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return ZerosVisible(std::move(wide));
}

std::wstring Shown(std::u16string_view text) { return ZerosVisible(AsWide(text)); }

std::wstring ShownFromCodePage(std::string_view text) { return Shown(app::Utf8FromCodePage(text)); }

std::u16string Utf16(std::string_view utf8) {
  const std::wstring wide = [&] {
    if (utf8.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
  }();
  return std::u16string(wide.begin(), wide.end());
}

std::wstring AsWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

void AddColumns(HWND list, const UiContext& context, const std::vector<Column>& columns) {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    c.fmt = columns[i].format;
    c.cx = context.Scale(columns[i].width);
    c.pszText = const_cast<wchar_t*>(columns[i].text);
    ListView_InsertColumn(list, static_cast<int>(i), &c);
  }
}

int AddRow(HWND list, const std::vector<std::wstring>& texts, int image, LPARAM data) {
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM | (image >= 0 ? LVIF_IMAGE : 0);
  item.iItem = ListView_GetItemCount(list);
  item.pszText = const_cast<wchar_t*>(texts.empty() ? L"" : texts[0].c_str());
  item.iImage = image;
  item.lParam = data;
  const int at = ListView_InsertItem(list, &item);
  for (std::size_t i = 1; at >= 0 && i < texts.size(); ++i)
    ListView_SetItemText(list, at, static_cast<int>(i), const_cast<wchar_t*>(texts[i].c_str()));
  return at;
}

HTREEITEM AddTreeNode(HWND tree, HTREEITEM parent, const std::wstring& text, int image) {
  TVINSERTSTRUCTW in{};
  in.hParent = parent;
  in.hInsertAfter = TVI_LAST;
  in.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  in.item.pszText = const_cast<wchar_t*>(text.c_str());
  in.item.iImage = image;
  in.item.iSelectedImage = image;
  return TreeView_InsertItem(tree, &in);
}

HIMAGELIST MakeMarks(int size, const std::vector<Mark>& marks) {
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, static_cast<int>(marks.size()), 0);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  const COLORREF key = RGB(255, 0, 255);
  HFONT font = CreateFontW(-size * 3 / 4, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
  for (const Mark& m : marks) {
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    RECT all{0, 0, size, size};
    HBRUSH back = CreateSolidBrush(key);
    FillRect(dc, &all, back);
    DeleteObject(back);
    if (m.color != CLR_NONE) {
      HBRUSH fill = CreateSolidBrush(m.color);
      HGDIOBJ oldBrush = SelectObject(dc, fill);
      HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
      RoundRect(dc, 1, 1, size - 1, size - 1, size / 3, size / 3);
      SelectObject(dc, oldPen);
      SelectObject(dc, oldBrush);
      DeleteObject(fill);
      if (m.letter) {
        HGDIOBJ oldFont = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        wchar_t letter[2] = {m.letter, 0};
        DrawTextW(dc, letter, 1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, oldFont);
      }
    }
    SelectObject(dc, oldBitmap);
    ImageList_AddMasked(list, bitmap, key);
    DeleteObject(bitmap);
  }
  DeleteObject(font);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return list;
}

// ---- Dialog

INT_PTR Dialog::Run(HWND owner, const std::wstring& title, int clientWidth, int clientHeight) {
  clientWidth_ = clientWidth;
  clientHeight_ = clientHeight;
  // A blank template: style, no controls, the title, the dialog font. WORD-aligned.
  std::vector<WORD> t(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  auto* head = reinterpret_cast<DLGTEMPLATE*>(t.data());
  head->style = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION;
  t.push_back(0);  // no menu
  t.push_back(0);  // the standard dialog class
  for (wchar_t c : title) t.push_back(static_cast<WORD>(c));
  t.push_back(0);
  t.push_back(8);  // point size
  for (wchar_t c : std::wstring(L"MS Shell Dlg")) t.push_back(static_cast<WORD>(c));
  t.push_back(0);
  return DialogBoxIndirectParamW(context_.instance, reinterpret_cast<DLGTEMPLATE*>(t.data()), owner,
                                 &Dialog::Proc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Dialog::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      self = reinterpret_cast<Dialog*>(lp);
      SetWindowLongPtrW(hwnd, DWLP_USER, lp);
      self->window_ = hwnd;
      self->font_ = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
      RECT r{0, 0, self->context_.Scale(self->clientWidth_), self->context_.Scale(self->clientHeight_)};
      AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)));
      const int w = r.right - r.left, h = r.bottom - r.top;
      RECT work{};
      SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
      SetWindowPos(hwnd, nullptr, work.left + (work.right - work.left - w) / 2,
                   work.top + (work.bottom - work.top - h) / 2, w, h, SWP_NOZORDER);
      self->OnInit();
      if (self->tabs_) SetWindowPos(self->tabs_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
      return TRUE;
    }
    case WM_COMMAND:
      if (self) self->OnCommand(LOWORD(wp), HIWORD(wp));
      return TRUE;
    case WM_NOTIFY: {
      if (!self) return FALSE;
      auto* header = reinterpret_cast<NMHDR*>(lp);
      if (header->hwndFrom == self->tabs_ && header->code == TCN_SELCHANGE) {
        self->SelectPage(TabCtrl_GetCurSel(self->tabs_));
        return TRUE;
      }
      SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, self->OnNotify(header));
      return TRUE;
    }
    default:
      return FALSE;
  }
}

HWND Dialog::Child(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id,
                   DWORD exStyle) {
  HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, context_.Scale(x),
                           context_.Scale(y), context_.Scale(w), context_.Scale(h), window_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), context_.instance, nullptr);
  SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return c;
}

HWND Dialog::Label(const wchar_t* text, int x, int y, int w, int h, DWORD extra) {
  return Child(L"STATIC", text, SS_LEFT | SS_NOPREFIX | extra, x, y, w, h);
}

HWND Dialog::Button(const wchar_t* text, int x, int y, int w, int h, int id, bool isDefault) {
  return Child(L"BUTTON", text, WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), x, y, w, h, id);
}

HWND Dialog::Tabs(const std::vector<const wchar_t*>& names, int x, int y, int w, int h, int id) {
  tabs_ = Child(WC_TABCONTROLW, L"", WS_TABSTOP | WS_CLIPSIBLINGS, x, y, w, h, id);
  for (std::size_t i = 0; i < names.size(); ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(names[i]);
    TabCtrl_InsertItem(tabs_, static_cast<int>(i), &item);
  }
  pages_.assign(names.size(), {});
  RECT r{context_.Scale(x), context_.Scale(y), context_.Scale(x + w), context_.Scale(y + h)};
  TabCtrl_AdjustRect(tabs_, FALSE, &r);
  const double s = context_.dpiScale > 0 ? context_.dpiScale : 1.0;
  tabArea_ = {static_cast<LONG>(r.left / s + 0.5), static_cast<LONG>(r.top / s + 0.5),
              static_cast<LONG>(r.right / s), static_cast<LONG>(r.bottom / s)};
  return tabs_;
}

void Dialog::OnPage(int page, HWND control) { pages_.at(static_cast<std::size_t>(page)).push_back(control); }

void Dialog::SelectPage(int page) {
  if (tabs_) TabCtrl_SetCurSel(tabs_, page);
  for (std::size_t p = 0; p < pages_.size(); ++p)
    for (HWND c : pages_[p]) ShowWindow(c, static_cast<int>(p) == page ? SW_SHOW : SW_HIDE);
}

void Dialog::AddTooltip(HWND control, const wchar_t* text) {
  if (!tooltip_)
    tooltip_ =
        CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, context_.instance, nullptr);
  TTTOOLINFOW info{};
  info.cbSize = sizeof(info);
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = window_;
  info.uId = reinterpret_cast<UINT_PTR>(control);
  info.lpszText = const_cast<wchar_t*>(text);
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, context_.Scale(300));
}

int Dialog::Message(const std::wstring& text, const wchar_t* title, UINT flags) {
  return MessageBoxW(window_, text.c_str(), title, flags);
}

}  // namespace ui::kit

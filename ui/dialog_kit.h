// Small pieces the Quick Scan page and the properties dialogs share: texts shown with their zero
// characters visible, list and tree filling, and a modal dialog built in pixels.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ui/ui_context.h"
#include "ui/windows_ui.h"

namespace ui::kit {

// UTF-8 or UTF-16 texts for a control: every zero character becomes "<NUL>", as the console
// program writes it, so a name that holds one is seen whole and cannot end the text early.
std::wstring Shown(std::string_view utf8);
std::wstring Shown(std::u16string_view text);
// A text in the scanned machine's code page, shown the same way.
std::wstring ShownFromCodePage(std::string_view text);
// Exact UTF-16 of a UTF-8 text, zero characters kept (for handing a finding on).
std::u16string Utf16(std::string_view utf8);
std::wstring AsWide(std::u16string_view text);

// Report-view columns: text, width in unscaled pixels, alignment (LVCFMT_LEFT ...).
struct Column {
  const wchar_t* text;
  int width;
  int format = LVCFMT_LEFT;
};
void AddColumns(HWND list, const UiContext& context, const std::vector<Column>& columns);
// Appends a row: the first text is the item, the others its subitems. Returns its index.
int AddRow(HWND list, const std::vector<std::wstring>& texts, int image = -1, LPARAM data = 0);

HTREEITEM AddTreeNode(HWND tree, HTREEITEM parent, const std::wstring& text, int image);

// An image list of simple drawn marks, `size` pixels square; each entry is a fill colour and a
// letter (nothing drawn for a colour of CLR_NONE).
struct Mark {
  COLORREF color;
  wchar_t letter;
};
HIMAGELIST MakeMarks(int size, const std::vector<Mark>& marks);

// A modal dialog laid out in pixels (scaled for the monitor) on a blank template, so that it is a
// standard dialog window (#32770): Tab moves between controls, Enter presses the default
// button, Escape cancels.
class Dialog {
 public:
  explicit Dialog(UiContext& context) : context_(context) {}
  virtual ~Dialog() = default;
  // Shows the dialog modally; the result is the id it was ended with (IDOK, IDCANCEL).
  INT_PTR Run(HWND owner, const std::wstring& title, int clientWidth, int clientHeight);

 protected:
  virtual void OnInit() = 0;
  virtual void OnCommand(int id, int code) {
    if ((id == IDOK || id == IDCANCEL) && code == BN_CLICKED) EndDialog(window_, id);
  }
  virtual LRESULT OnNotify(NMHDR*) { return 0; }

  // A child control at unscaled pixel coordinates of the client area.
  HWND Child(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id = 0,
             DWORD exStyle = 0);
  HWND Label(const wchar_t* text, int x, int y, int w, int h, DWORD extra = 0);
  HWND Button(const wchar_t* text, int x, int y, int w, int h, int id, bool isDefault = false);
  // A tab control whose pages are sets of controls shown only while their tab is selected.
  HWND Tabs(const std::vector<const wchar_t*>& names, int x, int y, int w, int h, int id);
  // The tab page's area in unscaled client pixels, where its controls go.
  RECT TabArea() const { return tabArea_; }
  void OnPage(int page, HWND control);
  void SelectPage(int page);
  void AddTooltip(HWND control, const wchar_t* text);
  // A message box owned by the dialog.
  int Message(const std::wstring& text, const wchar_t* title, UINT flags);

  UiContext& context_;
  HWND window_ = nullptr;

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HFONT font_ = nullptr;
  HWND tabs_ = nullptr;
  HWND tooltip_ = nullptr;
  RECT tabArea_{};
  std::vector<std::vector<HWND>> pages_;
  int clientWidth_ = 0, clientHeight_ = 0;
};

}  // namespace ui::kit

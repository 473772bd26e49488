// "File Properties": what the native and Win32 views say of one file, its access list and its
// clang-format off
#include "ui/windows_ui.h"  // first: see there
// clang-format on
// streams; and deleting it, natively first.
#include <cmath>
#include <cstdio>

#include "app/file_properties.h"
#include "app/text.h"
#include "base/security_text.h"
#include "ui/dialog_kit.h"
#include "ui/dialogs.h"

namespace ui {

namespace {

constexpr int kDeleteId = 1001;
constexpr int kTabsId = 1002;
constexpr int kClientWidth = 391, kClientHeight = 391;

// A local date-time value (days since 1899-12-30) in the user's long date and long time.
std::wstring LocalDateTime(double value) {
  if (!(value > 0)) return L"?";
  const double day = std::floor(value);
  // Days to a civil date (proleptic Gregorian), counted from 1970-01-01.
  long long z = static_cast<long long>(day) - 25569 + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  long long seconds = std::llround((value - day) * 86400.0);
  if (seconds >= 86400) seconds = 86399;
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(m);
  t.wDay = static_cast<WORD>(d);
  t.wHour = static_cast<WORD>(seconds / 3600);
  t.wMinute = static_cast<WORD>(seconds / 60 % 60);
  t.wSecond = static_cast<WORD>(seconds % 60);
  wchar_t date[128] = L"", time[64] = L"";
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &t, nullptr, date, 128);
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &t, nullptr, time, 64);
  return std::wstring(date) + L" " + time;
}

std::u16string WithoutPrefix(const std::u16string& name) {
  return name.rfind(u"\\??\\", 0) == 0 ? name.substr(4) : name;
}

class FileDialog : public kit::Dialog {
 public:
  FileDialog(UiContext& c, std::u16string path, bool allowDelete)
      : Dialog(c), path_(std::move(path)), allowDelete_(allowDelete) {}
  ~FileDialog() override {
    if (images_) ImageList_Destroy(images_);
  }

 private:
  void OnInit() override {
    props_ = app::GatherFileProperties(path_);
    Tabs({L"General", L"Security", L"ADS"}, 8, 8, kClientWidth - 16, kClientHeight - 49, kTabsId);
    const RECT a = TabArea();
    const int x = a.left + 8, w = a.right - a.left - 16;
    // General
    const wchar_t* captions[] = {L"Name of file:", L"Size:",    L"Size on disk:", L"Created:",
                                 L"Accessed:",     L"Written:", L"Changed:"};
    const std::wstring values[] = {kit::Shown(props_.fileName),
                                   kit::Shown(app::SizeWithBytes(props_.size)),
                                   kit::Shown(app::SizeWithBytes(props_.allocationSize)),
                                   LocalDateTime(props_.creationTime),
                                   LocalDateTime(props_.lastAccessTime),
                                   LocalDateTime(props_.lastWriteTime),
                                   LocalDateTime(props_.changeTime)};
    int y = a.top + 8;
    for (int i = 0; i < 7; ++i) {
      const int h = i == 0 ? 44 : 18;  // the name wraps
      OnPage(0, Label(captions[i], x, y, 81, 18));
      HWND value = Label(L"?", x + 87, y, w - 87, h, SS_EDITCONTROL);
      SetWindowTextW(value, values[i].c_str());
      OnPage(0, value);
      y += h + 6;
    }
    status_ = Label(L"", x, y + 12, w, 18, SS_CENTER);
    ShowWindow(status_, SW_HIDE);
    OnPage(0, status_);
    // Security: entry, group and item images.
    images_ =
        kit::MakeMarks(16, {{RGB(40, 90, 200), L'A'}, {RGB(200, 150, 30), L'G'}, {RGB(110, 110, 110), L'-'}});
    HWND tree =
        Child(WC_TREEVIEWW, L"",
              WS_TABSTOP | WS_BORDER | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS, x,
              a.top + 8, w, a.bottom - a.top - 16);
    TreeView_SetImageList(tree, images_, TVSIL_NORMAL);
    std::vector<HTREEITEM> nodes;
    for (const app::SecurityNode& n : props_.security) {
      const HTREEITEM parent = n.parent >= 0 && static_cast<std::size_t>(n.parent) < nodes.size()
                                   ? nodes[static_cast<std::size_t>(n.parent)]
                                   : TVI_ROOT;
      nodes.push_back(kit::AddTreeNode(tree, parent, kit::ShownFromCodePage(n.text), n.image));
    }
    OnPage(1, tree);
    // ADS
    HWND streams =
        Child(WC_LISTVIEWW, L"", WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL, x,
              a.top + 8, w, a.bottom - a.top - 16);
    ListView_SetExtendedListViewStyle(streams, LVS_EX_FULLROWSELECT);
    kit::AddColumns(streams, context_, {{L"Name", 192}, {L"Size", 72, LVCFMT_RIGHT}, {L"Type", 100}});
    for (const app::StreamRow& s : props_.streams)
      kit::AddRow(streams, {kit::Shown(s.name), kit::Shown(s.sizeText), kit::Shown(s.kind)});
    OnPage(2, streams);
    SelectPage(0);

    const int buttonsY = kClientHeight - 33;
    deleteButton_ = Button(L"&Delete", 8, buttonsY, 75, 25, kDeleteId);
    ShowWindow(deleteButton_, allowDelete_ ? SW_SHOW : SW_HIDE);
    EnableWindow(deleteButton_, allowDelete_);
    HWND ok = Button(L"OK", kClientWidth - 83, buttonsY, 75, 25, IDOK, true);
    SetFocus(ok);
  }

  void OnCommand(int id, int code) override {
    if (id == kDeleteId && code == BN_CLICKED && allowDelete_)
      Delete();
    else
      Dialog::OnCommand(id, code);
  }

  void Delete() {
    const std::wstring shown = kit::Shown(WithoutPrefix(props_.fileName));
    if (Message(L"Delete the file\n" + shown + L" ?", L"Delete file",
                MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
      return;
    // Exactly one file of that name, and a file: never a folder, never a pattern.
    const app::ResolvedFile target = app::ResolveOneFile(props_.fileName);
    std::wstring cause;
    bool deleted = false;
    if (!target.error.empty()) {
      cause = kit::Shown(target.error);
    } else {
      const app::FileDeletion d = app::DeleteFileNativeFirst(target.path);
      deleted = d.deleted;
      if (!deleted) {
        wchar_t status[16];
        swprintf(status, 16, L"0x%08X", static_cast<unsigned>(d.nativeStatus));
        cause = std::wstring(L"native status ") + status + L", DeleteFileW error " +
                std::to_wstring(d.win32Error) + L": " +
                kit::ShownFromCodePage(base::SystemErrorText(d.win32Error));
      }
    }
    ShowWindow(status_, SW_SHOW);
    if (deleted) {
      EnableWindow(deleteButton_, FALSE);
      SetWindowTextW(status_, kit::Shown(app::kFileDeleted).c_str());
      return;
    }
    SetWindowTextW(status_, kit::Shown(app::kCouldNotDeleteYet).c_str());
    Message(kit::Shown(app::kCouldNotDeleteFile) + L"\n\n" + shown + L"\n" + cause, L"Could not delete file",
            MB_OK | MB_ICONERROR);
  }

  std::u16string path_;
  bool allowDelete_;
  app::FileProperties props_;
  HIMAGELIST images_ = nullptr;
  HWND status_ = nullptr;
  HWND deleteButton_ = nullptr;
};

}  // namespace

bool ShowFileProperties(UiContext& context, HWND owner, const std::u16string& path, bool allowDelete) {
  FileDialog dialog(context, path, allowDelete);
  return dialog.Run(owner, L"File Properties", kClientWidth, kClientHeight) == IDOK;
}

}  // namespace ui

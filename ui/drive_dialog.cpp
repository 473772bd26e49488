// The drive and hive dialog, built in code over an empty dialog template.
#include "ui/drive_dialog.h"

#include <cwchar>

#include "platform/kernel32.h"

namespace ui {
namespace {

// Group number of a drive type (GetDriveType), and the group headers in number order.
int DriveGroup(unsigned type) {
  switch (type) {
    case DRIVE_REMOVABLE:
      return 2;
    case DRIVE_FIXED:
      return 3;
    case DRIVE_REMOTE:
      return 4;
    case DRIVE_CDROM:
      return 5;
    case DRIVE_RAMDISK:
      return 6;
    default:
      return 1;
  }
}
const wchar_t* const kGroupHeaders[] = {L"Other", L"Removable", L"Fixed", L"Remote", L"Optical", L"RAM disk"};

// Images of the dialog's image list.
enum Image {
  kImageDrive,
  kImageRemovable,
  kImageFixed,
  kImageRemote,
  kImageOptical,
  kImageRam,
  kImageHive,
  kImages
};

int DriveImage(unsigned type) {
  switch (type) {
    case DRIVE_REMOVABLE:
      return kImageRemovable;
    case DRIVE_FIXED:
      return kImageFixed;
    case DRIVE_REMOTE:
      return kImageRemote;
    case DRIVE_CDROM:
      return kImageOptical;
    case DRIVE_RAMDISK:
      return kImageRam;
    default:
      return kImageDrive;
  }
}

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

struct Dialog {
  UiContext& context;
  std::vector<std::string>& drives;
  std::vector<std::string>& hives;
  bool withHives;
  HWND window = nullptr;
  HWND driveList = nullptr;
  HWND hiveList = nullptr;
  HFONT font = nullptr;
  HFONT ownFont = nullptr;  // made here, so deleted here
  HIMAGELIST images = nullptr;

  int S(int pixels) const { return context.Scale(pixels); }

  HWND Control(const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x, int y, int w, int h) {
    HWND c = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, S(x), S(y), S(w), S(h), window,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), context.instance, nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return c;
  }

  void MakeImages() {
    images = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                              ILC_COLOR32 | ILC_MASK, kImages, 0);
    const SHSTOCKICONID ids[kImages] = {SIID_DRIVEFIXED, SIID_DRIVEREMOVE, SIID_DRIVEFIXED, SIID_DRIVENET,
                                        SIID_DRIVECD,    SIID_DRIVERAM,    SIID_FOLDER};
    for (int i = 0; i < kImages; ++i) {
      SHSTOCKICONINFO info{sizeof(info)};
      HICON icon = nullptr;
      if (SUCCEEDED(SHGetStockIconInfo(ids[i], SHGSI_ICON | SHGSI_SMALLICON, &info))) icon = info.hIcon;
      if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
      ImageList_AddIcon(images, icon);
      if (info.hIcon) DestroyIcon(info.hIcon);
    }
  }

  HWND MakeList(int id, const wchar_t* name, int x, int y, int w, int h) {
    HWND list = Control(WC_LISTVIEWW, name,
                        WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SHOWSELALWAYS |
                            LVS_SINGLESEL | LVS_SHAREIMAGELISTS,
                        id, x, y, w, h);
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    ListView_SetImageList(list, images, LVSIL_SMALL);
    return list;
  }

  void AddColumn(HWND list, int index, const wchar_t* caption, int width) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = const_cast<wchar_t*>(caption);
    col.cx = width;
    ListView_InsertColumn(list, index, &col);
  }

  int AddRow(HWND list, const std::wstring& caption, int image, int group) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | (group ? LVIF_GROUPID : 0);
    item.iItem = ListView_GetItemCount(list);
    item.pszText = const_cast<wchar_t*>(caption.c_str());
    item.iImage = image;
    item.iGroupId = group;
    return ListView_InsertItem(list, &item);
  }

  static bool Listed(const std::vector<std::string>& items, const std::wstring& caption) {
    for (const auto& item : items)
      if (_wcsicmp(std::wstring(item.begin(), item.end()).c_str(), caption.c_str()) == 0) return true;
    return false;
  }

  void FillDrives() {
    for (int g = 0; g < 6; ++g) {
      LVGROUP group{};
      group.cbSize = sizeof(group);
      group.mask = LVGF_HEADER | LVGF_GROUPID;
      group.pszHeader = const_cast<wchar_t*>(kGroupHeaders[g]);
      group.iGroupId = g + 1;
      ListView_InsertGroup(driveList, -1, &group);
    }
    ListView_EnableGroupView(driveList, TRUE);
    auto& kernel32 = platform::Current().kernel32;
    const DWORD present = kernel32.GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
      if ((present & (1u << i)) == 0) continue;
      const std::u16string caption = std::u16string(1, static_cast<char16_t>(u'A' + i)) + u":";
      const unsigned type = kernel32.GetDriveTypeW(caption + u"\\");
      const int row = AddRow(driveList, Wide(caption), DriveImage(type), DriveGroup(type));
      platform::Kernel32::VolumeInformation volume;
      if (kernel32.GetVolumeInformationW(caption + u"\\", volume)) {
        std::wstring label = Wide(volume.label), fs = Wide(volume.fileSystemName);
        ListView_SetItemText(driveList, row, 1, label.data());
        ListView_SetItemText(driveList, row, 2, fs.data());
      }
      ListView_SetCheckState(driveList, row, Listed(drives, Wide(caption)));
    }
  }

  void FillHives() {
    const wchar_t* rows[][2] = {{L"HKEY_LOCAL_MACHINE", L"Includes global HKCR."},
                                {L"HKEY_USERS", L"Includes HKCU and user HKCR."}};
    for (auto& r : rows) {
      const int row = AddRow(hiveList, r[0], kImageHive, 0);
      ListView_SetItemText(hiveList, row, 1, const_cast<wchar_t*>(r[1]));
      ListView_SetCheckState(hiveList, row, Listed(hives, r[0]));
    }
  }

  static std::vector<std::string> Ticked(HWND list) {
    std::vector<std::string> out;
    const int count = ListView_GetItemCount(list);
    for (int i = 0; i < count; ++i) {
      if (!ListView_GetCheckState(list, i)) continue;
      wchar_t text[64] = {};
      ListView_GetItemText(list, i, 0, text, 64);
      std::string caption;
      for (const wchar_t* p = text; *p; ++p)
        caption += static_cast<char>(*p);  // drive letters and hive names
      out.push_back(caption);
    }
    return out;
  }

  void Init() {
    // The main window's font; the system's message font when there is none.
    font = context.font;
    if (!font) {
      NONCLIENTMETRICSW metrics{sizeof(metrics)};
      SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
      font = ownFont = CreateFontIndirectW(&metrics.lfMessageFont);
    }
    MakeImages();
    // Client 392 x 300; the hive list takes its height plus 8 pixels from the drive list.
    constexpr int kWidth = 392, kHeight = 300, kHiveHeight = 64;
    const int listHeight = kHeight - 8 - 8 - 23 - 8;
    const int driveHeight = withHives ? listHeight - kHiveHeight - 8 : listHeight;
    driveList = MakeList(kDriveListId, L"Drives", 8, 8, kWidth - 16, driveHeight);
    AddColumn(driveList, 0, L"Drive", S(80));
    AddColumn(driveList, 1, L"Caption", S(128));
    AddColumn(driveList, 2, L"File System", S(64));
    hiveList = MakeList(kHiveListId, L"Hives", 8, 8 + driveHeight + 8, kWidth - 16, kHiveHeight);
    AddColumn(hiveList, 0, L"Hive", S(300));
    AddColumn(hiveList, 1, L"", S(64));
    if (!withHives) ShowWindow(hiveList, SW_HIDE);
    Control(L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, kWidth - 8 - 75 - 8 - 75, kHeight - 8 - 23,
            75, 23);
    Control(L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, kWidth - 8 - 75, kHeight - 8 - 23, 75,
            23);
    FillDrives();
    FillHives();
    // The last column of each list takes the rest of its width.
    ListView_SetColumnWidth(driveList, 2, LVSCW_AUTOSIZE_USEHEADER);
    ListView_SetColumnWidth(hiveList, 1, LVSCW_AUTOSIZE_USEHEADER);
    if (ListView_GetItemCount(driveList) > 0)
      ListView_SetItemState(driveList, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);

    // Fixed size, centred on the screen the owner is on.
    RECT r{0, 0, S(kWidth), S(kHeight)};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    AdjustWindowRectEx(&r, style, FALSE, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    MONITORINFO monitor{sizeof(monitor)};
    GetMonitorInfoW(
        MonitorFromWindow(GetParent(window) ? GetParent(window) : window, MONITOR_DEFAULTTOPRIMARY),
        &monitor);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const RECT& area = monitor.rcWork;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - w) / 2,
                 area.top + (area.bottom - area.top - h) / 2, w, h, SWP_NOZORDER);
    SetFocus(driveList);
  }

  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    switch (msg) {
      case WM_INITDIALOG:
        self = reinterpret_cast<Dialog*>(lp);
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        self->window = hwnd;
        self->Init();
        return FALSE;  // the focus was set
      case WM_COMMAND:
        if (!self) break;
        if (LOWORD(wp) == IDOK) {
          self->drives = Ticked(self->driveList);
          self->hives = self->withHives ? Ticked(self->hiveList) : std::vector<std::string>{};
          EndDialog(hwnd, IDOK);
          return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
          EndDialog(hwnd, IDCANCEL);
          return TRUE;
        }
        break;
      case WM_DESTROY:
        if (self) {
          if (self->ownFont) DeleteObject(self->ownFont);
          self->ownFont = nullptr;
        }
        break;
      default:
        break;
    }
    return FALSE;
  }
};

// An empty dialog template: the caption, a fixed frame; the controls are made in code.
std::vector<WORD> Template(const wchar_t* caption) {
  std::vector<WORD> t(sizeof(DLGTEMPLATE) / sizeof(WORD) + 2, 0);
  auto* d = reinterpret_cast<DLGTEMPLATE*>(t.data());
  d->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  d->cx = 200;
  d->cy = 150;
  for (const wchar_t* p = caption; *p; ++p) t.push_back(static_cast<WORD>(*p));
  t.push_back(0);
  return t;
}

}  // namespace

bool SelectDrives(UiContext& context, HWND owner, std::vector<std::string>& drives,
                  std::vector<std::string>& hives, bool withHives) {
  std::vector<std::string> newDrives = drives, newHives = hives;
  Dialog dialog{context, newDrives, newHives, withHives};
  const auto t = Template(L"Select drives...");
  const INT_PTR result =
      DialogBoxIndirectParamW(context.instance, reinterpret_cast<const DLGTEMPLATE*>(t.data()), owner,
                              &Dialog::Proc, reinterpret_cast<LPARAM>(&dialog));
  // Both lists share the image list (LVS_SHAREIMAGELISTS): it goes once they are gone.
  if (dialog.images) ImageList_Destroy(dialog.images);
  if (result != IDOK) return false;
  drives = std::move(newDrives);
  if (withHives) hives = std::move(newHives);
  return true;
}

}  // namespace ui

// "Registry Key Properties" and "Registry Value Properties": root, path and name of one key or
// clang-format off
#include "ui/windows_ui.h"  // first: see there
// clang-format on
// value, what the key holds in the native view, the key's access list; deleting it natively.
#include "app/registry_properties.h"
#include "ui/dialog_kit.h"
#include "ui/dialogs.h"

namespace ui {

namespace {

constexpr int kDeleteId = 1001;
constexpr int kTabsId = 1002;
constexpr int kClientWidth = 391, kClientHeight = 391;

class RegistryDialog : public kit::Dialog {
 public:
  RegistryDialog(UiContext& c, std::u16string location, bool isValue, bool allowDelete)
      : Dialog(c), location_(std::move(location)), isValue_(isValue), allowDelete_(allowDelete) {}
  ~RegistryDialog() override {
    if (images_) ImageList_Destroy(images_);
  }

 private:
  void OnInit() override {
    props_ =
        isValue_ ? app::LoadRegistryValueProperties(location_) : app::LoadRegistryKeyProperties(location_);
    const app::TRegistryLocation& l = props_.Location;
    // Image 0 a key, 1 a value; the access list uses 3 (an account), 0 (a group) and 4 (a leaf).
    images_ = kit::MakeMarks(16, {{RGB(20, 140, 140), L'K'},
                                  {RGB(130, 60, 160), L'V'},
                                  {CLR_NONE, 0},
                                  {RGB(40, 90, 200), L'A'},
                                  {RGB(110, 110, 110), L'-'}});
    Tabs({L"General", L"Security"}, 8, 8, kClientWidth - 16, kClientHeight - 49, kTabsId);
    const RECT a = TabArea();
    const int x = a.left + 8, w = a.right - a.left - 16;
    const wchar_t* captions[] = {L"Registry root:", L"Key path:", isValue_ ? L"Value name" : L"Key name"};
    const std::wstring values[] = {kit::Shown(std::string_view(l.RootKeyName)), kit::Shown(l.KeyPath),
                                   kit::Shown(l.ItemName)};
    int y = a.top + 8;
    for (int i = 0; i < 3; ++i) {
      const int h = i == 1 ? 30 : 16;  // a key path wraps
      OnPage(0, Label(captions[i], x, y, 81, 16));
      HWND value = Label(L"?", x + 87, y, w - 87, h, SS_EDITCONTROL);
      if (l.Parsed) SetWindowTextW(value, values[i].c_str());
      OnPage(0, value);
      y += h + 4;
    }
    HWND list =
        Child(WC_LISTVIEWW, L"", WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL, x,
              y + 4, std::min(353, w), std::min(249, static_cast<int>(a.bottom) - y - 12));
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    ListView_SetImageList(list, images_, LVSIL_SMALL);
    kit::AddColumns(list, context_, {{L"Type", 64}, {L"Key/Value", 268}});
    for (const app::TRegistryContentRow& row : props_.Contents)
      kit::AddRow(list, {row.IsKey ? L"Key" : L"Value", kit::Shown(row.Name)}, row.IsKey ? 0 : 1);
    OnPage(0, list);

    HWND tree =
        Child(WC_TREEVIEWW, L"",
              WS_TABSTOP | WS_BORDER | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS, x,
              a.top + 8, w, a.bottom - a.top - 16);
    TreeView_SetImageList(tree, images_, TVSIL_NORMAL);
    AddNodes(tree, TVI_ROOT, props_.Security);
    OnPage(1, tree);
    SelectPage(0);

    const int buttonsY = kClientHeight - 33;
    deleteButton_ = Button(L"&Delete", 8, buttonsY, 75, 25, kDeleteId);
    ShowWindow(deleteButton_, allowDelete_ ? SW_SHOW : SW_HIDE);
    EnableWindow(deleteButton_, allowDelete_ && l.Parsed);
    SetFocus(Button(L"OK", kClientWidth - 83, buttonsY, 75, 25, IDOK, true));
  }

  void AddNodes(HWND tree, HTREEITEM parent, const std::vector<app::TSecurityNode>& nodes) {
    for (const app::TSecurityNode& n : nodes)
      AddNodes(tree, kit::AddTreeNode(tree, parent, kit::ShownFromCodePage(n.Text), n.Image), n.Children);
  }

  void OnCommand(int id, int code) override {
    if (id == kDeleteId && code == BN_CLICKED && allowDelete_)
      Delete();
    else
      Dialog::OnCommand(id, code);
  }

  void Delete() {
    const app::TRegistryLocation& l = props_.Location;
    if (!l.Parsed) return;
    const wchar_t* kind = isValue_ ? L"value" : L"key";
    std::wstring shown = kit::Shown(std::string_view(l.RootKeyName)) + kit::Shown(l.KeyPath);
    shown += isValue_ && l.ItemName.empty() ? L"(default)" : kit::Shown(l.ItemName);
    if (Message(std::wstring(L"Delete the registry ") + kind + L"\n" + shown + L" ?",
                isValue_ ? L"Delete registry value" : L"Delete registry key",
                MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
      return;
    const app::TRegistryDeletion r = isValue_ ? app::DeleteRegistryValue(l) : app::DeleteRegistryKey(l);
    if (r.Deleted) {
      EnableWindow(deleteButton_, FALSE);
      return;
    }
    Message(std::wstring(L"Could not delete the registry ") + kind + L"\n\n" + shown + L"\n" +
                kit::Shown(r.Message),
            isValue_ ? L"Could not delete registry value" : L"Could not delete registry key",
            MB_OK | MB_ICONERROR);
  }

  std::u16string location_;
  bool isValue_;
  bool allowDelete_;
  app::TRegistryProperties props_;
  HIMAGELIST images_ = nullptr;
  HWND deleteButton_ = nullptr;
};

}  // namespace

bool ShowRegistryKey(UiContext& context, HWND owner, const std::u16string& location, bool allowDelete) {
  RegistryDialog dialog(context, location, false, allowDelete);
  return dialog.Run(owner, L"Registry Key Properties", kClientWidth, kClientHeight) == IDOK;
}

bool ShowRegistryValue(UiContext& context, HWND owner, const std::u16string& location, bool allowDelete) {
  RegistryDialog dialog(context, location, true, allowDelete);
  return dialog.Run(owner, L"Registry Value Properties", kClientWidth, kClientHeight) == IDOK;
}

}  // namespace ui

// "Process Properties": image names, debug flag, session, threads, modules and heaps of one
// clang-format off
#include "ui/windows_ui.h"  // first: see there
// clang-format on
// process; ending it and saving its rebuilt in-memory image.
#include <commdlg.h>

#include <cstdio>
#include <cstring>

#include "app/process_dump.h"
#include "app/process_properties.h"
#include "ui/dialog_kit.h"
#include "ui/dialogs.h"

namespace ui {

namespace {

constexpr int kTerminateId = 1001;
constexpr int kSaveId = 1003;
constexpr int kTabsId = 1002;
constexpr int kClientWidth = 391, kClientHeight = 392;
constexpr wchar_t kSaveHint[] =
    L"Copies the in-memory version of the process to a file with reconstructed layout. Will not be identical "
    L"to "
    L"the original, but near and analyzable.";

std::wstring Hex8(unsigned long long v) {
  wchar_t buf[32];
  swprintf(buf, 32, L"%08llX", v);
  return buf;
}

std::wstring Number(long long v) { return std::to_wstring(v); }

std::wstring FixedText(const char* text, std::size_t max) {
  return kit::ShownFromCodePage(std::string_view(text, strnlen(text, max)));
}

std::wstring ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring out = text ? text : L"error " + std::to_wstring(error);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r')) out.pop_back();
  return out;
}

// Writes the whole file under a temporary name beside it, then puts it in place: a failed write
// leaves neither a half-written file nor a damaged earlier one.
bool WriteWhole(const std::wstring& path, const std::vector<std::byte>& bytes, DWORD& error) {
  const std::wstring temp = path + L".partial";
  HANDLE file =
      CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
    done += written;
  }
  if (ok) ok = FlushFileBuffers(file);
  if (!ok) error = GetLastError();
  CloseHandle(file);
  if (ok && !MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
    ok = false;
  }
  if (!ok) DeleteFileW(temp.c_str());
  return ok;
}

class ProcessDialog : public kit::Dialog {
 public:
  ProcessDialog(UiContext& c, std::uint32_t pid, bool allowTerminate)
      : Dialog(c), pid_(pid), allowTerminate_(allowTerminate) {}

 private:
  HWND List(int page, const std::vector<kit::Column>& columns) {
    const RECT a = TabArea();
    HWND list =
        Child(WC_LISTVIEWW, L"", WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL,
              a.left + 8, a.top + 8, a.right - a.left - 16, a.bottom - a.top - 16);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    kit::AddColumns(list, context_, columns);
    OnPage(page, list);
    return list;
  }

  void OnInit() override {
    props_ = app::LoadProcessProperties(pid_);
    const processes::TProcessDetails& d = props_.Details;
    Tabs({L"General", L"Threads", L"Modules", L"Heaps"}, 8, 8, kClientWidth - 16, kClientHeight - 49,
         kTabsId);
    const RECT a = TabArea();
    const int x = a.left + 16, w = a.right - a.left - 32;
    OnPage(0, Child(L"STATIC", L"", SS_ETCHEDFRAME, a.left + 8, a.top + 8, a.right - a.left - 16,
                    a.bottom - a.top - 16));
    int y = a.top + 18;
    const auto row = [&](const wchar_t* caption, const std::wstring& value, int h) {
      OnPage(0, Label(caption, x, y, 81, 16));
      HWND v = Label(L"?", x + 87, y, w - 87, h, SS_EDITCONTROL);
      SetWindowTextW(v, value.c_str());
      OnPage(0, v);
      y += h + 6;
      return v;
    };
    row(L"Image name:", d.ImageName.empty() ? L"?" : kit::Shown(d.ImageName), 44);
    row(L"Process ID:", Number(d.ProcessID), 16);
    row(L"Debugged:", kit::Shown(app::DebuggedText(props_)), 16);
    AddTooltip(row(L"Session ID:", kit::Shown(app::SessionText(props_)), 16),
               L"Terminal Services Session ID");
    HWND native = Label(L"?", x, y + 6, w, 44, SS_EDITCONTROL);
    if (!d.NativeImageName.empty()) SetWindowTextW(native, kit::Shown(d.NativeImageName).c_str());
    OnPage(0, native);

    HWND threads = List(1, {{L"ID", 48},
                            {L"ProcID", 48, LVCFMT_CENTER},
                            {L"Usage", 64, LVCFMT_RIGHT},
                            {L"Base Prio", 64, LVCFMT_RIGHT},
                            {L"Delta Prio", 64, LVCFMT_RIGHT},
                            {L"Flags", 64, LVCFMT_RIGHT}});
    for (const auto& t : d.Threads)
      kit::AddRow(threads, {Number(t.th32ThreadID), Number(t.th32OwnerProcessID), Number(t.cntUsage),
                            Number(t.tpBasePri), Number(t.tpDeltaPri), Hex8(t.dwFlags)});
    modules_ = List(2, {{L"ID", 48},
                        {L"ProcID", 48, LVCFMT_CENTER},
                        {L"Module", 96},
                        {L"Global Usage", 64, LVCFMT_RIGHT},
                        {L"Modul Usage", 64, LVCFMT_RIGHT},
                        {L"Base Address", 64},
                        {L"Base Size", 64, LVCFMT_RIGHT},
                        {L"Executable Path", 128}});
    for (const auto& m : d.Modules)
      kit::AddRow(modules_,
                  {Number(m.th32ModuleID), Number(m.th32ProcessID), FixedText(m.szModule, sizeof m.szModule),
                   Number(m.GlblcntUsage), Number(m.ProccntUsage), Hex8(m.modBaseAddr), Hex8(m.modBaseSize),
                   FixedText(m.szExePath, sizeof m.szExePath)});
    HWND heaps = List(3, {{L"ID", 72}, {L"ProcID", 48, LVCFMT_CENTER}, {L"Flags", 64, LVCFMT_RIGHT}});
    for (const auto& h : d.Heaps)
      kit::AddRow(heaps,
                  {Number(static_cast<long long>(h.th32HeapID)), Number(h.th32ProcessID), Hex8(h.dwFlags)});
    SelectPage(0);

    const int buttonsY = kClientHeight - 33;
    terminate_ = Button(L"&Terminate", 8, buttonsY, 75, 25, kTerminateId);
    ShowWindow(terminate_, allowTerminate_ ? SW_SHOW : SW_HIDE);
    EnableWindow(terminate_, allowTerminate_);
    AddTooltip(Button(L"&Save as file", 91, buttonsY, 90, 25, kSaveId), kSaveHint);
    SetFocus(Button(L"OK", kClientWidth - 83, buttonsY, 75, 25, IDOK, true));
  }

  void OnCommand(int id, int code) override {
    if (code == BN_CLICKED && id == kTerminateId && allowTerminate_)
      Terminate();
    else if (code == BN_CLICKED && id == kSaveId)
      Save();
    else
      Dialog::OnCommand(id, code);
  }

  std::wstring ProcessShown() const {
    std::wstring shown = Number(pid_);
    if (!props_.Details.ImageName.empty()) shown += L" (" + kit::Shown(props_.Details.ImageName) + L")";
    return shown;
  }

  void Terminate() {
    if (pid_ == 0) return;
    if (Message(L"End the process " + ProcessShown() + L" ?", L"Terminate process",
                MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
      return;
    const app::TProcessTermination t = app::TerminateProcessById(pid_);
    if (t.Terminated) {
      EnableWindow(terminate_, FALSE);
      return;
    }
    Message(L"Could not end the process " + ProcessShown() + L": " + kit::Shown(t.Message),
            L"Could not end process", MB_OK | MB_ICONERROR);
  }

  void Save() {
    const app::ProcessDump dump = app::DumpProcess(pid_);
    if (!dump.ok) {
      Message(kit::Shown(app::DumpFailedMessage(pid_)), L"Save as file", MB_OK | MB_ICONERROR);
      return;
    }
    std::vector<wchar_t> name(32768, L'\0');
    const std::wstring proposed = kit::AsWide(dump.proposedName);
    // A proposal holding a zero character would be cut short; the user names the file then.
    if (proposed.find(L'\0') == std::wstring::npos && proposed.size() < name.size())
      std::copy(proposed.begin(), proposed.end(), name.begin());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = window_;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&ofn)) return;
    const std::wstring path = name.data();
    DWORD error = 0;
    if (!WriteWhole(path, dump.bytes, error))
      Message(L"Could not save the memory contents of process " + Number(pid_) + L" to " + path + L": " +
                  ErrorText(error),
              L"Save as file", MB_OK | MB_ICONERROR);
  }

  std::uint32_t pid_;
  bool allowTerminate_;
  app::TProcessProperties props_;
  HWND modules_ = nullptr;
  HWND terminate_ = nullptr;
};

}  // namespace

bool ShowProcess(UiContext& context, HWND owner, std::uint32_t processId, bool allowTerminate) {
  ProcessDialog dialog(context, processId, allowTerminate);
  return dialog.Run(owner, L"Process Properties", kClientWidth, kClientHeight) == IDOK;
}

}  // namespace ui

// The Deep Scan export: save dialog, the console's JSON shape or CSV, written all or nothing.
#include "ui/deep_export.h"

#include <commdlg.h>

#include "app/deep_scan_csv.h"
#include "app/deep_scan_output.h"

namespace ui {
namespace {

std::wstring SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring out = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(error);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r' || out.back() == L' ')) out.pop_back();
  return out;
}

std::wstring Folder(const std::wstring& path) {
  const auto cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? L"." : path.substr(0, cut + 1);
}

}  // namespace

WriteResult WriteWholeFile(const std::wstring& path, const std::string& bytes, bool replace) {
  wchar_t temp[MAX_PATH + 1] = {};
  if (!GetTempFileNameW(Folder(path).c_str(), L"umb", 0, temp)) {
    const DWORD e = GetLastError();
    return {false, L"Could not create a temporary file next to " + path + L": " + SystemMessage(e)};
  }
  HANDLE file =
      CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    DeleteFileW(temp);
    return {false, L"Could not write " + std::wstring(temp) + L": " + SystemMessage(e)};
  }
  std::size_t done = 0;
  DWORD error = 0;
  while (done < bytes.size()) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (!WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
      error = GetLastError();
      break;
    }
    done += wrote;
  }
  if (!error && !FlushFileBuffers(file)) error = GetLastError();
  CloseHandle(file);
  if (!error &&
      !MoveFileExW(temp, path.c_str(), (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH))
    error = GetLastError();
  if (error) {
    DeleteFileW(temp);
    const bool exists = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
    return {exists, L"Could not write " + path + L": " + SystemMessage(error)};
  }
  return {};
}

void ExportDeepScan(UiContext&, HWND owner, const app::TDeepScanSession& session) {
  std::wstring name(32768, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = L"JSON (*.json)\0*.json\0CSV (*.csv)\0*.csv\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.lpstrTitle = L"Export Deep Scan results";
  ofn.lpstrDefExt = L"json";
  ofn.Flags =
      OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (!GetSaveFileNameW(&ofn)) return;
  name.resize(wcslen(name.c_str()));
  const ExportFormat format = ofn.nFilterIndex == 2 ? ExportFormat::csv : ExportFormat::json;
  const std::string bytes =
      format == ExportFormat::csv
          ? app::DeepRowsCsv(session.Rows())
          : app::DeepScanJson(session).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
                "\n";
  // The dialog asked about a file that existed then; one that appeared since is asked about here.
  bool replace = GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
  for (;;) {
    const WriteResult result = WriteWholeFile(name, bytes, replace);
    if (result.error.empty()) return;
    if (result.exists && !replace) {
      const std::wstring ask = name + L" already exists.\nDo you want to replace it?";
      if (MessageBoxW(owner, ask.c_str(), L"Export", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return;
      replace = true;
      continue;
    }
    MessageBoxW(owner, result.error.c_str(), L"Export", MB_OK | MB_ICONERROR);
    return;
  }
}

}  // namespace ui

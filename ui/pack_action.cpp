// "Pack Suspicious Files": app::PackSuspiciousFiles, plus the copy out of a simulated machine.
#include "ui/pack_action.h"

#include <cstddef>
#include <optional>
#include <string>

#include "app/pack.h"
#include "app/text.h"
#include "archive/new_cab_archive.h"
#include "platform/handles.h"
#include "results/path_macros.h"

namespace ui {
namespace {

// The Windows header macros hide the platform's typed constants of these names.
constexpr platform::DWORD kDirectoryAttribute = 0x10u;
constexpr platform::DWORD kNoAttributes = 0xFFFFFFFFu;

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  for (wchar_t& c : out)
    if (c == L'\0') c = L' ';
  return out;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                        nullptr);
  return out;
}

// A machine text (system code page) as the user reads it.
std::wstring Shown(const std::string& machineText) { return Wide(app::Utf8FromCodePage(machineText)); }

std::wstring SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring out = text ? text : L"error " + std::to_wstring(error);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r' || out.back() == L'.')) out.pop_back();
  return out;
}

bool IsMachineFolder(const std::string& path) {
  const auto attributes = platform::Current().kernel32.GetFileAttributesA(path);
  return attributes != kNoAttributes && (attributes & kDirectoryAttribute) != 0;
}

std::optional<std::string> ReadMachineFile(const std::string& path, std::wstring& error) {
  std::string reason;
  auto bytes = app::ReadMachineFile(path, reason);
  if (!bytes) error = L"cannot read " + Shown(path) + L" on the scanned machine: " + Shown(reason);
  return bytes;
}

// The current folder, as for the console program: a system image is usually scanned from a
// working folder, and the real desktop of a Wine prefix is often the user's home.
std::wstring RealFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetCurrentDirectoryW(MAX_PATH, path);
  return n > 0 && n < MAX_PATH ? path : L".";
}

std::wstring Joined(const std::wstring& folder, const std::wstring& name) {
  return folder.empty() || folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

// Writes under a temporary name first and renames without replacing, so that a failure leaves
// nothing half-written and an existing file is never overwritten.
bool WriteNewFile(const std::wstring& target, const std::string& bytes, std::wstring& error) {
  const std::wstring temp = target + L".partial-" + std::to_wstring(GetCurrentProcessId());
  HANDLE file =
      CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = L"cannot create " + temp + L": " + SystemMessage(GetLastError());
    return false;
  }
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  const DWORD writeError = GetLastError();
  CloseHandle(file);
  if (!ok) {
    DeleteFileW(temp.c_str());
    error = L"cannot write " + target + L" completely: " + SystemMessage(writeError);
    return false;
  }
  if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD moveError = GetLastError();
    DeleteFileW(temp.c_str());
    error = L"cannot create " + target + L": " + SystemMessage(moveError);
    return false;
  }
  return true;
}

}  // namespace

void PackSuspiciousFilesAction(UiContext& context, HWND owner, const std::vector<app::TDeepScanRow>& rows) {
  app::TPackPlace place;
  std::wstring realFolder;
  if (context.imageMachine) {
    realFolder = RealFolder();
    const std::string desktop = results::ExpandPathMacros("<$DESKTOP>");
    if (IsMachineFolder(desktop)) {
      place.folder = desktop;
    } else {
      const std::string windows = platform::Current().kernel32.GetWindowsDirectoryA();
      place.folder = windows.size() >= 2 ? windows.substr(0, 2) + "\\" : std::string("C:\\");
    }
    if (!place.folder.empty() && place.folder.back() != '\\') place.folder += '\\';
    place.nameTaken = [realFolder](const std::string& fileName) {
      return GetFileAttributesW(Joined(realFolder, Shown(fileName)).c_str()) != INVALID_FILE_ATTRIBUTES ||
             GetLastError() != ERROR_FILE_NOT_FOUND;
    };
  }
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  app::TPackResult result;
  std::wstring failure;
  try {
    result = app::PackSuspiciousFiles(rows, place);
  } catch (const app::PackError& e) {
    failure = L"No archive was written: " + Shown(e.what());
  } catch (const std::exception& e) {
    failure = L"No archive was written: " + Wide(e.what());
  }
  std::wstring message;
  if (failure.empty()) {
    message = Shown(result.message);
    if (context.imageMachine) {
      std::wstring error;
      const auto bytes = ReadMachineFile(result.archivePath, error);
      const std::wstring target = Joined(realFolder, Shown(result.fileName));
      if (!bytes || !WriteNewFile(target, *bytes, error))
        failure = L"No archive was written: " + error;
      else
        message = Wide(app::PackMessage(Utf8(Shown(result.fileName)), Utf8(realFolder)));
    }
  }
  SetCursor(previous);
  if (!failure.empty()) {
    MessageBoxW(owner, failure.c_str(), L"Umbrascope", MB_OK | MB_ICONERROR);
    return;
  }
  if (!result.notAdded.empty()) {
    message += L"\r\n\r\nNot in the archive:";
    for (const auto& entry : result.notAdded)
      message += L"\r\n" + Shown(entry.path) + L": " + Shown(entry.reason);
  }
  MessageBoxW(owner, message.c_str(), L"Umbrascope",
              MB_OK | (result.notAdded.empty() ? MB_ICONINFORMATION : MB_ICONWARNING));
}

}  // namespace ui

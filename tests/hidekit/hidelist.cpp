// hidelist: lists files, registry entries or processes through every Win32
// function the hiding kit filters, one "<function> <name>" line per entry, so a
// test can see which calls a hook reaches. Usage:
//   hidelist.exe files <pattern>       FindFirstFile{W,A,ExW} and
//   FindFirstFileW found through
//                                      GetProcAddress in kernel32 and
//                                      kernelbase; a search that fails prints
//                                      "<function> !error <code>"
//   hidelist.exe registry <HKLM subkey> RegEnumKeyEx{W,A}, RegEnumValue{W,A}
//   hidelist.exe processes             EnumProcesses,
//   Process32First{W,}/Next{W,}: "<function>
//                                      <exe name> <process ID>"
#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/hidekit/win_handle.h"

namespace {

void Print(const char* api, const std::wstring& name, const char* suffix = "") {
  std::string utf8(name.size() * 3 + 1, '\0');
  const int n = WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), utf8.data(),
                                    static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.resize(n > 0 ? n : 0);
  std::printf("%s %s%s\n", api, utf8.c_str(), suffix);
}

void Print(const char* api, const char* name, const char* suffix = "") {
  std::printf("%s %s%s\n", api, name, suffix);
}

void PrintError(const char* api) { std::printf("%s !error %lu\n", api, GetLastError()); }

std::string PidSuffix(DWORD pid) { return " " + std::to_string(pid); }

template <typename First, typename Next>
void ListW(const char* api, const std::wstring& pattern, First first, Next next) {
  WIN32_FIND_DATAW d;
  HANDLE h = first(pattern.c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return PrintError(api);
  do Print(api, d.cFileName);
  while (next(h, &d));
  FindClose(h);
}

void ListFiles(const std::wstring& pattern) {
  ListW("FindFirstFileW", pattern, FindFirstFileW, FindNextFileW);
  ListW(
      "FindFirstFileExW", pattern,
      [](LPCWSTR p, WIN32_FIND_DATAW* d) {
        return FindFirstFileExW(p, FindExInfoBasic, d, FindExSearchNameMatch, nullptr, 0);
      },
      FindNextFileW);
  for (const wchar_t* module : {L"kernel32.dll", L"kernelbase.dll"}) {
    HMODULE m = GetModuleHandleW(module);
    auto first = hidekit::ProcAs<decltype(&FindFirstFileW)>(GetProcAddress(m, "FindFirstFileW"));
    auto next = hidekit::ProcAs<decltype(&FindNextFileW)>(GetProcAddress(m, "FindNextFileW"));
    if (first == nullptr || next == nullptr) continue;
    ListW(module[6] == L'3' ? "GetProcAddress(kernel32)" : "GetProcAddress(kernelbase)", pattern, first,
          next);
  }
  std::string narrow(pattern.size() * 2 + 1, '\0');
  narrow.resize(WideCharToMultiByte(CP_ACP, 0, pattern.c_str(), -1, narrow.data(),
                                    static_cast<int>(narrow.size()), nullptr, nullptr));
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA(narrow.c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return PrintError("FindFirstFileA");
  do Print("FindFirstFileA", d.cFileName);
  while (FindNextFileA(h, &d));
  FindClose(h);
}

int ListRegistry(const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    std::fprintf(stderr, "hidelist: cannot open HKLM\\%ls\n", path.c_str());
    return 2;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD n = 256;
    if (RegEnumKeyExW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    Print("RegEnumKeyExW", std::wstring(name, n));
  }
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD n = sizeof name;
    if (RegEnumKeyExA(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    Print("RegEnumKeyExA", name);
  }
  for (DWORD i = 0;; ++i) {
    std::vector<wchar_t> name(16384);
    DWORD n = static_cast<DWORD>(name.size());
    if (RegEnumValueW(key, i, name.data(), &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    Print("RegEnumValueW", std::wstring(name.data(), n));
  }
  for (DWORD i = 0;; ++i) {
    std::vector<char> name(32768);
    DWORD n = static_cast<DWORD>(name.size());
    if (RegEnumValueA(key, i, name.data(), &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    Print("RegEnumValueA", name.data());
  }
  RegCloseKey(key);
  return 0;
}

std::wstring ImageName(DWORD pid) {
  hidekit::WinHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  wchar_t path[MAX_PATH];
  DWORD n = MAX_PATH;
  if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &n)) return L"?";
  const wchar_t* slash = std::wcsrchr(path, L'\\');
  return slash ? slash + 1 : path;
}

void ListProcesses() {
  std::vector<DWORD> ids(4096);
  DWORD bytes = 0;
  if (EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) {
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
      Print("EnumProcesses", ImageName(ids[i]), PidSuffix(ids[i]).c_str());
    }
  }
  hidekit::WinHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return;
  PROCESSENTRY32W w{};
  w.dwSize = sizeof w;
  for (BOOL ok = Process32FirstW(snap.get(), &w); ok; ok = Process32NextW(snap.get(), &w)) {
    Print("Process32FirstW", w.szExeFile, PidSuffix(w.th32ProcessID).c_str());
  }
  PROCESSENTRY32 a{};
  a.dwSize = sizeof a;
  for (BOOL ok = Process32First(snap.get(), &a); ok; ok = Process32Next(snap.get(), &a)) {
    Print("Process32First", a.szExeFile, PidSuffix(a.th32ProcessID).c_str());
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"files" && argc == 3) {
    ListFiles(argv[2]);
  } else if (mode == L"registry" && argc == 3) {
    return ListRegistry(argv[2]);
  } else if (mode == L"processes" && argc == 2) {
    ListProcesses();
  } else {
    std::fprintf(stderr,
                 "usage: hidelist.exe files <pattern> | registry <HKLM "
                 "subkey> | processes\n");
    return 2;
  }
  return 0;
}

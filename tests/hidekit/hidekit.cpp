// Test-only hiding library: once loaded into a process it patches the entries of the Win32
// listing functions so that names starting with $UMBRA_HIDE_PREFIX vanish from their results,
// the way a user-mode rootkit filters them. Native functions are left alone.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/hidekit/inline_hook.h"

namespace {

std::wstring g_prefix;

void Report(const std::string& text) {
  const std::string line = "hidekit: " + text + "\n";
  DWORD written;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// --- name matching ---

bool IsHidden(const wchar_t* name, std::size_t length) {
  const int n = static_cast<int>(g_prefix.size());
  return length >= g_prefix.size() && CompareStringOrdinal(name, n, g_prefix.data(), n, TRUE) == CSTR_EQUAL;
}

bool IsHidden(const char* name, std::size_t length) {
  if (length == 0) return g_prefix.empty();
  std::wstring wide(length, L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(length), wide.data(),
                                    static_cast<int>(wide.size()));
  return n > 0 && IsHidden(wide.data(), static_cast<std::size_t>(n));
}

template <typename Char, std::size_t N>
bool IsHiddenFileName(const Char (&name)[N]) {
  return IsHidden(name, std::find(name, name + N, Char{}) - name);
}

// ToolHelp gives a bare file name on current systems and a full path on old ones.
template <typename Char, std::size_t N>
bool IsHiddenExeName(const Char (&name)[N]) {
  const Char* end = std::find(name, name + N, Char{});
  const Char* base = end;
  while (base != name && base[-1] != Char('\\') && base[-1] != Char('/')) --base;
  return IsHidden(base, end - base);
}

// --- originals ---

enum Api {
  kFindFirstFileW,
  kFindFirstFileExW,
  kFindNextFileW,
  kFindFirstFileA,
  kFindFirstFileExA,
  kFindNextFileA,
  kRegEnumKeyExW,
  kRegEnumKeyExA,
  kRegEnumValueW,
  kRegEnumValueA,
  kEnumProcesses,
  kProcess32FirstW,
  kProcess32NextW,
  kProcess32First,
  kProcess32Next,
  kApiCount
};

// Trampolines to the original code. Where an export and its forwarder target are two separate
// implementations (kernel32 and kernelbase on some systems) both are patched, each hook copy
// (slot) calling its own original.
constexpr int kSlots = 2;
void* g_orig[kApiCount][kSlots];

template <Api A, int S, typename Fn>
Fn Orig(Fn) {
  return reinterpret_cast<Fn>(g_orig[A][S]);
}

using FindFirstExW = HANDLE(WINAPI*)(LPCWSTR, FINDEX_INFO_LEVELS, LPVOID, FINDEX_SEARCH_OPS, LPVOID, DWORD);
using FindFirstExA = HANDLE(WINAPI*)(LPCSTR, FINDEX_INFO_LEVELS, LPVOID, FINDEX_SEARCH_OPS, LPVOID, DWORD);
using FindNextW = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW);
using FindNextA = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAA);
using RegEnumKeyW = LSTATUS(WINAPI*)(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPWSTR, LPDWORD, PFILETIME);
using RegEnumKeyA = LSTATUS(WINAPI*)(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPSTR, LPDWORD, PFILETIME);
using RegEnumValW = LSTATUS(WINAPI*)(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using RegEnumValA = LSTATUS(WINAPI*)(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using ProcW = BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32W);
using ProcA = BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32);

FindNextW NextW() { return reinterpret_cast<FindNextW>(g_orig[kFindNextFileW][0]); }
FindNextA NextA() { return reinterpret_cast<FindNextA>(g_orig[kFindNextFileA][0]); }

// --- files ---

// A search whose first entry is hidden starts at the first visible one; when none is left
// the search fails as if nothing had matched.
template <typename Data, typename Next>
HANDLE SkipHiddenFirst(HANDLE h, Data* data, Next next) {
  if (h == INVALID_HANDLE_VALUE || data == nullptr) return h;
  while (IsHiddenFileName(data->cFileName)) {
    if (!next(h, data)) {
      const DWORD e = GetLastError();
      FindClose(h);
      SetLastError(e == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : e);
      return INVALID_HANDLE_VALUE;
    }
  }
  return h;
}

template <int S>
HANDLE WINAPI HookFindFirstFileW(LPCWSTR name, LPWIN32_FIND_DATAW data) {
  auto orig = Orig<kFindFirstFileW, S>(static_cast<HANDLE(WINAPI*)(LPCWSTR, LPWIN32_FIND_DATAW)>(nullptr));
  return SkipHiddenFirst(orig(name, data), data, NextW());
}
template <int S>
HANDLE WINAPI HookFindFirstFileA(LPCSTR name, LPWIN32_FIND_DATAA data) {
  auto orig = Orig<kFindFirstFileA, S>(static_cast<HANDLE(WINAPI*)(LPCSTR, LPWIN32_FIND_DATAA)>(nullptr));
  return SkipHiddenFirst(orig(name, data), data, NextA());
}
template <int S>
HANDLE WINAPI HookFindFirstFileExW(LPCWSTR name, FINDEX_INFO_LEVELS level, LPVOID data, FINDEX_SEARCH_OPS op,
                                   LPVOID filter, DWORD flags) {
  auto orig = Orig<kFindFirstFileExW, S>(FindFirstExW{});
  return SkipHiddenFirst(orig(name, level, data, op, filter, flags), static_cast<LPWIN32_FIND_DATAW>(data),
                         NextW());
}
template <int S>
HANDLE WINAPI HookFindFirstFileExA(LPCSTR name, FINDEX_INFO_LEVELS level, LPVOID data, FINDEX_SEARCH_OPS op,
                                   LPVOID filter, DWORD flags) {
  auto orig = Orig<kFindFirstFileExA, S>(FindFirstExA{});
  return SkipHiddenFirst(orig(name, level, data, op, filter, flags), static_cast<LPWIN32_FIND_DATAA>(data),
                         NextA());
}
template <int S>
BOOL WINAPI HookFindNextFileW(HANDLE h, LPWIN32_FIND_DATAW data) {
  auto orig = Orig<kFindNextFileW, S>(FindNextW{});
  BOOL ok;
  while ((ok = orig(h, data)) && IsHiddenFileName(data->cFileName)) {
  }
  return ok;
}
template <int S>
BOOL WINAPI HookFindNextFileA(HANDLE h, LPWIN32_FIND_DATAA data) {
  auto orig = Orig<kFindNextFileA, S>(FindNextA{});
  BOOL ok;
  while ((ok = orig(h, data)) && IsHiddenFileName(data->cFileName)) {
  }
  return ok;
}

// --- registry ---

// Registry listings are by index: entry i of the filtered view is the i-th entry that is not
// hidden. Each thread remembers where its last answer was found so that a listing from 0
// upwards costs one probe per entry instead of i probes for entry i.
struct IndexCache {
  HKEY key = nullptr;
  DWORD visible = 0;
  DWORD raw = 0;
  bool valid = false;
};
enum IndexKind { kKeysW, kKeysA, kValuesW, kValuesA, kIndexKinds };
thread_local IndexCache t_index_cache[kIndexKinds];

// `probe(raw, hidden)` reads the name of raw entry `raw` and returns the original status.
template <typename Probe>
LSTATUS MapIndex(IndexKind kind, HKEY key, DWORD index, Probe probe, DWORD& raw) {
  IndexCache& cache = t_index_cache[kind];
  DWORD v = 0, j = 0;
  if (cache.valid && cache.key == key && index >= cache.visible) {
    v = cache.visible;
    j = cache.raw;
  }
  for (;; ++j) {
    bool hidden = false;
    const LSTATUS st = probe(j, hidden);
    if (st != ERROR_SUCCESS && st != ERROR_MORE_DATA) {
      if (st == ERROR_NO_MORE_ITEMS) cache.valid = false;
      return st;
    }
    if (hidden) continue;
    if (v == index) {
      cache = IndexCache{key, index, j, true};
      raw = j;
      return ERROR_SUCCESS;
    }
    ++v;
  }
}

// Key names hold at most 255 characters and value names 16383; a longer answer
// (ERROR_MORE_DATA) cannot be checked and is shown.
template <int S>
LSTATUS WINAPI HookRegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_len, LPDWORD reserved,
                                 LPWSTR cls, LPDWORD cls_len, PFILETIME time) {
  auto orig = Orig<kRegEnumKeyExW, S>(RegEnumKeyW{});
  DWORD raw = 0;
  const LSTATUS st = MapIndex(
      kKeysW, key, index,
      [&](DWORD j, bool& hidden) {
        wchar_t buf[256];
        DWORD n = 256;
        const LSTATUS r = orig(key, j, buf, &n, nullptr, nullptr, nullptr, nullptr);
        hidden = r == ERROR_SUCCESS && IsHidden(buf, n);
        return r;
      },
      raw);
  if (st != ERROR_SUCCESS) return st;
  return orig(key, raw, name, name_len, reserved, cls, cls_len, time);
}
template <int S>
LSTATUS WINAPI HookRegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_len, LPDWORD reserved,
                                 LPSTR cls, LPDWORD cls_len, PFILETIME time) {
  auto orig = Orig<kRegEnumKeyExA, S>(RegEnumKeyA{});
  DWORD raw = 0;
  const LSTATUS st = MapIndex(
      kKeysA, key, index,
      [&](DWORD j, bool& hidden) {
        char buf[1024];
        DWORD n = sizeof buf;
        const LSTATUS r = orig(key, j, buf, &n, nullptr, nullptr, nullptr, nullptr);
        hidden = r == ERROR_SUCCESS && IsHidden(buf, n);
        return r;
      },
      raw);
  if (st != ERROR_SUCCESS) return st;
  return orig(key, raw, name, name_len, reserved, cls, cls_len, time);
}
template <int S>
LSTATUS WINAPI HookRegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_len, LPDWORD reserved,
                                 LPDWORD type, LPBYTE data, LPDWORD data_len) {
  auto orig = Orig<kRegEnumValueW, S>(RegEnumValW{});
  DWORD raw = 0;
  const LSTATUS st = MapIndex(
      kValuesW, key, index,
      [&](DWORD j, bool& hidden) {
        std::vector<wchar_t> buf(16384);
        DWORD n = static_cast<DWORD>(buf.size());
        const LSTATUS r = orig(key, j, buf.data(), &n, nullptr, nullptr, nullptr, nullptr);
        hidden = r == ERROR_SUCCESS && IsHidden(buf.data(), n);
        return r;
      },
      raw);
  if (st != ERROR_SUCCESS) return st;
  return orig(key, raw, name, name_len, reserved, type, data, data_len);
}
template <int S>
LSTATUS WINAPI HookRegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_len, LPDWORD reserved,
                                 LPDWORD type, LPBYTE data, LPDWORD data_len) {
  auto orig = Orig<kRegEnumValueA, S>(RegEnumValA{});
  DWORD raw = 0;
  const LSTATUS st = MapIndex(
      kValuesA, key, index,
      [&](DWORD j, bool& hidden) {
        std::vector<char> buf(65536);
        DWORD n = static_cast<DWORD>(buf.size());
        const LSTATUS r = orig(key, j, buf.data(), &n, nullptr, nullptr, nullptr, nullptr);
        hidden = r == ERROR_SUCCESS && IsHidden(buf.data(), n);
        return r;
      },
      raw);
  if (st != ERROR_SUCCESS) return st;
  return orig(key, raw, name, name_len, reserved, type, data, data_len);
}

// --- processes ---

template <typename Entry, typename Next>
BOOL SkipHiddenProcesses(BOOL ok, HANDLE snap, Entry* entry, Next next) {
  while (ok && IsHiddenExeName(entry->szExeFile)) ok = next(snap, entry);
  return ok;
}

template <int S>
BOOL WINAPI HookProcess32FirstW(HANDLE snap, LPPROCESSENTRY32W entry) {
  auto next = Orig<kProcess32NextW, 0>(ProcW{});
  return SkipHiddenProcesses(Orig<kProcess32FirstW, S>(ProcW{})(snap, entry), snap, entry, next);
}
template <int S>
BOOL WINAPI HookProcess32NextW(HANDLE snap, LPPROCESSENTRY32W entry) {
  auto next = Orig<kProcess32NextW, S>(ProcW{});
  return SkipHiddenProcesses(next(snap, entry), snap, entry, next);
}
template <int S>
BOOL WINAPI HookProcess32First(HANDLE snap, LPPROCESSENTRY32 entry) {
  auto next = Orig<kProcess32Next, 0>(ProcA{});
  return SkipHiddenProcesses(Orig<kProcess32First, S>(ProcA{})(snap, entry), snap, entry, next);
}
template <int S>
BOOL WINAPI HookProcess32Next(HANDLE snap, LPPROCESSENTRY32 entry) {
  auto next = Orig<kProcess32Next, S>(ProcA{});
  return SkipHiddenProcesses(next(snap, entry), snap, entry, next);
}

// The process IDs whose executable name is hidden, from an unfiltered process snapshot.
std::vector<DWORD> HiddenProcessIds() {
  std::vector<DWORD> ids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  auto first = Orig<kProcess32FirstW, 0>(ProcW{});
  auto next = Orig<kProcess32NextW, 0>(ProcW{});
  for (BOOL ok = first(snap, &entry); ok; ok = next(snap, &entry)) {
    if (IsHiddenExeName(entry.szExeFile)) ids.push_back(entry.th32ProcessID);
  }
  CloseHandle(snap);
  return ids;
}

template <int S>
BOOL WINAPI HookEnumProcesses(DWORD* ids, DWORD size, DWORD* needed) {
  auto orig = Orig<kEnumProcesses, S>(static_cast<BOOL(WINAPI*)(DWORD*, DWORD, DWORD*)>(nullptr));
  if (!orig(ids, size, needed) || ids == nullptr || needed == nullptr) return FALSE;
  const std::vector<DWORD> hidden = HiddenProcessIds();
  DWORD* end = std::remove_if(ids, ids + *needed / sizeof(DWORD), [&](DWORD id) {
    return std::find(hidden.begin(), hidden.end(), id) != hidden.end();
  });
  *needed = static_cast<DWORD>((end - ids) * sizeof(DWORD));
  return TRUE;
}

// --- installation ---

struct Export {
  const wchar_t* module;
  const char* name;
};

struct HookPlan {
  Api api;
  const char* label;
  std::vector<Export> exports;
  void* hooks[kSlots];
};

#define HIDEKIT_HOOKS(fn) \
  { reinterpret_cast<void*>(&fn<0>), reinterpret_cast<void*>(&fn<1>) }

std::vector<HookPlan> Plans() {
  const wchar_t* kb = L"kernelbase.dll";
  const wchar_t* k32 = L"kernel32.dll";
  const wchar_t* adv = L"advapi32.dll";
  auto kernel = [&](const char* n) { return std::vector<Export>{{kb, n}, {k32, n}}; };
  auto reg = [&](const char* n) { return std::vector<Export>{{kb, n}, {adv, n}, {k32, n}}; };
  return {
      {kFindFirstFileW, "FindFirstFileW", kernel("FindFirstFileW"), HIDEKIT_HOOKS(HookFindFirstFileW)},
      {kFindFirstFileExW, "FindFirstFileExW", kernel("FindFirstFileExW"),
       HIDEKIT_HOOKS(HookFindFirstFileExW)},
      {kFindNextFileW, "FindNextFileW", kernel("FindNextFileW"), HIDEKIT_HOOKS(HookFindNextFileW)},
      {kFindFirstFileA, "FindFirstFileA", kernel("FindFirstFileA"), HIDEKIT_HOOKS(HookFindFirstFileA)},
      {kFindFirstFileExA, "FindFirstFileExA", kernel("FindFirstFileExA"),
       HIDEKIT_HOOKS(HookFindFirstFileExA)},
      {kFindNextFileA, "FindNextFileA", kernel("FindNextFileA"), HIDEKIT_HOOKS(HookFindNextFileA)},
      {kRegEnumKeyExW, "RegEnumKeyExW", reg("RegEnumKeyExW"), HIDEKIT_HOOKS(HookRegEnumKeyExW)},
      {kRegEnumKeyExA, "RegEnumKeyExA", reg("RegEnumKeyExA"), HIDEKIT_HOOKS(HookRegEnumKeyExA)},
      {kRegEnumValueW, "RegEnumValueW", reg("RegEnumValueW"), HIDEKIT_HOOKS(HookRegEnumValueW)},
      {kRegEnumValueA, "RegEnumValueA", reg("RegEnumValueA"), HIDEKIT_HOOKS(HookRegEnumValueA)},
      {kEnumProcesses,
       "EnumProcesses",
       {{kb, "K32EnumProcesses"},
        {kb, "EnumProcesses"},
        {k32, "K32EnumProcesses"},
        {L"psapi.dll", "EnumProcesses"}},
       HIDEKIT_HOOKS(HookEnumProcesses)},
      {kProcess32FirstW, "Process32FirstW", kernel("Process32FirstW"), HIDEKIT_HOOKS(HookProcess32FirstW)},
      {kProcess32NextW, "Process32NextW", kernel("Process32NextW"), HIDEKIT_HOOKS(HookProcess32NextW)},
      {kProcess32First, "Process32First", kernel("Process32First"), HIDEKIT_HOOKS(HookProcess32First)},
      {kProcess32Next, "Process32Next", kernel("Process32Next"), HIDEKIT_HOOKS(HookProcess32Next)},
  };
}

std::string Describe(const std::uint8_t* code, std::size_t copied) {
  HMODULE owner = nullptr;
  char path[MAX_PATH] = "?";
  if (GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(code), &owner)) {
    GetModuleFileNameA(owner, path, MAX_PATH);
  }
  const char* base = std::strrchr(path, '\\');
  char text[MAX_PATH + 64];
  std::snprintf(text, sizeof text, "%s+0x%llx", base ? base + 1 : path,
                static_cast<unsigned long long>(code - reinterpret_cast<const std::uint8_t*>(owner)));
  std::string out = text;
  if (copied != 0) {
    out += ", moved";
    for (std::size_t i = 0; i < copied; ++i) {
      std::snprintf(text, sizeof text, " %02x", code[i]);
      out += text;
    }
  }
  return out;
}

// Resolves every function to the code that really runs and prepares all trampolines; only
// when every one is ready are the entries patched, so a refusal leaves the process untouched
// and the library can be unloaded safely.
bool InstallHooks(bool verbose) {
  std::vector<hidekit::PreparedHook> prepared;
  std::vector<const std::uint8_t*> seen;
  for (const HookPlan& plan : Plans()) {
    std::vector<std::uint8_t*> targets;
    for (const Export& e : plan.exports) {
      HMODULE m = GetModuleHandleW(e.module);
      const auto* p = m ? reinterpret_cast<const std::uint8_t*>(GetProcAddress(m, e.name)) : nullptr;
      if (p == nullptr) continue;
      auto* code = const_cast<std::uint8_t*>(hidekit::FollowThunks(p));
      if (std::find(targets.begin(), targets.end(), code) == targets.end()) targets.push_back(code);
    }
    if (targets.empty() || targets.size() > kSlots) {
      Report(std::string(plan.label) + ": found " + std::to_string(targets.size()) +
             " implementations, expected 1 or 2");
      return false;
    }
    for (std::size_t slot = 0; slot < targets.size(); ++slot) {
      std::uint8_t* code = targets[slot];
      if (std::find(seen.begin(), seen.end(), code) != seen.end()) {
        Report(std::string(plan.label) + ": shares its code with another hooked function");
        return false;
      }
      seen.push_back(code);
      hidekit::PreparedHook hook;
      std::string error;
      if (!hidekit::PrepareHook(code, plan.hooks[slot], hook, error)) {
        Report(std::string(plan.label) + " at " + Describe(code, 0) + ": " + error);
        return false;
      }
      g_orig[plan.api][slot] = hook.trampoline;
      prepared.push_back(hook);
      if (verbose) Report(std::string(plan.label) + " at " + Describe(code, hook.copied));
    }
    if (targets.size() == 1) g_orig[plan.api][1] = g_orig[plan.api][0];
  }
  for (const hidekit::PreparedHook& hook : prepared) {
    std::string error;
    if (!hidekit::CommitHook(hook, error)) {
      // Some entries may already jump into this library: unloading it now would crash the
      // process later and a half-hooked process would mislead the test, so end it here.
      Report("patching failed: " + error);
      TerminateProcess(GetCurrentProcess(), 125);
    }
  }
  return true;
}

bool ReadPrefix() {
  wchar_t buf[256];
  const DWORD n = GetEnvironmentVariableW(L"UMBRA_HIDE_PREFIX", buf, 256);
  if (n == 0 || n >= 256) return false;
  g_prefix.assign(buf, n);
  return true;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  if (!ReadPrefix()) {
    Report("UMBRA_HIDE_PREFIX is not set (or longer than 255 characters); refusing to load");
    return FALSE;
  }
  if (!InstallHooks(GetEnvironmentVariableW(L"UMBRA_HIDEKIT_VERBOSE", nullptr, 0) != 0)) return FALSE;
  // Patched entries jump into this library from now on: it must never be unloaded.
  HMODULE self;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&DllMain), &self);
  return TRUE;
}

// hidelaunch: starts a program suspended, loads a library into it through a remote thread on
// LoadLibraryW, resumes it and exits with its exit status. Usage:
//   hidelaunch.exe <dll path> <program> [args...]
// Standard handles are passed on, so the program's output appears as if it ran directly.
// Failures of the launcher itself exit with 125.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/hidekit/win_handle.h"

namespace {

constexpr int kLauncherFailure = 125;
constexpr DWORD kInjectTimeoutMs = 60000;

int Fail(const char* step, DWORD error = GetLastError()) {
  std::fprintf(stderr, "hidelaunch: %s failed (error %lu)\n", step, error);
  return kLauncherFailure;
}

// Quotes one argument so that the usual command-line parsing gives it back unchanged.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

void InheritStdHandle(DWORD which) {
  HANDLE h = GetStdHandle(which);
  if (h != nullptr && h != INVALID_HANDLE_VALUE) {
    SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
}

// Runs LoadLibraryW(dll) on a new thread of `process` and waits for it.
int Inject(HANDLE process, const std::wstring& dll) {
  const SIZE_T bytes = (dll.size() + 1) * sizeof(wchar_t);
  void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (remote == nullptr) return Fail("VirtualAllocEx for the library path");
  if (!WriteProcessMemory(process, remote, dll.c_str(), bytes, nullptr)) {
    return Fail("WriteProcessMemory of the library path");
  }
  // kernel32 sits at the same address in every process of a session, so this process's
  // LoadLibraryW is the target's too.
  auto load = hidekit::ProcAs<LPTHREAD_START_ROUTINE>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW"));
  if (load == nullptr) return Fail("GetProcAddress(LoadLibraryW)");
  hidekit::WinHandle thread(CreateRemoteThread(process, nullptr, 0, load, remote, 0, nullptr));
  if (!thread) return Fail("CreateRemoteThread on LoadLibraryW");
  const DWORD waited = WaitForSingleObject(thread.get(), kInjectTimeoutMs);
  if (waited != WAIT_OBJECT_0) {
    return Fail(waited == WAIT_TIMEOUT ? "waiting for LoadLibraryW (timed out)" : "waiting for LoadLibraryW");
  }
  DWORD loaded = 0;
  if (!GetExitCodeThread(thread.get(), &loaded)) return Fail("GetExitCodeThread");
  // The exit code is the low half of the module handle; the library's preferred base keeps
  // it non-zero.
  if (loaded == 0) {
    std::fprintf(stderr, "hidelaunch: LoadLibraryW of the library failed inside the program\n");
    return kLauncherFailure;
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: hidelaunch.exe <dll path> <program> [args...]\n");
    return kLauncherFailure;
  }
  wchar_t full[MAX_PATH];
  const DWORD n = GetFullPathNameW(argv[1], MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return Fail("GetFullPathNameW of the library path");
  if (GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "hidelaunch: library not found: %ls\n", full);
    return kLauncherFailure;
  }

  std::wstring command = Quote(argv[2]);
  for (int i = 3; i < argc; ++i) command += L" " + Quote(argv[i]);

  InheritStdHandle(STD_INPUT_HANDLE);
  InheritStdHandle(STD_OUTPUT_HANDLE);
  InheritStdHandle(STD_ERROR_HANDLE);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                      &si, &pi)) {
    std::fprintf(stderr, "hidelaunch: cannot start %ls: CreateProcessW failed (error %lu)\n", argv[2],
                 GetLastError());
    return kLauncherFailure;
  }
  hidekit::WinHandle process(pi.hProcess);
  hidekit::WinHandle main_thread(pi.hThread);

  if (const int failed = Inject(process.get(), full); failed != 0) {
    TerminateProcess(process.get(), kLauncherFailure);
    return failed;
  }
  if (ResumeThread(main_thread.get()) == static_cast<DWORD>(-1)) {
    const DWORD error = GetLastError();
    TerminateProcess(process.get(), kLauncherFailure);
    return Fail("ResumeThread", error);
  }
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return Fail("waiting for the program");
  DWORD status = 0;
  if (!GetExitCodeProcess(process.get(), &status)) return Fail("GetExitCodeProcess");
  return static_cast<int>(status);
}

// The real processes surface: ToolHelp, PSAPI, process and handle functions, the handle table.
#include <cstring>
#include <string>

#include "platform/win32/win32_classes.h"
#include "platform/win32/win32_native.h"

namespace win32 {
namespace {

namespace rec = platform::records;

// The portable records are the system's own layouts; the casts below rely on that.
static_assert(sizeof(rec::ProcessEntry32) == sizeof(::PROCESSENTRY32));
static_assert(offsetof(rec::ProcessEntry32, szExeFile) == offsetof(::PROCESSENTRY32, szExeFile));
static_assert(offsetof(rec::ProcessEntry32, th32DefaultHeapID) ==
              offsetof(::PROCESSENTRY32, th32DefaultHeapID));
static_assert(sizeof(rec::ThreadEntry32) == sizeof(::THREADENTRY32));
static_assert(sizeof(rec::ModuleEntry32) == sizeof(::MODULEENTRY32));
static_assert(offsetof(rec::ModuleEntry32, szExePath) == offsetof(::MODULEENTRY32, szExePath));
static_assert(offsetof(rec::ModuleEntry32, hModule) == offsetof(::MODULEENTRY32, hModule));
static_assert(sizeof(rec::HeapList32) == sizeof(::HEAPLIST32));
static_assert(offsetof(rec::HeapList32, th32HeapID) == offsetof(::HEAPLIST32, th32HeapID));
static_assert(sizeof(rec::UnicodeStringHeader) == sizeof(::UNICODE_STRING));

std::string Zstr(std::string_view s) { return std::string(s); }

// What a psapi function the system lacks answers: a failed call, 0 with the error set.
platform::DWORD NotImplemented() {
  ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}

// The psapi functions are bound at run time: older systems lack some, and newer ones keep them
// in kernel32 under a K32 prefix with psapi.dll forwarding.
using GetModuleFileNameExAFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using GetModuleFileNameExWFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
using GetProcessImageFileNameAFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD);
using GetProcessImageFileNameWFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD);
using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);

using NtQuerySystemInformationFn = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
using NtQueryObjectFn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using NtQueryInformationFileFn = LONG(NTAPI*)(HANDLE, PVOID, PVOID, ULONG, ULONG);

}  // namespace

// --- kernel32 ---

platform::Handle Win32Kernel32::OpenProcess(platform::DWORD access, bool inherit, platform::DWORD processId) {
  return FromHandle(::OpenProcess(access, inherit ? TRUE : FALSE, processId));
}

bool Win32Kernel32::CloseHandle(platform::Handle handle) { return ::CloseHandle(ToHandle(handle)) != FALSE; }

platform::Handle Win32Kernel32::GetCurrentProcess() { return FromHandle(::GetCurrentProcess()); }

bool Win32Kernel32::DuplicateHandle(platform::Handle sourceProcess, platform::Handle source,
                                    platform::Handle targetProcess, platform::Handle& target,
                                    platform::DWORD access, bool inherit, platform::DWORD options) {
  HANDLE out = nullptr;
  if (!::DuplicateHandle(ToHandle(sourceProcess), ToHandle(source), ToHandle(targetProcess), &out, access,
                         inherit ? TRUE : FALSE, options))
    return false;
  target = FromHandle(out);
  return true;
}

bool Win32Kernel32::IsWow64Process(platform::Handle process, bool& wow64) {
  using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  static const auto fn = BindExport<Fn>(L"kernel32.dll", "IsWow64Process");
  BOOL value = FALSE;
  if (fn == nullptr) {
    wow64 = false;  // systems without it run no 32-bit emulation
    return true;
  }
  if (!fn(ToHandle(process), &value)) return false;
  wow64 = value != FALSE;
  return true;
}

void Win32Kernel32::OutputDebugStringA(std::string_view text) { ::OutputDebugStringA(Zstr(text).c_str()); }

platform::DWORD Win32Kernel32::GetFileAttributesA(std::string_view path) {
  return ::GetFileAttributesA(Zstr(path).c_str());
}

// --- ToolHelp ---

platform::Handle Win32ToolHelp::CreateToolhelp32Snapshot(platform::DWORD flags, platform::DWORD processId) {
  return FromHandle(::CreateToolhelp32Snapshot(flags, processId));
}
bool Win32ToolHelp::Process32First(platform::Handle s, rec::ProcessEntry32& e) {
  return ::Process32First(ToHandle(s), reinterpret_cast<::PROCESSENTRY32*>(&e)) != FALSE;
}
bool Win32ToolHelp::Process32Next(platform::Handle s, rec::ProcessEntry32& e) {
  return ::Process32Next(ToHandle(s), reinterpret_cast<::PROCESSENTRY32*>(&e)) != FALSE;
}
bool Win32ToolHelp::Thread32First(platform::Handle s, rec::ThreadEntry32& e) {
  return ::Thread32First(ToHandle(s), reinterpret_cast<::THREADENTRY32*>(&e)) != FALSE;
}
bool Win32ToolHelp::Thread32Next(platform::Handle s, rec::ThreadEntry32& e) {
  return ::Thread32Next(ToHandle(s), reinterpret_cast<::THREADENTRY32*>(&e)) != FALSE;
}
bool Win32ToolHelp::Module32First(platform::Handle s, rec::ModuleEntry32& e) {
  return ::Module32First(ToHandle(s), reinterpret_cast<::MODULEENTRY32*>(&e)) != FALSE;
}
bool Win32ToolHelp::Module32Next(platform::Handle s, rec::ModuleEntry32& e) {
  return ::Module32Next(ToHandle(s), reinterpret_cast<::MODULEENTRY32*>(&e)) != FALSE;
}
bool Win32ToolHelp::Heap32ListFirst(platform::Handle s, rec::HeapList32& e) {
  return ::Heap32ListFirst(ToHandle(s), reinterpret_cast<::HEAPLIST32*>(&e)) != FALSE;
}
bool Win32ToolHelp::Heap32ListNext(platform::Handle s, rec::HeapList32& e) {
  return ::Heap32ListNext(ToHandle(s), reinterpret_cast<::HEAPLIST32*>(&e)) != FALSE;
}

// --- psapi ---

bool Win32ToolHelp::EnumProcesses(std::span<platform::DWORD> ids, platform::DWORD& bytesReturned) {
  static const auto fn = BindExport<EnumProcessesFn>(L"psapi.dll", "EnumProcesses");
  if (fn == nullptr) {
    NotImplemented();
    return false;
  }
  DWORD got = 0;
  static_assert(sizeof(DWORD) == sizeof(platform::DWORD));
  const BOOL ok = fn(reinterpret_cast<DWORD*>(ids.data()), static_cast<DWORD>(ids.size_bytes()), &got);
  bytesReturned = got;
  return ok != FALSE;
}

platform::DWORD Win32ToolHelp::GetModuleFileNameExA(platform::Handle process, platform::Handle module,
                                                    std::span<char> buffer) {
  static const auto fn = BindExport<GetModuleFileNameExAFn>(L"psapi.dll", "GetModuleFileNameExA");
  if (fn == nullptr) return NotImplemented();
  return fn(ToHandle(process), reinterpret_cast<HMODULE>(module), buffer.data(),
            static_cast<DWORD>(buffer.size()));
}

platform::DWORD Win32ToolHelp::GetModuleFileNameExW(platform::Handle process, platform::Handle module,
                                                    std::span<char16_t> buffer) {
  static const auto fn = BindExport<GetModuleFileNameExWFn>(L"psapi.dll", "GetModuleFileNameExW");
  if (fn == nullptr) return NotImplemented();
  return fn(ToHandle(process), reinterpret_cast<HMODULE>(module), reinterpret_cast<wchar_t*>(buffer.data()),
            static_cast<DWORD>(buffer.size()));
}

bool Win32ToolHelp::HasGetProcessImageFileName() {
  static const bool has =
      BindExport<GetProcessImageFileNameAFn>(L"psapi.dll", "GetProcessImageFileNameA") != nullptr;
  return has;
}

platform::DWORD Win32ToolHelp::GetProcessImageFileNameA(platform::Handle process, std::span<char> buffer) {
  static const auto fn = BindExport<GetProcessImageFileNameAFn>(L"psapi.dll", "GetProcessImageFileNameA");
  if (fn == nullptr) return NotImplemented();
  return fn(ToHandle(process), buffer.data(), static_cast<DWORD>(buffer.size()));
}

platform::DWORD Win32ToolHelp::GetProcessImageFileNameW(platform::Handle process,
                                                        std::span<char16_t> buffer) {
  static const auto fn = BindExport<GetProcessImageFileNameWFn>(L"psapi.dll", "GetProcessImageFileNameW");
  if (fn == nullptr) return NotImplemented();
  return fn(ToHandle(process), reinterpret_cast<wchar_t*>(buffer.data()), static_cast<DWORD>(buffer.size()));
}

// --- ntdll ---

platform::NTSTATUS Win32Ntdll::NtQuerySystemInformation(platform::DWORD infoClass,
                                                        std::span<std::byte> buffer,
                                                        platform::DWORD& returnLength) {
  static const auto fn = BindExport<NtQuerySystemInformationFn>(L"ntdll.dll", "NtQuerySystemInformation");
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  ULONG got = 0;
  const auto status = static_cast<platform::NTSTATUS>(
      fn(infoClass, buffer.empty() ? nullptr : buffer.data(), static_cast<ULONG>(buffer.size()), &got));
  returnLength = got;
  return status;
}

platform::NTSTATUS Win32Ntdll::NtQueryObject(platform::Handle handle, platform::DWORD infoClass,
                                             std::span<std::byte> buffer, platform::DWORD& returnLength) {
  static const auto fn = BindExport<NtQueryObjectFn>(L"ntdll.dll", "NtQueryObject");
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  ULONG got = 0;
  const auto status = static_cast<platform::NTSTATUS>(fn(ToHandle(handle), infoClass,
                                                         buffer.empty() ? nullptr : buffer.data(),
                                                         static_cast<ULONG>(buffer.size()), &got));
  returnLength = got;
  return status;
}

platform::NTSTATUS Win32Ntdll::NtQueryInformationFile(platform::Handle file, platform::IoStatus& io,
                                                      std::span<std::byte> buffer,
                                                      platform::DWORD infoClass) {
  static const auto fn = BindExport<NtQueryInformationFileFn>(L"ntdll.dll", "NtQueryInformationFile");
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  IO_STATUS_BLOCK iosb{};
  const auto status = static_cast<platform::NTSTATUS>(
      fn(ToHandle(file), &iosb, buffer.data(), static_cast<ULONG>(buffer.size()), infoClass));
  io.status = static_cast<platform::NTSTATUS>(iosb.Status);
  io.information = iosb.Information;
  return status;
}

}  // namespace win32

// The real processes surface: ToolHelp, PSAPI, process and handle functions, the handle table, file data.
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

// psapi functions bound at run time: older systems lack some, and newer ones keep them in
// kernel32 under a K32 prefix with psapi.dll forwarding.
template <typename Fn>
Fn BindPsapi(const char* name) {
  static HMODULE psapi = ::LoadLibraryW(L"psapi.dll");
  return psapi == nullptr ? nullptr
                          : reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(psapi, name)));
}
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
  static const auto fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
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

platform::Handle Win32Kernel32::CreateFileA(std::string_view path, platform::DWORD access,
                                            platform::DWORD share, platform::DWORD disposition,
                                            platform::DWORD flagsAndAttributes) {
  return FromHandle(
      ::CreateFileA(Zstr(path).c_str(), access, share, nullptr, disposition, flagsAndAttributes, nullptr));
}

platform::DWORD Win32Kernel32::GetFileSize(platform::Handle file, platform::DWORD* high) {
  DWORD h = 0;
  const DWORD low = ::GetFileSize(ToHandle(file), &h);
  if (high != nullptr) *high = h;
  return low;
}

platform::Handle Win32Kernel32::CreateFileMappingA(platform::Handle file, platform::DWORD protect,
                                                   platform::DWORD maximumSizeHigh,
                                                   platform::DWORD maximumSizeLow) {
  return FromHandle(
      ::CreateFileMappingA(ToHandle(file), nullptr, protect, maximumSizeHigh, maximumSizeLow, nullptr));
}

const std::byte* Win32Kernel32::MapViewOfFile(platform::Handle mapping, platform::DWORD access,
                                              platform::DWORD offsetHigh, platform::DWORD offsetLow,
                                              std::size_t bytes) {
  return static_cast<const std::byte*>(
      ::MapViewOfFile(ToHandle(mapping), access, offsetHigh, offsetLow, bytes));
}

bool Win32Kernel32::UnmapViewOfFile(const std::byte* view) { return ::UnmapViewOfFile(view) != FALSE; }

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
  static const auto fn = BindPsapi<EnumProcessesFn>("EnumProcesses");
  if (fn == nullptr) {
    ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
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
  static const auto fn = BindPsapi<GetModuleFileNameExAFn>("GetModuleFileNameExA");
  if (fn == nullptr) return 0;
  return fn(ToHandle(process), reinterpret_cast<HMODULE>(module), buffer.data(),
            static_cast<DWORD>(buffer.size()));
}

platform::DWORD Win32ToolHelp::GetModuleFileNameExW(platform::Handle process, platform::Handle module,
                                                    std::span<char16_t> buffer) {
  static const auto fn = BindPsapi<GetModuleFileNameExWFn>("GetModuleFileNameExW");
  if (fn == nullptr) return 0;
  return fn(ToHandle(process), reinterpret_cast<HMODULE>(module), reinterpret_cast<wchar_t*>(buffer.data()),
            static_cast<DWORD>(buffer.size()));
}

bool Win32ToolHelp::HasGetProcessImageFileName() {
  return BindPsapi<GetProcessImageFileNameAFn>("GetProcessImageFileNameA") != nullptr;
}

platform::DWORD Win32ToolHelp::GetProcessImageFileNameA(platform::Handle process, std::span<char> buffer) {
  static const auto fn = BindPsapi<GetProcessImageFileNameAFn>("GetProcessImageFileNameA");
  if (fn == nullptr) return 0;
  return fn(ToHandle(process), buffer.data(), static_cast<DWORD>(buffer.size()));
}

platform::DWORD Win32ToolHelp::GetProcessImageFileNameW(platform::Handle process,
                                                        std::span<char16_t> buffer) {
  static const auto fn = BindPsapi<GetProcessImageFileNameWFn>("GetProcessImageFileNameW");
  if (fn == nullptr) return 0;
  return fn(ToHandle(process), reinterpret_cast<wchar_t*>(buffer.data()), static_cast<DWORD>(buffer.size()));
}

// --- ntdll ---

platform::NTSTATUS Win32Ntdll::NtQuerySystemInformation(platform::DWORD infoClass,
                                                        std::span<std::byte> buffer,
                                                        platform::DWORD& returnLength) {
  static const auto fn = native::NtdllExport<NtQuerySystemInformationFn>("NtQuerySystemInformation");
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  ULONG got = 0;
  const auto status = static_cast<platform::NTSTATUS>(
      fn(infoClass, buffer.empty() ? nullptr : buffer.data(), static_cast<ULONG>(buffer.size()), &got));
  returnLength = got;
  return status;
}

platform::NTSTATUS Win32Ntdll::NtQueryObject(platform::Handle handle, platform::DWORD infoClass,
                                             std::span<std::byte> buffer, platform::DWORD& returnLength) {
  static const auto fn = native::NtdllExport<NtQueryObjectFn>("NtQueryObject");
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
  static const auto fn = native::NtdllExport<NtQueryInformationFileFn>("NtQueryInformationFile");
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  IO_STATUS_BLOCK iosb{};
  const auto status = static_cast<platform::NTSTATUS>(
      fn(ToHandle(file), &iosb, buffer.data(), static_cast<ULONG>(buffer.size()), infoClass));
  io.status = static_cast<platform::NTSTATUS>(iosb.Status);
  io.information = iosb.Information;
  return status;
}

}  // namespace win32

// Declarations of the real backend's classes; each area implements its part in its own file.
#pragma once

#include "platform/platform.h"
#include "platform/win32/windows_shim.h"

namespace win32 {

class Win32Kernel32 final : public platform::Kernel32 {
 public:
  platform::DWORD GetLastError() override;
  void SetLastError(platform::DWORD error) override;

  bool GetVersionExA(platform::OsVersionInfo& info) override;
  std::string GetComputerNameA() override;
  std::string GetWindowsDirectoryA() override;
  std::string GetSystemDirectoryA() override;
  std::string GetTempPathA() override;
  std::string GetModuleFileNameA() override;
  std::vector<std::string> CommandLineArguments() override;
  void GetLocalTime(platform::SystemTime& time) override;
  platform::DWORD GetCurrentProcessId() override;

  std::uint32_t GetACP() override;
  std::string WideCharToMultiByte(std::uint32_t codePage, std::u16string_view text) override;
  std::u16string MultiByteToWideChar(std::uint32_t codePage, std::string_view text) override;
  int CompareStringW(std::uint32_t locale, std::uint32_t flags, std::u16string_view a,
                     std::u16string_view b) override;
  int CompareStringA(std::uint32_t locale, std::uint32_t flags, std::string_view a,
                     std::string_view b) override;
  std::u16string LCMapStringW(std::uint32_t locale, std::uint32_t flags, std::u16string_view text) override;

  platform::DWORD GetLogicalDrives() override;
  unsigned GetDriveTypeW(std::u16string_view rootPath) override;
  bool GetVolumeInformationW(std::u16string_view rootPath, VolumeInformation& info) override;
  std::optional<std::u16string> QueryDosDeviceW(std::u16string_view deviceName) override;

  // --- files ---
  bool FileTimeToLocalFileTime(std::uint64_t fileTime, std::uint64_t& localTime) override;
  platform::Handle FindFirstFileW(std::u16string_view mask, FindDataW& data) override;
  bool FindNextFileW(platform::Handle find, FindDataW& data) override;
  platform::Handle FindFirstFileA(std::string_view mask, FindDataA& data) override;
  bool FindNextFileA(platform::Handle find, FindDataA& data) override;
  bool FindClose(platform::Handle find) override;

  // --- processes ---
};

class Win32Ntdll final : public platform::Ntdll {
 public:
  Win32Ntdll();
  platform::NTSTATUS NtClose(platform::Handle handle) override;

  // --- files ---
  platform::NTSTATUS NtOpenFile(platform::Handle& handle, platform::DWORD access,
                                const platform::ObjectAttributes& attributes, platform::IoStatus& io,
                                platform::DWORD share, platform::DWORD options) override;
  platform::NTSTATUS NtQueryDirectoryFile(platform::Handle file, platform::Handle event, platform::IoStatus& io,
                                          std::span<std::byte> buffer, std::uint32_t infoClass,
                                          bool returnSingleEntry, const std::u16string_view* fileName,
                                          bool restartScan) override;

  // --- registry ---

  // --- processes and objects ---

 private:
  HMODULE ntdll_;
  // Exports are bound by name once; a missing one makes its function answer
  // STATUS_NOT_IMPLEMENTED.
  template <typename Fn>
  Fn Bind(const char* name) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(ntdll_, name)));
  }
  using NtCloseFn = LONG(NTAPI*)(HANDLE);
  NtCloseFn ntClose_;
};

class Win32Advapi32 final : public platform::Advapi32 {
 public:
  std::string GetUserNameA() override;

  // --- registry ---
  platform::DWORD RegOpenKeyExW(platform::HKEY key, std::u16string_view subKey, platform::DWORD options, platform::DWORD access,
                        platform::HKEY& result) override;
  platform::DWORD RegOpenKeyExA(platform::HKEY key, std::string_view subKey, platform::DWORD options, platform::DWORD access,
                        platform::HKEY& result) override;
  platform::DWORD RegCloseKey(platform::HKEY key) override;
  platform::DWORD RegQueryInfoKeyW(platform::HKEY key, platform::RegKeyInfo& info) override;
  platform::DWORD RegEnumKeyExW(platform::HKEY key, platform::DWORD index, std::u16string& name, platform::DWORD capacity) override;
  platform::DWORD RegEnumKeyExA(platform::HKEY key, platform::DWORD index, std::string& name, platform::DWORD capacity) override;
  platform::DWORD RegEnumValueW(platform::HKEY key, platform::DWORD index, std::u16string& name, platform::DWORD capacity,
                        platform::DWORD& type) override;
  platform::DWORD RegEnumValueA(platform::HKEY key, platform::DWORD index, std::string& name, platform::DWORD capacity,
                        platform::DWORD& type) override;
  platform::DWORD RegQueryValueExW(platform::HKEY key, std::u16string_view name, platform::DWORD& type,
                           std::span<std::byte> data, platform::DWORD& size) override;
  platform::DWORD RegQueryValueExA(platform::HKEY key, std::string_view name, platform::DWORD& type,
                           std::span<std::byte> data, platform::DWORD& size) override;

  // --- security ---
};

class Win32ToolHelp final : public platform::ToolHelp {
 public:
  // --- snapshots ---

  // --- psapi ---
};

class Win32Shell final : public platform::Shell {
 public:
  std::optional<std::string> SHGetSpecialFolderPathA(int csidl) override;
};

// Helpers shared by the backend's files.
inline const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::u16string FromWide(const wchar_t* s, std::size_t n) {
  return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}
inline HANDLE ToHandle(platform::Handle h) { return reinterpret_cast<HANDLE>(h); }
inline platform::Handle FromHandle(HANDLE h) { return reinterpret_cast<platform::Handle>(h); }

}  // namespace win32

// Declarations of the real backend's classes; each area implements its part in its own file.
#pragma once

#include "platform/platform.h"
#include "platform/win32/windows_shim.h"

namespace win32 {

class Win32Kernel32 final : public platform::Kernel32 {
 public:
  platform::DWORD GetLastError() override;
  void SetLastError(platform::DWORD error) override;
  std::string FormatMessageA(platform::DWORD messageId) override;

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
  platform::DWORD GetFileAttributesA(std::string_view path) override;

  // --- files: handles ---
  platform::Handle CreateFileW(std::u16string_view path, platform::DWORD access, platform::DWORD share,
                               platform::DWORD disposition, platform::DWORD flagsAndAttributes) override;
  platform::Handle CreateFileA(std::string_view path, platform::DWORD access, platform::DWORD share,
                               platform::DWORD disposition, platform::DWORD flagsAndAttributes) override;
  platform::DWORD GetFileSize(platform::Handle file, platform::DWORD* high) override;
  platform::Handle CreateFileMappingA(platform::Handle file, platform::DWORD protect,
                                      platform::DWORD maximumSizeHigh,
                                      platform::DWORD maximumSizeLow) override;
  const std::byte* MapViewOfFile(platform::Handle mapping, platform::DWORD access, platform::DWORD offsetHigh,
                                 platform::DWORD offsetLow, std::size_t bytes) override;
  bool UnmapViewOfFile(const std::byte* view) override;

  // --- files: reading, writing, naming ---
  bool ReadFile(platform::Handle file, std::span<std::byte> buffer, platform::DWORD& bytesRead) override;
  bool WriteFile(platform::Handle file, std::span<const std::byte> data, platform::DWORD& bytesWritten) override;
  bool SetFilePointerEx(platform::Handle file, std::int64_t distance, std::int64_t* newPosition,
                        platform::DWORD moveMethod) override;
  bool DeleteFileA(std::string_view path) override;
  bool DeleteFileW(std::u16string_view path) override;
  bool MoveFileExA(std::string_view from, std::string_view to, platform::DWORD flags) override;
  bool GetFileTime(platform::Handle file, std::uint64_t* creation, std::uint64_t* lastAccess,
                   std::uint64_t* lastWrite) override;
  bool FileTimeToDosDateTime(std::uint64_t fileTime, std::uint16_t& dosDate, std::uint16_t& dosTime) override;
  std::uint32_t GetTempFileNameA(std::string_view path, std::string_view prefix, std::uint32_t unique,
                                 std::string& tempFileName) override;

  // --- events and waiting ---
  platform::Handle CreateEventA(bool manualReset, bool initialState) override;
  bool SetEvent(platform::Handle event) override;
  bool ResetEvent(platform::Handle event) override;
  platform::DWORD WaitForSingleObject(platform::Handle object, platform::DWORD milliseconds) override;

  // --- files: streams ---
  bool BackupRead(platform::Handle file, std::span<std::byte> buffer, platform::DWORD& bytesRead, bool abort,
                  bool processSecurity, std::uintptr_t& context) override;
  bool BackupSeek(platform::Handle file, platform::DWORD lowBytesToSeek, platform::DWORD highBytesToSeek,
                  platform::DWORD& lowBytesSeeked, platform::DWORD& highBytesSeeked,
                  std::uintptr_t& context) override;

  // --- processes ---
  platform::Handle OpenProcess(platform::DWORD access, bool inherit, platform::DWORD processId) override;
  bool CloseHandle(platform::Handle handle) override;
  platform::Handle GetCurrentProcess() override;
  bool DuplicateHandle(platform::Handle sourceProcess, platform::Handle source, platform::Handle targetProcess,
                       platform::Handle& target, platform::DWORD access, bool inherit,
                       platform::DWORD options) override;
  bool IsWow64Process(platform::Handle process, bool& wow64) override;
  bool TerminateProcess(platform::Handle process, std::uint32_t exitCode) override;

  // --- process memory ---
  void GetSystemInfo(SystemInfo& info) override;
  std::size_t VirtualQueryEx(platform::Handle process, std::uint64_t address, std::span<std::byte> buffer) override;
  bool ReadProcessMemory(platform::Handle process, std::uint64_t address, std::span<std::byte> buffer,
                         std::size_t& bytesRead) override;
  void OutputDebugStringA(std::string_view text) override;
};

class Win32Ntdll final : public platform::Ntdll {
 public:
  platform::NTSTATUS NtClose(platform::Handle handle) override;

  // --- files ---
  platform::NTSTATUS NtOpenFile(platform::Handle& handle, platform::DWORD access,
                                const platform::ObjectAttributes& attributes, platform::IoStatus& io,
                                platform::DWORD share, platform::DWORD options) override;
  platform::NTSTATUS NtQueryDirectoryFile(platform::Handle file, platform::Handle event, platform::IoStatus& io,
                                          std::span<std::byte> buffer, std::uint32_t infoClass,
                                          bool returnSingleEntry, const std::u16string_view* fileName,
                                          bool restartScan) override;
  platform::NTSTATUS NtReadFile(platform::Handle file, platform::Handle event, platform::IoStatus& io,
                                std::span<std::byte> buffer, const std::int64_t* byteOffset) override;

  // --- registry ---
  platform::NTSTATUS NtOpenKey(platform::Handle& handle, platform::DWORD access,
                               const platform::ObjectAttributes& attributes) override;
  platform::NTSTATUS NtEnumerateKey(platform::Handle key, platform::DWORD index, platform::DWORD infoClass,
                                    std::span<std::byte> buffer, platform::DWORD& resultLength) override;
  platform::NTSTATUS NtEnumerateValueKey(platform::Handle key, platform::DWORD index, platform::DWORD infoClass,
                                         std::span<std::byte> buffer, platform::DWORD& resultLength) override;
  platform::NTSTATUS NtQueryValueKey(platform::Handle key, std::u16string_view valueName, platform::DWORD infoClass,
                                     std::span<std::byte> buffer, platform::DWORD& resultLength) override;
  platform::NTSTATUS NtDeleteValueKey(platform::Handle key, std::u16string_view valueName) override;
  platform::NTSTATUS NtCreateKey(platform::Handle& handle, platform::DWORD access,
                                 const platform::ObjectAttributes& attributes, platform::DWORD& disposition) override;
  platform::NTSTATUS NtSetValueKey(platform::Handle key, std::u16string_view valueName, platform::DWORD type,
                                   std::span<const std::byte> data) override;
  platform::NTSTATUS NtDeleteKey(platform::Handle key) override;
  platform::NTSTATUS RtlFormatCurrentUserKeyPath(std::u16string& path) override;

  // --- processes and objects ---
  platform::NTSTATUS NtQuerySystemInformation(platform::DWORD infoClass, std::span<std::byte> buffer,
                                              platform::DWORD& returnLength) override;
  platform::NTSTATUS NtQueryObject(platform::Handle handle, platform::DWORD infoClass, std::span<std::byte> buffer,
                                   platform::DWORD& returnLength) override;
  platform::NTSTATUS NtQueryInformationFile(platform::Handle file, platform::IoStatus& io,
                                            std::span<std::byte> buffer, platform::DWORD infoClass) override;
  platform::NTSTATUS NtQueryInformationProcess(platform::Handle process, platform::DWORD infoClass,
                                               std::span<std::byte> buffer, platform::DWORD& returnLength) override;
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
  bool GetFileSecurityA(std::string_view fileName, platform::DWORD information,
                        std::span<std::byte> descriptor, platform::DWORD& needed) override;
  platform::DWORD RegGetKeySecurity(platform::HKEY key, platform::DWORD information,
                                    std::span<std::byte> descriptor, platform::DWORD& needed) override;
  bool ConvertSecurityDescriptorToStringSecurityDescriptorA(std::span<const std::byte> descriptor,
                                                            platform::DWORD revision,
                                                            platform::DWORD information,
                                                            std::string& text) override;
  bool ConvertStringSidToSidA(std::string_view text, std::vector<std::byte>& sid) override;
  bool ConvertSidToStringSidA(std::span<const std::byte> sid, std::string& text) override;
  bool LookupAccountNameA(std::string_view systemName, std::string_view accountName, std::span<std::byte> sid,
                          platform::DWORD& sidSize, std::string& domain, platform::DWORD& domainSize,
                          platform::DWORD& use) override;
  bool LookupAccountSidA(std::string_view systemName, std::span<const std::byte> sid, std::string& name,
                         platform::DWORD& nameSize, std::string& domain, platform::DWORD& domainSize,
                         platform::DWORD& use) override;
};

class Win32ToolHelp final : public platform::ToolHelp {
 public:
  // --- snapshots ---
  platform::Handle CreateToolhelp32Snapshot(platform::DWORD flags, platform::DWORD processId) override;
  bool Process32First(platform::Handle snapshot, platform::records::ProcessEntry32& entry) override;
  bool Process32Next(platform::Handle snapshot, platform::records::ProcessEntry32& entry) override;
  bool Thread32First(platform::Handle snapshot, platform::records::ThreadEntry32& entry) override;
  bool Thread32Next(platform::Handle snapshot, platform::records::ThreadEntry32& entry) override;
  bool Module32First(platform::Handle snapshot, platform::records::ModuleEntry32& entry) override;
  bool Module32Next(platform::Handle snapshot, platform::records::ModuleEntry32& entry) override;
  bool Heap32ListFirst(platform::Handle snapshot, platform::records::HeapList32& entry) override;
  bool Heap32ListNext(platform::Handle snapshot, platform::records::HeapList32& entry) override;

  // --- psapi ---
  bool EnumProcesses(std::span<platform::DWORD> ids, platform::DWORD& bytesReturned) override;
  platform::DWORD GetModuleFileNameExA(platform::Handle process, platform::Handle module,
                                       std::span<char> buffer) override;
  platform::DWORD GetModuleFileNameExW(platform::Handle process, platform::Handle module,
                                       std::span<char16_t> buffer) override;
  bool HasGetProcessImageFileName() override;
  platform::DWORD GetProcessImageFileNameA(platform::Handle process, std::span<char> buffer) override;
  platform::DWORD GetProcessImageFileNameW(platform::Handle process, std::span<char16_t> buffer) override;
};

class Win32Shell final : public platform::Shell {
 public:
  std::optional<std::string> SHGetSpecialFolderPathA(int csidl) override;
};

// cabinet.dll's compression interface (win32_cabinet.cpp).
class Win32Cabinet final : public platform::Cabinet {
 public:
  platform::Handle FCICreate(platform::CabinetErrorRecord& errors, platform::CabinetCallbacks& callbacks,
                             const platform::CabinetParameters& parameters) override;
  bool FCIAddFile(platform::Handle context, std::string_view sourceFile, std::string_view nameInCabinet,
                  bool execute, std::uint16_t compression) override;
  bool FCIFlushCabinet(platform::Handle context, bool getNextCabinet) override;
  bool FCIFlushFolder(platform::Handle context) override;
  bool FCIDestroy(platform::Handle context) override;
};

// wininet.dll's HTTP client (win32_http.cpp).
class Win32Http final : public platform::Http {
 public:
  platform::DWORD GetLastError() override;
  platform::Handle InternetOpenA(std::string_view agent, platform::DWORD accessType,
                                 std::optional<std::string_view> proxy, std::optional<std::string_view> proxyBypass,
                                 platform::DWORD flags) override;
  platform::Handle InternetConnectA(platform::Handle session, std::string_view server, std::uint16_t port,
                                    std::optional<std::string_view> userName, std::optional<std::string_view> password,
                                    platform::DWORD service, platform::DWORD flags) override;
  platform::Handle HttpOpenRequestA(platform::Handle connection, std::string_view verb, std::string_view object,
                                    std::optional<std::string_view> version, std::optional<std::string_view> referrer,
                                    platform::DWORD flags) override;
  bool HttpSendRequestA(platform::Handle request, std::string_view headers, std::span<const std::byte> body) override;
  bool HttpQueryInfoA(platform::Handle request, platform::DWORD infoLevel, std::span<std::byte> buffer,
                      platform::DWORD& length) override;
  bool InternetReadFile(platform::Handle request, std::span<std::byte> buffer, platform::DWORD& bytesRead) override;
  bool InternetCloseHandle(platform::Handle handle) override;
};

// Helpers shared by the backend's files.
inline const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::u16string FromWide(const wchar_t* s, std::size_t n) {
  return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}
inline HANDLE ToHandle(platform::Handle h) { return reinterpret_cast<HANDLE>(h); }
inline platform::Handle FromHandle(HANDLE h) { return reinterpret_cast<platform::Handle>(h); }

}  // namespace win32

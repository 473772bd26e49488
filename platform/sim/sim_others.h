// The simulated ntdll, advapi32, ToolHelp and shell32.
#pragma once

#include "platform/advapi32.h"
#include "platform/ntdll.h"
#include "platform/shell.h"
#include "platform/sim/machine.h"
#include "platform/toolhelp.h"

namespace sim {

class SimNtdll final : public platform::Ntdll {
 public:
  explicit SimNtdll(Machine& m) : m_(m) {}
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
  // Class 22 (FILE_STREAM_INFORMATION) of a file opened with CreateFileW; the ntdll query
  // hands that class over to it.
  platform::NTSTATUS QueryStreamInformation(platform::Handle file, platform::IoStatus& io,
                                            std::span<std::byte> buffer);

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

 private:
  Machine& m_;
};

class SimAdvapi32 final : public platform::Advapi32 {
 public:
  explicit SimAdvapi32(Machine& m) : m_(m) {}
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

 private:
  Machine& m_;
};

class SimToolHelp final : public platform::ToolHelp {
 public:
  explicit SimToolHelp(Machine& m) : m_(m) {}

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

 private:
  Machine& m_;
};

class SimShell final : public platform::Shell {
 public:
  explicit SimShell(Machine& m) : m_(m) {}
  std::optional<std::string> SHGetSpecialFolderPathA(int csidl) override;

 private:
  Machine& m_;
};

}  // namespace sim

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

  // --- registry ---

  // --- processes and objects ---

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

 private:
  Machine& m_;
};

class SimToolHelp final : public platform::ToolHelp {
 public:
  explicit SimToolHelp(Machine& m) : m_(m) {}

  // --- snapshots ---

  // --- psapi ---

 private:
  [[maybe_unused]] Machine& m_;
};

class SimShell final : public platform::Shell {
 public:
  explicit SimShell(Machine& m) : m_(m) {}
  std::optional<std::string> SHGetSpecialFolderPathA(int csidl) override;

 private:
  Machine& m_;
};

}  // namespace sim

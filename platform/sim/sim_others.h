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

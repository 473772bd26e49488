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

  // --- registry ---

  // --- processes and objects ---
  platform::NTSTATUS NtQuerySystemInformation(platform::DWORD infoClass, std::span<std::byte> buffer,
                                              platform::DWORD& returnLength) override;
  platform::NTSTATUS NtQueryObject(platform::Handle handle, platform::DWORD infoClass, std::span<std::byte> buffer,
                                   platform::DWORD& returnLength) override;
  platform::NTSTATUS NtQueryInformationFile(platform::Handle file, platform::IoStatus& io,
                                            std::span<std::byte> buffer, platform::DWORD infoClass) override;

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

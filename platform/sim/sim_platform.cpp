// Wires the simulated DLLs to one machine.
#include "platform/sim/sim_platform.h"

#include "platform/sim/sim_cabinet.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_http.h"
#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_others.h"

namespace sim {

SimPlatform::SimPlatform(std::unique_ptr<Machine> machine, platform::Cabinet* cabinet, platform::Http* http)
    : machine_(std::move(machine)),
      kernel32_(std::make_unique<SimKernel32>(*machine_)),
      ntdll_(std::make_unique<SimNtdll>(*machine_)),
      advapi32_(std::make_unique<SimAdvapi32>(*machine_)),
      toolhelp_(std::make_unique<SimToolHelp>(*machine_)),
      shell_(std::make_unique<SimShell>(*machine_)),
      ownCabinet_(cabinet != nullptr ? nullptr : MakeHostCabinet(*machine_)),
      ownHttp_(http != nullptr ? nullptr : MakeHostHttp()),
      platform_(std::make_unique<platform::Platform>(
          platform::Platform{*kernel32_, *ntdll_, *advapi32_, *toolhelp_, *shell_,
                             cabinet != nullptr ? *cabinet : *ownCabinet_, http != nullptr ? *http : *ownHttp_})) {}

SimPlatform::~SimPlatform() = default;

platform::NTSTATUS SimNtdll::NtClose(platform::Handle handle) {
  return CloseSimHandle(m_, handle) ? platform::STATUS_SUCCESS : platform::STATUS_INVALID_HANDLE;
}

std::string SimAdvapi32::GetUserNameA() { return ToCodePage(m_.system.codePage, m_.system.userName); }

std::optional<std::string> SimShell::SHGetSpecialFolderPathA(int csidl) {
  std::lock_guard lock(m_.mutex);
  auto it = m_.system.shellFolders.find(csidl);
  if (it == m_.system.shellFolders.end()) return std::nullopt;
  return ToCodePage(m_.system.codePage, it->second);
}

}  // namespace sim

// The simulated machine seen through the platform interfaces, with the rootkit's Win32 filter.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace sim {

class SimKernel32;
class SimNtdll;
class SimAdvapi32;
class SimToolHelp;
class SimShell;

// Owns the machine and one implementation of every interface over it. The cabinet compressor
// and the HTTP client are the host's (sim_cabinet.h, sim_http.h) unless `cabinet` or `http`
// gives another, which must outlive this object.
class SimPlatform {
 public:
  explicit SimPlatform(std::unique_ptr<Machine> machine, platform::Cabinet* cabinet = nullptr,
                       platform::Http* http = nullptr);
  ~SimPlatform();
  SimPlatform(const SimPlatform&) = delete;
  SimPlatform& operator=(const SimPlatform&) = delete;

  platform::Platform& platform() { return *platform_; }
  Machine& machine() { return *machine_; }

 private:
  std::unique_ptr<Machine> machine_;
  std::unique_ptr<SimKernel32> kernel32_;
  std::unique_ptr<SimNtdll> ntdll_;
  std::unique_ptr<SimAdvapi32> advapi32_;
  std::unique_ptr<SimToolHelp> toolhelp_;
  std::unique_ptr<SimShell> shell_;
  std::unique_ptr<platform::Cabinet> ownCabinet_;
  std::unique_ptr<platform::Http> ownHttp_;
  std::unique_ptr<platform::Platform> platform_;
};

// For tests: builds a SimPlatform and installs it for the life of this object.
class ScopedSimMachine {
 public:
  explicit ScopedSimMachine(std::unique_ptr<Machine> machine, platform::Cabinet* cabinet = nullptr,
                            platform::Http* http = nullptr)
      : sim_(std::move(machine), cabinet, http), scope_(sim_.platform()) {}
  Machine& machine() { return sim_.machine(); }
  platform::Platform& platform() { return sim_.platform(); }

 private:
  SimPlatform sim_;
  platform::ScopedPlatform scope_;
};

// 8-bit code page conversion used by the simulation (1252 and UTF-8; others as 1252).
std::string ToCodePage(std::uint32_t codePage, std::u16string_view text);
std::u16string FromCodePage(std::uint32_t codePage, std::string_view text);

}  // namespace sim

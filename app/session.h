// Chooses and installs the machine a run scans: a system image, the demo image or the live system.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace sim {
class SimPlatform;
}

namespace app {

// A system image that cannot be read or is malformed; the message names the file and the cause.
class MachineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The demo machine built into the programs.
extern const std::string_view kDemoImageJson;

class Session {
 public:
  // With an image path: that image. Without: the live system on Windows, else the built-in demo
  // image (said on `err`). Throws MachineError for an unreadable or malformed image.
  static std::unique_ptr<Session> Open(const std::optional<std::string>& imagePath, std::ostream& err);
  ~Session();

  platform::Platform& platform() { return platform_; }
  // True for a system image (or the demo machine): the live system's tools do not show it.
  bool Simulated() const { return sim_ != nullptr; }

 private:
  Session(std::unique_ptr<sim::SimPlatform> sim, platform::Platform& p);
  // A simulated machine from `load`, whose ImageError becomes a MachineError.
  template <typename Load>
  static std::unique_ptr<Session> Simulated(Load load);
  std::unique_ptr<sim::SimPlatform> sim_;
  platform::Platform& platform_;
  platform::ScopedPlatform scope_;
};

// The cabinet compressor a simulated machine is given: the system's on Windows; null elsewhere,
// where the machine brings its own.
platform::Cabinet* HostCabinet();
// The HTTP client a simulated machine is given: the system's on Windows; null elsewhere, where
// the machine brings its own.
platform::Http* HostHttp();

// The start-up steps every program runs once its platform is installed: version
// classification, the areas' start-up tables, and the indicator registry.
void RunStartup();

}  // namespace app

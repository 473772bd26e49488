// Chooses and installs the machine a run scans: a system image, the demo image or the live system.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/sim/sim_platform.h"

namespace app {

// The demo machine built into the programs.
extern const std::string_view kDemoImageJson;

class Session {
 public:
  // With an image path: that image. Without: the live system on Windows, else the built-in demo
  // image (said on `err`). Throws sim::ImageError for an unreadable or malformed image.
  static std::unique_ptr<Session> Open(const std::optional<std::string>& imagePath, std::ostream& err);
  ~Session();

  platform::Platform& platform() { return platform_; }
  // The simulated machine, when one is scanned.
  sim::Machine* machine() { return sim_ ? &sim_->machine() : nullptr; }

 private:
  Session(std::unique_ptr<sim::SimPlatform> sim, platform::Platform& p);
  std::unique_ptr<sim::SimPlatform> sim_;
  platform::Platform& platform_;
  platform::ScopedPlatform scope_;
};

// The start-up steps every program runs once its platform is installed: version
// classification, the areas' start-up tables, and the indicator registry.
void RunStartup();

}  // namespace app

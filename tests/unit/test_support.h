// Shared test helpers: a fresh simulated machine installed for one test.
#pragma once

#include <memory>

#include "app/session.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"

namespace testing_support {

// Installs the machine built by `b` and runs the start-up steps on it. Its cabinets are written
// by the host's compressor, as the program's own session does (cabinet.dll on Windows).
class SimMachineFixture {
 public:
  explicit SimMachineFixture(sim::MachineBuilder& b) : scoped_(b.Build(), app::HostCabinet()) { app::RunStartup(); }
  sim::Machine& machine() { return scoped_.machine(); }

 private:
  sim::ScopedSimMachine scoped_;
};

}  // namespace testing_support

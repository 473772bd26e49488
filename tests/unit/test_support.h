// Shared test helpers: a fresh simulated machine installed for one test.
#pragma once

#include <memory>

#include "app/session.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"

namespace testing_support {

// Installs the machine built by `b` and runs the start-up steps on it.
class SimMachineFixture {
 public:
  explicit SimMachineFixture(sim::MachineBuilder& b) : scoped_(b.Build()) { app::RunStartup(); }
  sim::Machine& machine() { return scoped_.machine(); }

 private:
  sim::ScopedSimMachine scoped_;
};

}  // namespace testing_support

// A simulated machine installed as the platform, its ntdll wrapped in the fuzzers' hostile one.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"
#include "tests/fuzz/hostile_ntdll.h"

namespace fuzz {

// Built once per fuzzing process: every input reuses the machine and only replaces the answers.
class SimWithHostileNtdll {
  // First, so the machine exists before the wrapper and the platform that point into it.
  sim::SimPlatform sim_;

 public:
  explicit SimWithHostileNtdll(std::unique_ptr<sim::Machine> machine)
      : sim_(std::move(machine)),
        ntdll(sim_.platform().ntdll),
        platform_{sim_.platform().kernel32, ntdll, sim_.platform().advapi32, sim_.platform().toolhelp,
                  sim_.platform().shell},
        scope_(platform_) {}

  HostileNtdll ntdll;

 private:
  platform::Platform platform_;
  platform::ScopedPlatform scope_;
};

// The one machine of a fuzzing process, made on first use from what `setUp` adds to a fresh
// builder; every input reuses it and only replaces the answers. Each call site's lambda is a type
// of its own, so each target keeps its own machine.
template <typename SetUp>
SimWithHostileNtdll& SharedMachine(SetUp setUp) {
  static auto* sim = [&] {
    sim::MachineBuilder b;
    setUp(b);
    return new SimWithHostileNtdll(b.Build());
  }();
  return *sim;
}

}  // namespace fuzz

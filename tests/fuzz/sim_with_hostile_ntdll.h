// A simulated machine installed as the platform, its ntdll wrapped in the fuzzers' hostile one.
#pragma once

#include <memory>

#include "platform/sim/builder.h"
#include "tests/fuzz/hostile_ntdll.h"
#include "tests/unit/sim_with_ntdll.h"

namespace fuzz {

using SimWithHostileNtdll = testing_support::SimWithNtdll<HostileNtdll>;

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

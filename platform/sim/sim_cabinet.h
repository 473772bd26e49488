// The cabinet compressor a simulated machine uses: the host's own, fed through the callbacks.
#pragma once

#include <memory>

#include "platform/cabinet.h"
#include "platform/sim/machine.h"

namespace sim {

// Names handed to the compressor are 8-bit text in the machine's code page. On a host without a
// compressor of its own (a Windows host, whose real one the session hands in instead) every
// FCICreate fails as on a system without the library.
std::unique_ptr<platform::Cabinet> MakeHostCabinet(Machine& machine);

}  // namespace sim

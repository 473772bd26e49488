// The simulated machine's security descriptors and SIDs, shared by its file and registry functions.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/types.h"

namespace sim {

// The descriptor the machine hands out for an object whose descriptor is `sddl`, holding the
// parts `information` asks for. See sim_security.cpp for its layout.
std::vector<std::byte> MakeDescriptor(std::string_view sddl, platform::DWORD information);
// The SDDL parts of a descriptor made by MakeDescriptor; nothing for any other bytes.
std::optional<std::string> DescriptorText(std::span<const std::byte> descriptor);
// The parts of an SDDL text `information` asks for ("O:", "G:", "D:", "S:", in that order).
std::string SelectSddlParts(std::string_view sddl, platform::DWORD information);

// "S-1-5-32-544" (or a two-letter alias such as "BA") as a binary SID; nothing when malformed.
std::optional<std::vector<std::byte>> SidFromText(const Machine& m, std::string_view text);
// A binary SID as "S-1-..."; nothing when it is no valid SID.
std::optional<std::string> SidToText(std::span<const std::byte> sid);

}  // namespace sim

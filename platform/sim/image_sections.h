// The registry and process sections of a system image, loaded through the builder.
#pragma once

#include <set>
#include <string>

#include "platform/sim/builder.h"
#include "platform/sim/image_values.h"

namespace sim::image {

// One `registry[]` entry; `listed` holds the upper-cased native paths of the keys listed so far.
void LoadKey(MachineBuilder& b, const Json& v, const std::string& at, std::set<std::u16string>& listed);
// One `processes[]` entry.
void LoadProcess(MachineBuilder& b, const Json& v, const std::string& at);

}  // namespace sim::image

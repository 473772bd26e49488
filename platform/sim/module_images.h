// The simulated loader: lays each module's file out in its process's memory, relocated for the
// module's base, with its imports bound and the image's patches written over it.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/sim/machine.h"

namespace sim {

// A module that cannot be mapped as asked; `module` is its index in the process's list.
class ModuleImageError : public std::runtime_error {
 public:
  ModuleImageError(std::size_t module, const std::string& problem)
      : std::runtime_error(problem), module_(module) {}
  std::size_t module() const { return module_; }

 private:
  std::size_t module_;
};

// Maps every module of `process` whose file is an executable image and whose base holds no
// memory region yet; the region's size becomes the module's size when it has none. A module
// whose file is missing or no image stays unmapped, unless it has patches: then, and for a
// patch that does not fit, ModuleImageError.
void MapModuleImages(Machine& machine, Process& process);

}  // namespace sim

// Loads a system image (JSON) into a simulated machine.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/sim/machine.h"

namespace sim {

// One line naming the file, the JSON path and the problem.
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::unique_ptr<Machine> LoadImage(std::string_view json, const std::string& fileName);
std::unique_ptr<Machine> LoadImageFile(const std::string& path);

}  // namespace sim

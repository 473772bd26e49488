// Loads a simulated machine from a system image (JSON, format version 1).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/sim/machine.h"

namespace sim {

// A malformed or unreadable image. what() is one line naming the file, the JSON path and the
// problem: "demo.json: files[3].size: expected a number, got a string".
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The largest image file LoadImageFile reads (the largest real machine's image is far smaller).
inline constexpr std::uintmax_t kMaxImageBytes = std::uintmax_t{1} << 30;

// `fileName` only names the image in messages.
std::unique_ptr<Machine> LoadImage(std::string_view json, const std::string& fileName);
std::unique_ptr<Machine> LoadImageFile(const std::string& path);

}  // namespace sim

// The shell32 surface: special folders by CSIDL number.
#pragma once

#include <optional>
#include <string>

namespace platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // SHGetSpecialFolderPathA without creating the folder; nothing when the CSIDL is unknown.
  virtual std::optional<std::string> SHGetSpecialFolderPathA(int csidl) = 0;
};

}  // namespace platform

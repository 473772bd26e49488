// The advapi32 surface: account facts, the Win32 registry and security descriptors.
#pragma once

#include <string>

#include "platform/types.h"

namespace platform {

class Advapi32 {
 public:
  virtual ~Advapi32() = default;

  virtual std::string GetUserNameA() = 0;

  // --- registry ---

  // --- security ---
};

}  // namespace platform

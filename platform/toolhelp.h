// The ToolHelp and PSAPI surface: process, thread, module and heap snapshots.
#pragma once

#include "platform/types.h"

namespace platform {

class ToolHelp {
 public:
  virtual ~ToolHelp() = default;

  // --- snapshots ---

  // --- psapi ---
};

}  // namespace platform

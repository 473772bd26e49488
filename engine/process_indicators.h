// The two invisible-process indicators: owners of handles and owners of threads missing from the process
// list.
#pragma once

#include <string>
#include <string_view>

#include "engine/indicator.h"

namespace engine {

// Reports every process ID that owns a handle of the system handle table but is missing from
// the process list.
class TRootKitIndicatorHandleProcesses : public TRootKitIndicator {
 public:
  using TRootKitIndicator::TRootKitIndicator;
  std::string ResultText() const override;
  void RunTest() override;
};

// Reports every process ID that owns a thread of a thread snapshot but is missing from the
// process list, with the process's file name where one can be read.
class TRootKitIndicatorThreadProcesses : public TRootKitIndicator {
 public:
  using TRootKitIndicator::TRootKitIndicator;
  std::string ResultText() const override;
  void RunTest() override;
};

// Start-up: registers rows 5 and 6 of the Quick Scan.
void RegisterProcessIndicators();

}  // namespace engine

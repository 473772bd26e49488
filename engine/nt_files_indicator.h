// The hidden-files indicator: one folder listed by Win32 and natively, names only natively seen.
#pragma once

#include <cstdint>
#include <string>

#include "engine/indicator.h"

namespace engine {

class TRootKitIndicatorNTFiles : public TRootKitIndicator {
 public:
  using TRootKitIndicator::TRootKitIndicator;

  std::string ResultText() const override;
  void RunTest() override;

  std::string FilePath() const { return Param("filepath"); }

  std::int32_t Win32Count = 0;
  std::int32_t NativeCount = 0;
};

}  // namespace engine

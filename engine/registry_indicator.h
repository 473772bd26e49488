// The hidden-registry indicator: one key listed by Win32 and natively, names only natively seen.
#pragma once

#include <string>

#include "engine/indicator.h"
#include "platform/types.h"

namespace engine {

class TRootKitIndicatorRegistry : public TRootKitIndicator {
 public:
  using TRootKitIndicator::TRootKitIndicator;

  std::string ResultText() const override;
  void RunTest() override;

  // The key path exactly as configured, leading and trailing "\" included.
  std::string KeyPath() const { return Param("keypath"); }
  // The "rootkey" parameter through the hive-name table (exact names; anything else gives 0).
  platform::HKEY RootKeyValue() const;
};

}  // namespace engine

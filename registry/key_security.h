// The security descriptor of a registry key as SDDL text, read through the Win32 registry.
#pragma once

#include <string>
#include <string_view>

#include "platform/types.h"

namespace registry {

// Opens `keyPath` under `root` read-only (the 64-bit view when `viewFlag` is 2, else the
// program's own), reads the descriptor with RegGetKeySecurity and converts it. Raises
// base::ESecurityError naming the step that failed.
std::string jtGetRegistrySecurityString(platform::HKEY root, std::string_view keyPath,
                                        platform::DWORD information, int viewFlag);

}  // namespace registry

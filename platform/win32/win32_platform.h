// The real Windows API surface: the DLLs of the running system behind the platform interfaces.
#pragma once

#include "platform/platform.h"

namespace win32 {

// The platform of the running Windows system (built once, on first call).
platform::Platform& RealPlatform();

}  // namespace win32

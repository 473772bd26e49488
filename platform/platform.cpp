// Holds the installed platform.
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {
Platform* g_current = nullptr;
}

Platform& Current() {
  if (g_current == nullptr) {
    std::fputs("internal error: no platform installed\n", stderr);
    std::abort();
  }
  return *g_current;
}

ScopedPlatform::ScopedPlatform(Platform& p) : previous_(g_current) { g_current = &p; }
ScopedPlatform::~ScopedPlatform() { g_current = previous_; }

}  // namespace platform

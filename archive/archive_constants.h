// Sizes the archive's native copy works with.
#pragma once

#include <cstddef>

#include "platform/types.h"

namespace archive {

// The native copy reads this much at a time.
inline constexpr std::size_t kNativeCopyChunk = 4096;

}  // namespace archive

// Reads tweak values below HKEY_LOCAL_MACHINE\SOFTWARE\Brightmoor Limited\Tweaks.
#include "results/tweaks.h"

namespace results {

bool ReadTweak(std::string_view, std::uint8_t&) { return false; }

}  // namespace results

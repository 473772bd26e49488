// The program's tweak settings: integer values in the registry that change a default.
#pragma once

#include <cstdint>
#include <string_view>

namespace results {

// The low byte of the REG_DWORD tweak `name`, from the program's own subkey of the tweaks key
// or else from the tweaks key itself. False (and `value` untouched) when neither has it.
bool ReadTweak(std::string_view name, std::uint8_t& value);

}  // namespace results

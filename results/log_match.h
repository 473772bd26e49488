// How log items match their texts against a pattern (the shared match rules and their modes).
#pragma once

#include <string_view>

namespace results {

bool LogMatchText(std::string_view text, std::string_view pattern, int mode, bool ignoreCase);

}  // namespace results

// Reading and writing comma text with strict delimiting (parameter strings, result texts).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace base {

// Cuts `text` into items at every ","; an item that starts with a double quote runs to the
// closing quote ("" inside stands for one quote) and whatever follows it up to the next comma
// is dropped. Spaces are ordinary characters. A trailing comma gives a last, empty item; the
// empty string gives no items.
std::vector<std::string> ParseCommaText(std::string_view text);

// Joins items with ","; an item holding a comma or a double quote is quoted, inner quotes
// doubled.
std::string CommaText(const std::vector<std::string>& items);

}  // namespace base

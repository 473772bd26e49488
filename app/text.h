// Text conversions for output: system code page and UTF-16 to UTF-8, zero characters made visible.
#pragma once

#include <string>
#include <string_view>

namespace app {

// UTF-16 (counted) to UTF-8; zero characters stay zero characters.
std::string Utf8(std::u16string_view text);
// An 8-bit text in the system code page to UTF-8, through the platform's conversion.
std::string Utf8FromCodePage(std::string_view text);
// For terminals: every zero character becomes "<NUL>" so names that hold one stay readable
// and cannot cut the line short.
std::string ShowZeros(std::string_view utf8);

}  // namespace app

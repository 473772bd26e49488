// UTF-8 <-> UTF-16 for image texts and output: counted, so zero characters survive.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace base {

// Invalid UTF-8 (a bad or overlong sequence, a cut-off character, a value past U+10FFFF) gives
// nothing.
std::optional<std::u16string> Utf8ToUtf16(std::string_view s);
// A lone surrogate becomes U+FFFD, since UTF-8 cannot hold it.
std::string Utf16ToUtf8(std::u16string_view s);

}  // namespace base

// UTF-8 and UTF-16 conversions for texts that are not in the system code page.
#include "base/utf.h"

#include <cstdint>

namespace base {

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate cannot be written in UTF-8
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::uint32_t c;
    std::size_t len;
    if (b < 0x80) {
      c = b;
      len = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07;
      len = 4;
    } else
      return std::nullopt;
    if (i + len > s.size()) return std::nullopt;
    for (std::size_t k = 1; k < len; ++k) {
      const auto cb = static_cast<unsigned char>(s[i + k]);
      if ((cb & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (cb & 0x3F);
    }
    if (c > 0x10FFFF || (len == 2 && c < 0x80) || (len == 3 && c < 0x800) || (len == 4 && c < 0x10000))
      return std::nullopt;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += len;
  }
  return out;
}

}  // namespace base

// Reading the records the native calls write, for the conformance tests' own checks.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <span>
#include <string>

namespace conformance {

// The value of type T at `offset`; a read past the end is a test failure and reads zero.
template <typename T>
T Field(std::span<const std::byte> buffer, std::size_t offset) {
  T v{};
  if (offset > buffer.size() || buffer.size() - offset < sizeof v) {
    ADD_FAILURE() << "a field at " << offset << " lies beyond the " << buffer.size() << " bytes written";
    return v;
  }
  std::memcpy(&v, buffer.data() + offset, sizeof v);
  return v;
}

// `bytes` bytes of UTF-16 at `offset`, cut to what the buffer holds.
inline std::u16string Text(std::span<const std::byte> buffer, std::size_t offset, std::size_t bytes) {
  if (offset > buffer.size()) return {};
  bytes = std::min(bytes, buffer.size() - offset);
  std::u16string s(bytes / 2, u'\0');
  std::memcpy(s.data(), buffer.data() + offset, s.size() * 2);
  return s;
}

// The UTF-16 code units of a text, for failure messages (names may hold zero characters).
inline std::string Units(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    if (c >= 0x20 && c < 0x7F)
      out += static_cast<char>(c);
    else
      out += "\\u{" + std::to_string(static_cast<unsigned>(c)) + "}";
  }
  return out;
}

inline std::string Units(const std::string& s) { return s; }

}  // namespace conformance

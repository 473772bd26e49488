// Reading the records the native calls write, for the conformance tests' own checks.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <span>
#include <string>

#include "platform/record_io.h"

namespace conformance {

// The value of type T at `offset`; a read past the end is a test failure and reads zero.
template <typename T>
T Field(std::span<const std::byte> buffer, std::size_t offset) {
  if (const auto v = platform::records::RecordReader(buffer).Get<T>(offset)) return *v;
  ADD_FAILURE() << "a field at " << offset << " lies beyond the " << buffer.size() << " bytes written";
  return T{};
}

// `bytes` bytes of UTF-16 at `offset`, cut to what the buffer holds.
inline std::u16string Text(std::span<const std::byte> buffer, std::size_t offset, std::size_t bytes) {
  return platform::records::RecordReader(buffer).TextWithin(offset, bytes);
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

// MD5 (RFC 1321): a context to feed bytes into, and the digest's hexadecimal form.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace base {

using TMD5Digest = std::array<std::uint8_t, 16>;

// The digest of empty input, which stands for an empty or unreadable file.
inline constexpr const char* kEmptyMD5 = "D41D8CD98F00B204E9800998ECF8427E";

// Begin (construction or Begin), add bytes in any pieces, finish. Finishing clears the context.
class TMD5Context {
 public:
  TMD5Context() { Begin(); }
  void Begin();
  void Add(std::span<const std::byte> data);
  void Add(std::string_view text) { Add(std::as_bytes(std::span(text.data(), text.size()))); }
  TMD5Digest Finish();

 private:
  void Transform(const std::uint8_t* block);
  std::array<std::uint32_t, 4> state_{};
  std::uint64_t bits_ = 0;
  std::array<std::uint8_t, 64> buffer_{};
};

TMD5Digest MD5OfText(std::string_view text);
// 32 lower-case hexadecimal digits.
std::string DigestToHex(const TMD5Digest& digest);

}  // namespace base

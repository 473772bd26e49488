// Bounds-checked reads and writes of the native records of platform/records.h in byte buffers.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/records.h"

namespace platform::records {

static_assert(std::endian::native == std::endian::little, "the records are laid out as Windows keeps them");

// Reads a buffer that the system, or a rootkit, filled. Every read says where it reads; one that
// does not lie wholly inside the buffer gives nothing instead of reading past its end. Values are
// copied out, so the buffer need not be aligned.
class RecordReader {
 public:
  explicit RecordReader(std::span<const std::byte> bytes) : bytes_(bytes) {}

  std::size_t size() const { return bytes_.size(); }
  // Whether `count` bytes from `at` lie inside the buffer, for any two values.
  bool Holds(std::size_t at, std::size_t count) const {
    return at <= bytes_.size() && count <= bytes_.size() - at;
  }

  // A field or a whole fixed-size record at `at`.
  template <typename T>
  std::optional<T> Get(std::size_t at) const {
    static_assert(std::is_trivially_copyable_v<T>);
    if (!Holds(at, sizeof(T))) return std::nullopt;
    T v;
    std::memcpy(&v, bytes_.data() + at, sizeof v);
    return v;
  }

  // The fixed part of record R at `at` (kHeadBytes<R>); the members after it read as zero.
  template <typename R>
  std::optional<R> Head(std::size_t at) const {
    static_assert(std::is_trivially_copyable_v<R>);
    if (!Holds(at, kHeadBytes<R>)) return std::nullopt;
    R r{};
    std::memcpy(&r, bytes_.data() + at, kHeadBytes<R>);
    return r;
  }

  std::optional<std::span<const std::byte>> Bytes(std::size_t at, std::size_t count) const {
    if (!Holds(at, count)) return std::nullopt;
    return bytes_.subspan(at, count);
  }

  // The UTF-16 text in `byteCount` bytes at `at`, at its counted length (zero characters are
  // kept; an odd last byte is dropped). Nothing when the bytes do not all lie inside.
  std::optional<std::u16string> Text(std::size_t at, std::size_t byteCount) const {
    if (!Holds(at, byteCount)) return std::nullopt;
    return Chars(at, byteCount / 2);
  }

  // As much of that text as lies inside the buffer, and at most `maxChars` characters.
  std::u16string TextWithin(std::size_t at, std::size_t byteCount, std::size_t maxChars = SIZE_MAX) const {
    const std::size_t avail = at <= bytes_.size() ? (bytes_.size() - at) / 2 : 0;
    std::size_t chars = byteCount / 2;
    if (chars > avail) chars = avail;
    if (chars > maxChars) chars = maxChars;
    return Chars(at, chars);
  }

 private:
  std::u16string Chars(std::size_t at, std::size_t chars) const {
    std::u16string s(chars, u'\0');
    if (chars != 0) std::memcpy(s.data(), bytes_.data() + at, chars * 2);
    return s;
  }

  std::span<const std::byte> bytes_;
};

// Writes records into a caller's buffer: a value that does not fit is not written at all, text
// and bytes are cut to what fits.
class RecordWriter {
 public:
  explicit RecordWriter(std::span<std::byte> bytes) : bytes_(bytes) {}

  std::size_t size() const { return bytes_.size(); }
  bool Holds(std::size_t at, std::size_t count) const {
    return at <= bytes_.size() && count <= bytes_.size() - at;
  }

  // A field or a whole fixed-size record at `at`; false when it does not fit.
  template <typename T>
  bool Put(std::size_t at, const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (!Holds(at, sizeof(T))) return false;
    std::memcpy(bytes_.data() + at, &v, sizeof v);
    return true;
  }

  // The fixed part of record R (kHeadBytes<R>) at `at`; false when it does not fit.
  template <typename R>
  bool PutHead(std::size_t at, const R& head) {
    static_assert(std::is_trivially_copyable_v<R>);
    if (!Holds(at, kHeadBytes<R>)) return false;
    std::memcpy(bytes_.data() + at, &head, kHeadBytes<R>);
    return true;
  }

  // Copies as many of `data`'s bytes as fit from `at`; answers how many.
  std::size_t PutBytes(std::size_t at, std::span<const std::byte> data) {
    if (at > bytes_.size()) return 0;
    const std::size_t n = data.size() < bytes_.size() - at ? data.size() : bytes_.size() - at;
    if (n != 0) std::memcpy(bytes_.data() + at, data.data(), n);
    return n;
  }
  // The UTF-16 text without terminator, cut to what fits (possibly in the middle of a
  // character, as the system cuts a name); answers the bytes written.
  std::size_t PutText(std::size_t at, std::u16string_view text) {
    return PutBytes(at, std::as_bytes(std::span(text.data(), text.size())));
  }
  // Zeros `count` bytes from `at`, cut to the buffer.
  void Clear(std::size_t at, std::size_t count) {
    if (at > bytes_.size()) return;
    const std::size_t n = count < bytes_.size() - at ? count : bytes_.size() - at;
    if (n != 0) std::memset(bytes_.data() + at, 0, n);
  }

 private:
  std::span<std::byte> bytes_;
};

// A record with every byte zero, padding included, to fill in and write: what reaches the
// buffer then holds no stray bytes between the fields.
template <typename R>
R Zeroed() {
  static_assert(std::is_trivially_copyable_v<R>);
  R r;
  std::memset(&r, 0, sizeof r);
  return r;
}

// Appends the fixed part of `head` and then `name` to `out`; answers where the record starts.
template <typename R>
std::size_t AppendRecord(std::vector<std::byte>& out, const R& head, std::u16string_view name = {}) {
  const std::size_t at = out.size();
  out.resize(at + kHeadBytes<R> + name.size() * 2);
  RecordWriter w(out);
  w.PutHead(at, head);
  w.PutText(at + kHeadBytes<R>, name);
  return at;
}

// Follows a chain of records linked by their NextEntryOffset. `visit(at)` reads the record at
// `at` and answers its next-entry offset, or nothing to end the walk there. An offset of 0 ends
// the chain; one that does not stay inside the buffer ends it too, so the walk only moves
// forward and never leaves the buffer.
template <typename Visit>
void WalkChain(std::size_t bufferSize, Visit visit) {
  std::size_t at = 0;
  for (;;) {
    const std::optional<std::uint32_t> next = visit(at);
    if (!next || *next == 0 || *next > bufferSize - at) return;
    at += *next;
  }
}

}  // namespace platform::records

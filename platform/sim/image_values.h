// Checked reading of system-image JSON: every problem names the JSON path it was found at.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine.h"

namespace sim::image {

using Json = nlohmann::json;

// A problem at one JSON path ("files[3].size"; empty for the document as a whole). The loader
// puts the file name in front.
class PathError : public std::runtime_error {
 public:
  PathError(std::string path, const std::string& problem)
      : std::runtime_error(problem), path_(std::move(path)) {}
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Parses the text. Syntax errors come back as "line L, column C: ..."; a key given twice in one
// object is an error at its path (notes excepted), because the library would keep the last one.
Json Parse(std::string_view text);

// Keys beginning with "x-" are notes: allowed anywhere and ignored.
bool IsNote(std::string_view key);

std::string MemberPath(const std::string& path, std::string_view key);
std::string ElementPath(const std::string& path, std::size_t index);

// A name for a message: UTF-8, with zero characters written as the image writes them ("\u0000").
std::string Shown(std::u16string_view s);
// "0x1F" for messages.
std::string Hex(std::uint64_t v);

// "a string", "an object", ... for messages.
std::string Describe(const Json& v);

const Json& ExpectArray(const Json& v, const std::string& path);
std::u16string Text(const Json& v, const std::string& path);
std::string Utf8Text(const Json& v, const std::string& path);
bool Flag(const Json& v, const std::string& path);
// A JSON number or a "0x..." string, checked against the range.
std::uint64_t Unsigned(const Json& v, const std::string& path, std::uint64_t max);
std::int64_t Signed(const Json& v, const std::string& path, std::int64_t min, std::int64_t max);
std::string Base64(const Json& v, const std::string& path);
// Hex pairs, optionally separated by blanks or commas: "01 02 ff", "01,02,ff", "0102ff".
std::vector<std::uint8_t> HexBytes(const Json& v, const std::string& path);
FileTime Time(const Json& v, const std::string& path);
// The `win32Name` of an entry named `name`, nothing when it has none; it may differ from the
// name in letter case only, which is all a Win32 view can change without hiding the entry.
std::optional<std::u16string> Win32Name(const Json* v, const std::string& path, std::u16string_view name);

// The members of one object, checked against the keys it may have.
class Fields {
 public:
  Fields(const Json& v, std::string path, std::initializer_list<std::string_view> known);

  const std::string& path() const { return path_; }
  std::string PathOf(std::string_view key) const { return MemberPath(path_, key); }
  const Json* Find(std::string_view key) const;
  const Json& Required(std::string_view key) const;

  std::u16string Text(std::string_view key, std::u16string fallback) const;
  bool Flag(std::string_view key, bool fallback) const;
  std::uint32_t U32(std::string_view key, std::uint32_t fallback) const;
  std::uint64_t U64(std::string_view key, std::uint64_t fallback) const;
  std::int32_t I32(std::string_view key, std::int32_t fallback) const;

 private:
  const Json& v_;
  std::string path_;
};

}  // namespace sim::image

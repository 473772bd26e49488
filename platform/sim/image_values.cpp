// Checked reading of system-image JSON values, with the JSON path in every message.
#include "platform/sim/image_values.h"

#include <algorithm>
#include <limits>
#include <set>
#include <type_traits>

#include "base/utf.h"
#include "platform/sim/builder.h"

namespace sim::image {

namespace {

// Where the parser stands, to name the path of a key given twice.
struct Frame {
  bool array = false;
  std::size_t count = 0;  // elements finished so far (arrays)
  std::string key;        // the current key (objects)
  std::set<std::string> keys;
  bool note = false;  // inside a note: nothing here is read, so nothing is checked
};

std::string StackPath(const std::vector<Frame>& stack) {
  std::string path;
  for (const auto& f : stack) path = f.array ? ElementPath(path, f.count) : MemberPath(path, f.key);
  return path;
}

std::string SyntaxProblem(const nlohmann::json::parse_error& e) {
  // The library's message reads "[json.exception.parse_error.101] parse error at line 4, column 7:
  // syntax error ..."; keep the part from the line number on.
  const std::string what = e.what();
  const auto at = what.find(" at line ");
  if (at != std::string::npos) return what.substr(at + 4);
  const auto bracket = what.find("] ");
  return "byte " + std::to_string(e.byte) + ": " +
         (bracket == std::string::npos ? what : what.substr(bracket + 2));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

namespace {

// Builds the document like the library's own reader and keeps the parser's position, so a key
// given twice is named with its path. Events are taken directly: the library's callback reader
// searches the whole parent array after every object, which made large images load in
// quadratic time.
class TrackingReader : public nlohmann::detail::json_sax_dom_parser<Json> {
  using Base = nlohmann::detail::json_sax_dom_parser<Json>;

 public:
  TrackingReader(Json& result, std::string_view text) : Base(result, true), text_(text) {}

  // Syntax errors come as the library's parse errors, which Parse turns into messages. A number
  // too large for a double comes as another kind of exception that would otherwise reach the
  // user without the file's name or the place: it is told like a syntax error.
  template <typename Exception>
  bool parse_error(std::size_t position, const std::string& token, const Exception& ex) {
    if constexpr (std::is_base_of_v<nlohmann::json::parse_error, Exception>) {
      return Base::parse_error(position, token, ex);
    } else {
      const std::string what = ex.what();
      const auto bracket = what.find("] ");
      throw PathError(
          "", Place(position) + ": " + (bracket == std::string::npos ? what : what.substr(bracket + 2)));
    }
  }

  bool start_object(std::size_t n) {
    stack_.push_back(Frame{false, 0, {}, {}, InNote()});
    return Base::start_object(n);
  }
  bool start_array(std::size_t n) {
    stack_.push_back(Frame{true, 0, {}, {}, InNote()});
    return Base::start_array(n);
  }
  bool key(std::string& k) {
    Frame& f = stack_.back();
    f.key = k;
    if (!f.note && !IsNote(f.key) && !f.keys.insert(f.key).second)
      throw PathError(StackPath(stack_), "the key is given twice");
    return Base::key(k);
  }
  bool end_object() {
    Ended();
    return Base::end_object();
  }
  bool end_array() {
    Ended();
    return Base::end_array();
  }
  bool null() { return Element(), Base::null(); }
  bool boolean(bool v) { return Element(), Base::boolean(v); }
  bool number_integer(std::int64_t v) { return Element(), Base::number_integer(v); }
  bool number_unsigned(std::uint64_t v) { return Element(), Base::number_unsigned(v); }
  bool number_float(double v, const std::string& s) { return Element(), Base::number_float(v, s); }
  bool string(std::string& v) { return Element(), Base::string(v); }
  bool binary(Json::binary_t& v) { return Element(), Base::binary(v); }

 private:
  void Element() {
    if (!stack_.empty() && stack_.back().array) ++stack_.back().count;
  }
  // Whether a value starting now lies under a note key.
  bool InNote() const {
    if (stack_.empty()) return false;
    const Frame& parent = stack_.back();
    return parent.note || (!parent.array && IsNote(parent.key));
  }
  void Ended() {
    stack_.pop_back();
    Element();
  }
  // "line L, column C" of the byte the reader had reached, as the library counts them.
  std::string Place(std::size_t position) const {
    const std::string_view before = text_.substr(0, std::min(position, text_.size()));
    const std::size_t newline = before.rfind('\n');
    const std::size_t lineStart = newline == std::string_view::npos ? 0 : newline + 1;
    return "line " + std::to_string(std::count(before.begin(), before.end(), '\n') + 1) + ", column " +
           std::to_string(before.size() - lineStart);
  }

  std::string_view text_;
  std::vector<Frame> stack_;
};

}  // namespace

Json Parse(std::string_view text) {
  Json result;
  TrackingReader reader(result, text);
  try {
    Json::sax_parse(text.begin(), text.end(), &reader);
  } catch (const nlohmann::json::parse_error& e) {
    throw PathError("", SyntaxProblem(e));
  }
  return result;
}

bool IsNote(std::string_view key) { return key.substr(0, 2) == "x-"; }

std::string MemberPath(const std::string& path, std::string_view key) {
  return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string ElementPath(const std::string& path, std::size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

std::string Shown(std::u16string_view s) {
  std::string out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == 0) {
      out += base::Utf16ToUtf8(s.substr(start, i - start));
      if (i < s.size()) out += "\\u0000";
      start = i + 1;
    }
  }
  return out;
}

std::string Hex(std::uint64_t v) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789ABCDEF"[v & 0xF]);
    v >>= 4;
  } while (v != 0);
  return "0x" + digits;
}

std::string Describe(const Json& v) {
  switch (v.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::array:
      return "an array";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::boolean:
      return "a boolean";
    default:
      return "a number";
  }
}

const Json& ExpectArray(const Json& v, const std::string& path) {
  if (!v.is_array()) throw PathError(path, "expected an array, got " + Describe(v));
  return v;
}

std::string Utf8Text(const Json& v, const std::string& path) {
  if (!v.is_string()) throw PathError(path, "expected a string, got " + Describe(v));
  return v.get<std::string>();
}

std::u16string Text(const Json& v, const std::string& path) {
  auto text = base::Utf8ToUtf16(Utf8Text(v, path));
  if (!text) throw PathError(path, "the text is not valid UTF-8");
  return std::move(*text);
}

bool Flag(const Json& v, const std::string& path) {
  if (!v.is_boolean()) throw PathError(path, "expected true or false, got " + Describe(v));
  return v.get<bool>();
}

namespace {
// The value of a number or "0x" string, without a range check; `negative` tells a JSON number
// below zero apart.
std::uint64_t RawNumber(const Json& v, const std::string& path, bool& negative, std::string& shown) {
  negative = false;
  if (v.is_number_unsigned()) {
    shown = std::to_string(v.get<std::uint64_t>());
    return v.get<std::uint64_t>();
  }
  if (v.is_number_integer()) {
    const auto i = v.get<std::int64_t>();
    shown = std::to_string(i);
    negative = i < 0;
    return static_cast<std::uint64_t>(i);
  }
  if (v.is_number_float()) throw PathError(path, "expected a whole number, got " + v.dump());
  if (!v.is_string()) throw PathError(path, "expected a number, got " + Describe(v));
  const std::string s = v.get<std::string>();
  if (s.size() < 2 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X'))
    throw PathError(path, "expected a number, got a string");
  shown = s;
  if (s.size() == 2) throw PathError(path, "bad hexadecimal number " + Quote(s));
  std::uint64_t value = 0;
  for (std::size_t i = 2; i < s.size(); ++i) {
    const int d = HexDigit(s[i]);
    if (d < 0) throw PathError(path, "bad hexadecimal number " + Quote(s));
    if (value >> 60 != 0) throw PathError(path, "number " + s + " is out of range");
    value = value << 4 | static_cast<std::uint64_t>(d);
  }
  return value;
}
}  // namespace

std::uint64_t Unsigned(const Json& v, const std::string& path, std::uint64_t max) {
  bool negative;
  std::string shown;
  const std::uint64_t value = RawNumber(v, path, negative, shown);
  if (negative || value > max)
    throw PathError(path, "number " + shown + " is out of range (0 to " + std::to_string(max) + ")");
  return value;
}

std::int64_t Signed(const Json& v, const std::string& path, std::int64_t min, std::int64_t max) {
  bool negative;
  std::string shown;
  const std::uint64_t raw = RawNumber(v, path, negative, shown);
  const bool fits = negative ? static_cast<std::int64_t>(raw) >= min : raw <= static_cast<std::uint64_t>(max);
  if (!fits)
    throw PathError(path, "number " + shown + " is out of range (" + std::to_string(min) + " to " +
                              std::to_string(max) + ")");
  return static_cast<std::int64_t>(raw);
}

std::string Base64(const Json& v, const std::string& path) {
  const std::string s = Utf8Text(v, path);
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;  // bits collected
  std::size_t digits = 0, padding = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    int d;
    if (c >= 'A' && c <= 'Z')
      d = c - 'A';
    else if (c >= 'a' && c <= 'z')
      d = c - 'a' + 26;
    else if (c >= '0' && c <= '9')
      d = c - '0' + 52;
    else if (c == '+')
      d = 62;
    else if (c == '/')
      d = 63;
    else if (c == '=') {
      ++padding;
      continue;
    } else
      throw PathError(path, "bad base64: unexpected character at position " + std::to_string(i + 1));
    if (padding != 0) throw PathError(path, "bad base64: data after the padding");
    ++digits;
    bits = bits << 6 | static_cast<std::uint32_t>(d);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  // A single digit left over cannot hold a byte; padding, when given, must complete the group.
  if (digits % 4 == 1 || (padding != 0 && (digits + padding) % 4 != 0) || padding > 2)
    throw PathError(path, "bad base64: the data end in the middle of a group");
  return out;
}

std::vector<std::uint8_t> HexBytes(const Json& v, const std::string& path) {
  const std::string s = Utf8Text(v, path);
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] == ' ' || s[i] == ',') {
      ++i;
      continue;
    }
    const int hi = HexDigit(s[i]);
    const int lo = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
    if (hi < 0 || lo < 0)
      throw PathError(
          path, "bad hex data at character " + std::to_string(i + 1) + ": expected pairs of hex digits");
    out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    i += 2;
  }
  return out;
}

FileTime Time(const Json& v, const std::string& path) {
  const std::string s = Utf8Text(v, path);
  const auto t = ParseLocalTime(s);
  if (!t) throw PathError(path, "bad time " + Quote(s) + " (expected YYYY-MM-DDTHH:MM:SS)");
  return ToFileTime(*t);
}

Fields::Fields(const Json& v, std::string path, std::initializer_list<std::string_view> known)
    : v_(v), path_(std::move(path)) {
  if (!v.is_object()) throw PathError(path_, "expected an object, got " + Describe(v));
  for (const auto& [key, value] : v.items()) {
    if (IsNote(key)) continue;
    if (std::find(known.begin(), known.end(), key) == known.end())
      throw PathError(PathOf(key), "unknown key");
  }
}

const Json* Fields::Find(std::string_view key) const {
  const auto it = v_.find(key);
  return it == v_.end() ? nullptr : &*it;
}

const Json& Fields::Required(std::string_view key) const {
  const Json* v = Find(key);
  if (v == nullptr) throw PathError(PathOf(key), "required key is missing");
  return *v;
}

std::u16string Fields::Text(std::string_view key, std::u16string fallback) const {
  const Json* v = Find(key);
  return v ? image::Text(*v, PathOf(key)) : fallback;
}

bool Fields::Flag(std::string_view key, bool fallback) const {
  const Json* v = Find(key);
  return v ? image::Flag(*v, PathOf(key)) : fallback;
}

std::uint32_t Fields::U32(std::string_view key, std::uint32_t fallback) const {
  const Json* v = Find(key);
  return v ? static_cast<std::uint32_t>(Unsigned(*v, PathOf(key), std::numeric_limits<std::uint32_t>::max()))
           : fallback;
}

std::uint64_t Fields::U64(std::string_view key, std::uint64_t fallback) const {
  const Json* v = Find(key);
  return v ? Unsigned(*v, PathOf(key), std::numeric_limits<std::uint64_t>::max()) : fallback;
}

std::int32_t Fields::I32(std::string_view key, std::int32_t fallback) const {
  const Json* v = Find(key);
  return v ? static_cast<std::int32_t>(Signed(*v, PathOf(key), std::numeric_limits<std::int32_t>::min(),
                                              std::numeric_limits<std::int32_t>::max()))
           : fallback;
}

}  // namespace sim::image

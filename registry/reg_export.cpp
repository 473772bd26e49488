// Writes keys and values as registry-editor text, one value line at a time,
// errors as comments.
#include "registry/reg_export.h"

#include <cstdio>
#include <exception>
#include <span>

#include "platform/platform.h"
#include "registry/win32_registry.h"

namespace registry {
namespace {

constexpr std::string_view kCrLf = "\r\n";

class Writer {
 public:
  Writer(std::ostream& out, bool unicode) : out_(out), unicode_(unicode) {}
  Writer& operator<<(std::string_view text) {
    if (!unicode_) {
      out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    } else {
      for (const char c : text) {
        out_.put(c);
        out_.put('\0');
      }
    }
    return *this;
  }
  bool unicode() const { return unicode_; }

 private:
  std::ostream& out_;
  bool unicode_;
};

// Every character in `escaped` gets a backslash before it.
std::string Escape(std::string_view text, std::string_view escaped) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (escaped.find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

// "@" for the default value; otherwise the name in double quotes with its
// backslashes doubled. A double quote in the name is escaped too: unescaped it
// would end the name early and make the line unreadable for every registry
// editor.
std::string DisplayName(std::string_view name) {
  return name.empty() ? std::string("@") : "\"" + Escape(name, "\\\"") + "\"";
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::string ValueLine(TMyRegistry& reg, std::string_view name, bool unicode) {
  const std::string display = DisplayName(name);
  try {
    TRegDataInfo info;
    if (!reg.GetDataInfo(name, info)) return "// the value \"" + display + "\" does not exist";
    switch (info.regData) {
      case TRegDataType::rdUnknown:
        return "// the type of value \"" + display + "\" is unknown";
      case TRegDataType::rdNotSet:
        return "// the type of value \"" + display + "\" is not set";
      case TRegDataType::rdString: {
        std::string text;
        try {
          text = reg.ReadString(name);
        } catch (const std::exception&) {
          return "// an exception occured while reading string value " + Quoted(display);
        }
        return display + "=\"" + Escape(text, "\\\"") + "\"";
      }
      case TRegDataType::rdExpandString: {
        std::string text;
        try {
          text = reg.ReadString(name);
        } catch (const std::exception&) {
          return "// an exception occured while reading expand string value " + Quoted(display);
        }
        const std::string prefix = display + "=hex(2):";
        if (unicode) {
          std::vector<std::uint8_t> bytes;
          for (const char16_t c : platform::Current().kernel32.MultiByteToWideChar(platform::CP_ACP, text)) {
            bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(c >> 8));
          }
          bytes.insert(bytes.end(), {0, 0});
          return prefix + HexByteList(bytes, prefix.size());
        }
        // The text, its terminating zero and one more zero byte: the way the 8-bit export
        // format writes expandable strings.
        auto bytes = Bytes(text);
        bytes.insert(bytes.end(), {0, 0});
        return prefix + HexByteList(bytes, prefix.size());
      }
      case TRegDataType::rdBinary: {
        std::vector<std::uint8_t> data(info.dataSize);
        try {
          data.resize(reg.ReadBinaryData(name, std::as_writable_bytes(std::span(data))));
        } catch (const std::exception&) {
          return "// an exception occured while reading binary value " + Quoted(display);
        }
        const std::string prefix = display + "=hex:";
        return prefix + HexByteList(data, prefix.size());
      }
      case TRegDataType::rdInteger: {
        std::int32_t v = 0;
        try {
          v = reg.ReadInteger(name);
        } catch (const std::exception&) {
          return "// an exception occured while reading integer value " + Quoted(display);
        }
        char digits[9];
        std::snprintf(digits, sizeof digits, "%8.8x", static_cast<unsigned>(v));
        return display + "=dword:" + digits;
      }
      case TRegDataType::rdOther: {
        const auto data = reg.ReadRawData(name);
        char type[2];
        std::snprintf(type, sizeof type, "%X", static_cast<unsigned>(info.rawType & 0xF));
        const std::string prefix = display + "=hex(" + type + "):";
        return prefix + HexByteList(data, prefix.size());
      }
    }
  } catch (const std::exception&) {
  }
  return "// an unknown exception occured while creating value " + Quoted(name);
}

void ErrorComment(Writer& w, std::string_view what, platform::HKEY rootKey, std::string_view keyPath) {
  w << kCrLf << "// an error occured while " << what << kCrLf << "//   RootKey: " << RootKeyName(rootKey)
    << kCrLf << "//   Key    : " << keyPath << kCrLf;
}

void Header(Writer& w, platform::HKEY rootKey, std::string_view keyPath) {
  w << kCrLf << "[" << RootKeyName(rootKey) << keyPath << "]" << kCrLf;
}

bool OpenForExport(TMyRegistry& reg, platform::HKEY rootKey, std::string_view keyPath, bool use64) {
  reg.SetRootKey(rootKey);
  reg.SetBitness(use64 ? 64 : 32);
  return reg.OpenKeyReadOnly(keyPath);
}

void ExportKeyTo(Writer& w, platform::HKEY rootKey, std::string_view keyPathIn, bool recursive, bool use64) {
  std::string keyPath(keyPathIn);
  if (keyPath.ends_with('\\')) keyPath.pop_back();
  Header(w, rootKey, keyPath);
  TMyRegistry reg;
  if (!OpenForExport(reg, rootKey, keyPath, use64)) return;
  try {
    std::vector<std::string> names;
    reg.GetValueNames(names);
    for (const auto& name : names) w << ValueLine(reg, name, w.unicode()) << kCrLf;
  } catch (const std::exception&) {
    ErrorComment(w, "writing values of", rootKey, keyPath);
  }
  if (!recursive) return;
  try {
    std::vector<std::string> subkeys;
    reg.GetKeyNames(subkeys);
    for (const auto& sub : subkeys) ExportKeyTo(w, rootKey, keyPath + "\\" + sub, true, use64);
  } catch (const std::exception&) {
    ErrorComment(w, "writing subkeys of", rootKey, keyPath);
  }
}

}  // namespace

std::string HexByteList(const std::vector<std::uint8_t>& bytes, std::size_t column) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%2.2x", bytes[i]);
    out += pair;
    out += ',';
    column += 3;
    if (column > 76 && i + 1 < bytes.size()) {
      out += "\\\r\n  ";
      column = 2;
    }
  }
  if (!out.empty()) out.pop_back();
  return out;
}

}  // namespace registry

namespace registry {

void ExportKey(platform::HKEY rootKey, std::string_view keyPath, bool recursive, bool use64, bool unicode,
               std::ostream& stream) {
  Writer w(stream, unicode);
  ExportKeyTo(w, rootKey, keyPath, recursive, use64);
}

void ExportValues(platform::HKEY rootKey, std::string_view keyPath, const std::vector<std::string>& names,
                  bool use64, bool unicode, std::ostream& stream) {
  Writer w(stream, unicode);
  Header(w, rootKey, keyPath);
  TMyRegistry reg;
  if (!OpenForExport(reg, rootKey, keyPath, use64)) return;
  for (const auto& name : names) {
    try {
      w << ValueLine(reg, name, unicode) << kCrLf;
    } catch (const std::exception&) {
      ErrorComment(w, "writing:", rootKey, keyPath);
      w << "//   Value  : " << name << kCrLf;
    }
  }
}

void ExportValue(platform::HKEY rootKey, std::string_view keyPath, std::string_view name, bool use64,
                 bool unicode, std::ostream& stream) {
  ExportValues(rootKey, keyPath, {std::string(name)}, use64, unicode, stream);
}

}  // namespace registry

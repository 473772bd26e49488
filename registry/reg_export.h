// Registry-editor export text (.reg) of keys and values, read through the Win32
// view.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace registry {

// Writes the section of `keyPath` (and, when `recursive`, of every subkey below
// it). The text is 8-bit; with `unicode` every character is written as two
// bytes, itself and a zero byte. Nothing stops the export: what cannot be read
// becomes a "//" comment line in its place.
void ExportKey(platform::HKEY rootKey, std::string_view keyPath, bool recursive, bool use64, bool unicode,
               std::ostream& stream);
// The section header of `keyPath`, then the lines of the named values only.
void ExportValues(platform::HKEY rootKey, std::string_view keyPath, const std::vector<std::string>& names,
                  bool use64, bool unicode, std::ostream& stream);
void ExportValue(platform::HKEY rootKey, std::string_view keyPath, std::string_view name, bool use64,
                 bool unicode, std::ostream& stream);

// "xx,xx,..." with a line break ("\", CR LF, two blanks) whenever the column
// passes 76 and more bytes follow; `column` is where the list starts on its
// line.
std::string HexByteList(const std::vector<std::uint8_t>& bytes, std::size_t column);

}  // namespace registry

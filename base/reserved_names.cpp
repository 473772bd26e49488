// The reserved device-name test shared by the Quick Scan, the file walk and the archive.
#include "base/reserved_names.h"

#include <string>

#include "platform/platform.h"

namespace base {

bool IsReservedDeviceName(std::string_view name) {
  std::string stem(name.substr(0, name.find('.')));
  for (char& c : stem)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (stem == "aux" || stem == "con" || stem == "nul" || stem == "prn") return true;
  return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1' &&
         stem[3] <= '9';
}

bool IsReservedDeviceName(std::u16string_view name) {
  // Every character becomes at least one byte (a surrogate pair at least one), so the first ten
  // characters give at least five bytes: either the first "." is among them or the stem is
  // longer than any reserved one. Converting just those gives the same answer for names of any
  // length.
  constexpr std::size_t kEnough = 10;
  if (name.size() > kEnough) {
    std::size_t cut = kEnough;
    if (name[cut - 1] >= 0xD800 && name[cut - 1] <= 0xDBFF) --cut;  // keep a surrogate pair whole
    name = name.substr(0, cut);
  }
  return IsReservedDeviceName(platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, name));
}

}  // namespace base

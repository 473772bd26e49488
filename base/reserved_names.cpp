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
  return IsReservedDeviceName(platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, name));
}

}  // namespace base

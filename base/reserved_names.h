// Device names Win32 programs cannot open as files (con, nul, lpt1, ...), however they are spelt.
#pragma once

#include <string_view>

namespace base {

// True when the part before the first "." is, in ASCII lower case, one of aux, con, nul, prn,
// com1..com9, lpt1..lpt9. The 8-bit form takes a name already in the system code page.
bool IsReservedDeviceName(std::string_view name);
// The same for a counted UTF-16 name: it is converted to the system code page first, so a
// character the code page cannot hold becomes its default character, as the Win32 layer sees it.
bool IsReservedDeviceName(std::u16string_view name);

}  // namespace base

// Output text conversions.
#include "app/text.h"

#include "base/utf.h"
#include "platform/platform.h"

namespace app {

std::string Utf8(std::u16string_view text) { return base::Utf16ToUtf8(text); }

std::string Utf8FromCodePage(std::string_view text) {
  return Utf8(platform::Current().kernel32.MultiByteToWideChar(platform::CP_ACP, text));
}

std::string ShowZeros(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    if (c == '\0')
      out += "<NUL>";
    else
      out += c;
  }
  return out;
}

}  // namespace app

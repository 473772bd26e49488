// Log item matching. Only the exact mode (5) is answered here until the shared match rules
// are available to this library; every other mode matches nothing for now.
#include "results/log_match.h"

namespace results {

bool LogMatchText(std::string_view text, std::string_view pattern, int mode, bool ignoreCase) {
  if (mode % 128 != 5) return false;
  if (!ignoreCase) return text == pattern;
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char a = text[i], b = pattern[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
    if (a != b) return false;
  }
  return true;
}

}  // namespace results

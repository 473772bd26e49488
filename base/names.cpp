// Case-insensitive comparison and folding of names through the platform's locale functions.
#include "base/names.h"

#include <optional>

#include "platform/platform.h"

namespace base {

namespace {

int Ordinal(std::u16string_view a, std::u16string_view b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// CSTR_LESS_THAN / CSTR_EQUAL / CSTR_GREATER_THAN as -1 / 0 / 1; nothing when the call failed.
std::optional<int> FromCompareResult(int r) {
  if (r == platform::CSTR_LESS_THAN) return -1;
  if (r == platform::CSTR_EQUAL) return 0;
  if (r == platform::CSTR_GREATER_THAN) return 1;
  return std::nullopt;
}

}  // namespace

int CompareIgnoringCase(std::u16string_view a, std::u16string_view b) {
  auto& k32 = platform::Current().kernel32;
  if (auto r = FromCompareResult(
          k32.CompareStringW(platform::LOCALE_USER_DEFAULT, platform::NORM_IGNORECASE, a, b)))
    return *r;
  return Ordinal(FoldCase(a), FoldCase(b));
}

int CompareIgnoringCase(std::string_view a, std::string_view b) {
  auto& k32 = platform::Current().kernel32;
  if (auto r = FromCompareResult(
          k32.CompareStringA(platform::LOCALE_USER_DEFAULT, platform::NORM_IGNORECASE, a, b)))
    return *r;
  return Ordinal(FoldCase(a), FoldCase(b));
}

std::u16string FoldCase(std::u16string_view name) {
  return platform::Current().kernel32.LCMapStringW(platform::LOCALE_USER_DEFAULT, platform::LCMAP_UPPERCASE,
                                                   name);
}

std::u16string FoldCase(std::string_view text) {
  return FoldCase(platform::Current().kernel32.MultiByteToWideChar(platform::CP_ACP, text));
}

}  // namespace base

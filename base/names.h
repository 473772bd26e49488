// The one case-insensitive comparison of names and texts, and the folding that look-ups use.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>

namespace base {

// Three-way comparison that ignores letter case, under the user's default locale, through the
// platform's CompareString (NORM_IGNORECASE): negative, zero or positive. Names are counted, so
// zero characters are compared like any other. When the system cannot compare the two (the
// call fails), the folded forms below are compared ordinally instead: a failure is never
// "equal" for names that differ in more than letter case, and a sort stays a strict weak
// order.
int CompareIgnoringCase(std::u16string_view a, std::u16string_view b);
// The same for 8-bit texts in the system code page; the fallback folds their wide forms.
int CompareIgnoringCase(std::string_view a, std::string_view b);

inline bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return CompareIgnoringCase(a, b) == 0;
}
inline bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return CompareIgnoringCase(a, b) == 0;
}

// The key under which a name is looked up ignoring case: its upper-cased form under the user's
// default locale (LCMapString with LCMAP_UPPERCASE). Names that differ in letter case only
// have the same key. An 8-bit text is folded through its wide form in the system code page.
std::u16string FoldCase(std::u16string_view name);
std::u16string FoldCase(std::string_view text);

// A set of names looked up ignoring case: each insert and each look-up folds its name once and
// costs a hash look-up, so comparing two listings is linear in their sizes.
class FoldedNameSet {
 public:
  void Reserve(std::size_t count) { keys_.reserve(count); }
  void Add(std::u16string_view name) { keys_.insert(FoldCase(name)); }
  void Add(std::string_view text) { keys_.insert(FoldCase(text)); }
  bool Contains(std::u16string_view name) const { return keys_.contains(FoldCase(name)); }
  bool Contains(std::string_view text) const { return keys_.contains(FoldCase(text)); }
  std::size_t Size() const { return keys_.size(); }

 private:
  std::unordered_set<std::u16string> keys_;
};

}  // namespace base

// String match rules over 8-bit texts in the system code page.
#include "base/match_rules.h"

#include <array>
#include <regex>

namespace base {

namespace {

std::string AsciiUpper(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

bool IsWord(const TCompareRuleItem& item, std::string_view word) { return AsciiUpper(item.Text) == word; }

// The character-by-character wildcard match, table-driven so a hostile pattern of many stars
// costs text x pattern steps instead of exponential back-tracking. ok[i][j]: text from i
// matches pattern from j.
bool WildcardSteps(std::string_view t, std::string_view p) {
  const std::size_t n = t.size(), m = p.size();
  std::vector<char> ok((n + 1) * (m + 1), 0);
  auto at = [&](std::size_t i, std::size_t j) -> char& { return ok[i * (m + 1) + j]; };
  for (std::size_t i = n + 1; i-- > 0;) {
    for (std::size_t j = m + 1; j-- > 0;) {
      bool r;
      if (p.substr(j) == "*")
        r = true;
      else if (i == n)
        r = j == m;
      else if (j == m)
        r = false;
      else if (p[j] == '*')
        r = at(i, j + 1) || at(i + 1, j);
      else if (p[j] == '?')
        r = at(i + 1, j + 1);
      else
        r = p[j] == t[i] && at(i + 1, j + 1);
      at(i, j) = r;
    }
  }
  return at(0, 0);
}

}  // namespace

bool MatchWildcard(std::string_view text, std::string_view pattern, bool ignoreCase) {
  const std::string t = ignoreCase ? AsciiUpper(text) : std::string(text);
  const std::string p = ignoreCase ? AsciiUpper(pattern) : std::string(pattern);
  if (p.size() > 1 && p.front() == '*' && p.back() == '*') {
    const std::string_view inner = std::string_view(p).substr(1, p.size() - 2);
    if (inner.find_first_of("*?") == std::string_view::npos) return t.find(inner) != std::string::npos;
  }
  if (p.empty()) return t.empty();
  if (p == "*") return true;
  return WildcardSteps(t, p);
}

bool BoyerMooreHorspool(std::string_view text, std::string_view pattern) {
  const std::size_t m = pattern.size(), n = text.size();
  if (m == 0) return true;
  std::array<std::size_t, 256> shift;
  shift.fill(m);
  for (std::size_t i = 0; i + 1 < m; ++i) shift[static_cast<unsigned char>(pattern[i])] = m - 1 - i;
  std::size_t pos = m;  // 1-based end of the window
  while (pos <= n) {
    std::size_t k = 0;
    while (k < m && text[pos - 1 - k] == pattern[m - 1 - k]) ++k;
    if (k == m) return true;
    pos += shift[static_cast<unsigned char>(text[pos - 1])];
  }
  return false;
}

void TCompareRule::SetRule(std::string_view rule) {
  Items.clear();
  std::string word;
  bool quoted = false;
  auto flush = [&] {
    if (!word.empty()) Items.push_back({word});
    word.clear();
  };
  for (char c : rule) {
    if (c == '"') {
      flush();
      quoted = !quoted;
    } else if (c == ' ' && !quoted) {
      flush();
    } else {
      word += c;
    }
  }
  flush();
  if (!Items.empty() && IsWord(Items.back(), "NOT")) Items.pop_back();
  for (std::size_t i = Items.size() >= 2 ? Items.size() - 1 : 0; i-- > 0;) {
    if (IsWord(Items[i], "NOT")) {
      Items[i + 1].Negate = true;
      Items.erase(Items.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  if (!Items.empty()) Items.front().Operator = TRuleOperator::OR;
  if (!Items.empty() && IsWord(Items.back(), "OR")) Items.pop_back();
  if (!Items.empty() && IsWord(Items.back(), "AND")) Items.pop_back();
  for (std::size_t i = Items.size() >= 2 ? Items.size() - 1 : 0; i-- > 1;) {
    const bool isAnd = IsWord(Items[i], "AND");
    if (isAnd || IsWord(Items[i], "OR")) {
      Items[i + 1].Operator = isAnd ? TRuleOperator::AND : TRuleOperator::OR;
      Items.erase(Items.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

bool TCompareRule::Evaluate(std::string_view text) const {
  bool result = false;
  for (const auto& item : Items) {
    const bool value = (text.find(item.Text) != std::string_view::npos) != item.Negate;
    result = item.Operator == TRuleOperator::AND ? (result && value) : (result || value);
  }
  return result;
}

bool MatchText(std::string_view text, std::string_view pattern, int mode, bool ignoreCase) {
  mode &= 0x7F;
  if (mode == 3) {
    auto flags = std::regex::ECMAScript;
    if (ignoreCase) flags |= std::regex::icase;
    return std::regex_search(text.begin(), text.end(), std::regex(pattern.begin(), pattern.end(), flags));
  }
  const std::string t = ignoreCase ? AsciiUpper(text) : std::string(text);
  const std::string p = ignoreCase ? AsciiUpper(pattern) : std::string(pattern);
  switch (mode) {
    case 0:
      return !p.empty() && !t.empty() && t.find(p) != std::string::npos;
    case 1:
      return MatchWildcard(t, p, false);
    case 2: {
      TCompareRule rule;
      rule.SetRule(p);
      return rule.Evaluate(t);
    }
    case 4:
      return BoyerMooreHorspool(t, p);
    case 5:
      return t == p;
    default:
      return false;
  }
}

bool MatchRule(std::string_view text, std::string_view rule, bool ignoreCase, int defaultMode) {
  static constexpr std::array<std::pair<std::string_view, int>, 5> kPrefixes = {
      {{"<wc>", 1}, {"<substr>", 0}, {"<bool>", 2}, {"<regexpr>", 3}, {"<bm>", 4}}};
  for (const auto& [prefix, mode] : kPrefixes)
    if (rule.starts_with(prefix)) return MatchText(text, rule.substr(prefix.size()), mode, ignoreCase);
  return MatchText(text, rule, defaultMode, ignoreCase);
}

}  // namespace base

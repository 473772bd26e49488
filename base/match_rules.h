// String match rules: six modes chosen by a prefix, the boolean word rule and the wildcard rule.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace base {

enum class TRuleOperator { OR, AND };

struct TCompareRuleItem {
  std::string Text;
  bool Negate = false;
  TRuleOperator Operator = TRuleOperator::OR;
};

class TCompareRule {
 public:
  void SetRule(std::string_view rule);
  bool Evaluate(std::string_view text) const;
  void Clear() { Items.clear(); }
  std::vector<TCompareRuleItem> Items;
};

// "*" any run, "?" one character; a star-enclosed pattern without inner wildcards is a
// substring search. With ignoreCase, a to z are upper-cased in both strings.
bool MatchWildcard(std::string_view text, std::string_view pattern, bool ignoreCase);

// Horspool search; an empty pattern is always found.
bool BoyerMooreHorspool(std::string_view text, std::string_view pattern);

// Modes: 0 substring, 1 wildcard, 2 boolean rule, 3 regular expression, 4 Boyer-Moore, 5 equal.
// An invalid regular expression throws std::regex_error to the caller.
bool MatchText(std::string_view text, std::string_view pattern, int mode, bool ignoreCase);
// A leading "<wc>", "<substr>", "<bool>", "<regexpr>" or "<bm>" selects the mode.
bool MatchRule(std::string_view text, std::string_view rule, bool ignoreCase, int defaultMode);

}  // namespace base

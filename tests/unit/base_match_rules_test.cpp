// The match modes, the wildcard rule and the boolean word rule as tables of cases.
#include <gtest/gtest.h>

#include <regex>

#include "base/match_rules.h"

namespace {

struct WildcardCase {
  const char* text;
  const char* pattern;
  bool ignoreCase, match;
};

TEST(MatchRulesTest, WildcardRule) {
  const WildcardCase cases[] = {
      {"abc", "a*", false, true},
      {"abc", "*b*", false, true},
      {"abc", "a?c", false, true},
      {"abc", "a?", false, false},
      {"abc", "", false, false},
      {"", "*", false, true},
      {"", "?", false, false},
      {"", "", false, true},
      {"ABC", "a*", true, true},
      {"ABC", "a*", false, false},
      {"xaby", "*a?y", false, true},
      {"a", "a**", false, false},
      {"C:\\WINDOWS\\x.sys", "*\\WINDOWS\\*", true, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(base::MatchWildcard(c.text, c.pattern, c.ignoreCase), c.match) << c.text << " ~ " << c.pattern;
  // Many stars against a long text finish quickly.
  EXPECT_FALSE(base::MatchWildcard(std::string(3000, 'a'), std::string(50, '*') + "b", false));
}

struct RuleCase {
  const char* text;
  const char* rule;
  bool ignoreCase;
  int defaultMode;
  bool match;
};

TEST(MatchRulesTest, ModesAndPrefixes) {
  const RuleCase cases[] = {
      {"xabcx", "<substr>abc", false, 1, true},
      {"xabcx", "abc", false, 1, false},
      {"xabcx", "", false, 0, false},
      {"", "<bm>", false, 1, true},
      {"xABCx", "<bm>abc", true, 1, true},
      {"xABCx", "<bm>abc", false, 1, false},
      {"Abc", "ABC", true, 5, true},
      {"Abc", "ABC", false, 5, false},
      {"file12.txt", "<regexpr>^file\\d+\\.TXT$", true, 1, true},
      {"file12.txt", "<regexpr>^file\\d+\\.TXT$", false, 1, false},
      {"x <substr>abc y", " <substr>abc", false, 0, true},  // a prefix counts at the very start only
      {"x", "x", false, 6, false},
      {"x", "x", false, 128 + 5, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(base::MatchRule(c.text, c.rule, c.ignoreCase, c.defaultMode), c.match)
        << c.text << " ~ " << c.rule;
  EXPECT_THROW(base::MatchRule("x", "<regexpr>(", false, 1), std::regex_error);
}

TEST(MatchRulesTest, BooleanWordRule) {
  const RuleCase cases[] = {
      {"foo", "FOO AND NOT BAR", true, 2, true},
      {"foo bar", "FOO AND NOT BAR", true, 2, false},
      {"baz", "FOO OR BAR AND BAZ", false, 2, false},
      {"FOO", "FOO OR BAR AND BAZ", false, 2, false},  // (FOO OR BAR) AND BAZ
      {"FOO BAZ", "FOO OR BAR AND BAZ", false, 2, true},
      {"foo", "foo NOT", false, 2, true},
      {"foo", "foo OR", false, 2, true},
      {"foo", "foo AND", false, 2, true},
      {"xa by", "\"a b\"", false, 2, true},
      {"xa  by", "\"a b\"", false, 2, false},
      {"AND x", "AND x", false, 2, true},  // a leading AND is a word
      {"x", "", false, 2, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(base::MatchText(c.text, c.rule, c.defaultMode, c.ignoreCase), c.match)
        << c.text << " ~ " << c.rule;

  base::TCompareRule rule;
  rule.SetRule("a NOT b OR c");
  ASSERT_EQ(rule.Items.size(), 3u);
  EXPECT_TRUE(rule.Items[1].Negate);
  EXPECT_EQ(rule.Items[2].Operator, base::TRuleOperator::OR);
}

}  // namespace

// The simulated machine's own rules: name order, wildcard hiding, times, code page 1252.
#include <gtest/gtest.h>

#include "base/utf.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"

namespace {

TEST(SimMachine, ChildrenAreOrderedByUpcasedName) {
  sim::MachineBuilder b;
  for (auto n : {u"b.txt", u"A.txt", u"_x", u"a0"}) b.File(std::u16string(u"C:\\d\\") + n);
  auto m = b.Build();
  std::vector<std::u16string> names;
  for (auto& c : m->FindFile(u"C:\\d")->children) names.push_back(c->name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"A.txt", u"a0", u"b.txt", u"_x"}));
}

TEST(SimMachine, WildcardMatch) {
  struct Case { const char16_t* pattern; const char16_t* name; bool match; };
  const Case cases[] = {
      {u"ghost*", u"GHOST.sys", true}, {u"ghost*", u"aghost", false}, {u"g?ost", u"ghost", true},
      {u"*.sys", u"a.sys", true},      {u"*.sys", u"a.sysx", false},  {u"*", u"", true},
      {u"a*b*c", u"aXbYbZc", true},    {u"a*b*c", u"aXbYbZ", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sim::WildcardMatch(c.pattern, c.name), c.match) << base::Utf16ToUtf8(c.pattern);
}

TEST(SimMachine, NamesKeepZeroCharacters) {
  sim::MachineBuilder b;
  const std::u16string withZero(u"a\0b", 3);
  b.File(u"C:\\x\\" + withZero);
  b.StringValue(u"HKLM\\SOFTWARE\\k", withZero, u"v");
  auto m = b.Build();
  EXPECT_NE(m->FindFile(u"C:\\x\\" + withZero), nullptr);
  EXPECT_EQ(m->FindFile(u"C:\\x\\a"), nullptr);
  EXPECT_NE(m->FindKey(u"\\Registry\\Machine\\SOFTWARE\\k")->FindValue(withZero), nullptr);
}

TEST(SimMachine, LocalTimeRoundTrip) {
  const auto t = sim::ParseLocalTime("2004-08-25T13:45:07");
  ASSERT_TRUE(t);
  const auto back = sim::ToSystemTime(sim::ToFileTime(*t));
  EXPECT_EQ(back.year, 2004);
  EXPECT_EQ(back.month, 8);
  EXPECT_EQ(back.day, 25);
  EXPECT_EQ(back.hour, 13);
  EXPECT_EQ(back.minute, 45);
  EXPECT_EQ(back.second, 7);
  EXPECT_EQ(back.dayOfWeek, 3);  // a Wednesday
  EXPECT_FALSE(sim::ParseLocalTime("2003-02-29T00:00:00"));
  EXPECT_FALSE(sim::ParseLocalTime("2004-08-25 13:45:07"));
}

TEST(SimMachine, CodePage1252) {
  EXPECT_EQ(sim::ToCodePage(1252, u"\u20AC\u00E9\u4E2D"), "\x80\xE9?");
  EXPECT_EQ(sim::FromCodePage(1252, "\x80\xE9"), u"\u20AC\u00E9");
}

}  // namespace

// The simulated machine's own rules: name order, wildcard hiding, Win32 spellings, times, code page 1252.
#include <gtest/gtest.h>

#include "base/utf.h"
#include "files/file_list.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"
#include "registry/nt_registry.h"

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

TEST(SimMachine, Win32ListingsSpellNamesTheWin32Way) {
  sim::MachineBuilder b;
  sim::FileNode& file = b.File(u"C:\\d\\Long Name.txt");
  file.win32Name = u"LONG name.TXT";
  file.shortName = u"LONGNA~1.TXT";
  b.Key(u"HKLM\\SOFTWARE\\k\\Sub").win32Name = u"SUB";
  b.StringValue(u"HKLM\\SOFTWARE\\k", u"Val", u"v").win32Name = u"vAL";
  sim::ScopedSimMachine scoped(b.Build());
  auto& p = platform::Current();

  platform::Kernel32::FindDataW found;
  const platform::Handle find = p.kernel32.FindFirstFileW(u"C:\\d\\l*", found);
  ASSERT_NE(find, platform::kInvalidHandle);
  p.kernel32.FindClose(find);
  EXPECT_EQ(found.fileName, u"LONG name.TXT");
  EXPECT_EQ(found.alternateFileName, u"LONGNA~1.TXT");
  files::TNTFileEnumerator native;
  native.Enumerate(u"C:\\d\\");
  ASSERT_EQ(native.Count(), 1u);
  EXPECT_EQ(native.Entries[0].Name, u"Long Name.txt");

  platform::HKEY key = 0;
  ASSERT_EQ(p.advapi32.RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\k", 0, platform::KEY_READ, key),
            0u);
  std::string name;
  platform::DWORD type = 0;
  EXPECT_EQ(p.advapi32.RegEnumKeyExA(key, 0, name, 256), 0u);
  EXPECT_EQ(name, "SUB");
  EXPECT_EQ(p.advapi32.RegEnumValueA(key, 0, name, 256, type), 0u);
  EXPECT_EQ(name, "vAL");
  p.advapi32.RegCloseKey(key);
  registry::TNtRegistry reg;
  reg.RootKey = platform::HKEY_LOCAL_MACHINE;
  ASSERT_TRUE(reg.OpenKey(u"\\SOFTWARE\\k"));
  std::vector<std::u16string> names;
  reg.GetKeyNames(names);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Sub"}));
  reg.GetValueNames(names);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Val"}));
}

TEST(SimMachine, CodePage1252) {
  EXPECT_EQ(sim::ToCodePage(1252, u"\u20AC\u00E9\u4E2D"), "\x80\xE9?");
  EXPECT_EQ(sim::FromCodePage(1252, "\x80\xE9"), u"\u20AC\u00E9");
}

}  // namespace

// Registry-editor export: the exact bytes of each value type, line wrapping,
// and error comments.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/sim/builder.h"
#include "registry/reg_export.h"
#include "test_support.h"

namespace {

using platform::HKEY_LOCAL_MACHINE;

const std::u16string kKey = u"HKLM\\SOFTWARE\\T";
const std::string kHeader = "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n";

std::vector<std::uint8_t> Counting(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i);
  return v;
}

std::vector<std::uint8_t> Le(std::u16string_view s) {
  std::vector<std::uint8_t> v;
  for (char16_t c : s)
    v.insert(v.end(), {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>(c >> 8)});
  return v;
}

sim::MachineBuilder ValueMachine() {
  sim::MachineBuilder b;
  b.StringValue(kKey, u"", u"C:\\a\"b");
  b.DwordValue(kKey, u"Count", 255);
  b.StringValue(kKey, u"a\\b", u"x");
  b.StringValue(kKey, u"say \"hi\"", u"x");
  b.Value(kKey, u"Path", platform::REG_EXPAND_SZ, Le(std::u16string(u"%W%\\x\0", 6)));
  b.Value(kKey, u"Lines", platform::REG_MULTI_SZ, Le(std::u16string(u"a\0b\0\0", 5)));
  b.Value(kKey, u"Big", platform::REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
  b.Value(kKey, u"binaryvalue13", platform::REG_BINARY, Counting(30));
  b.Value(kKey, u"Empty", platform::REG_BINARY, {});
  b.Value(kKey, u"None", platform::REG_NONE, {1});
  b.Value(kKey, u"Odd", 99, {1});
  b.Value(kKey, u"short", platform::REG_DWORD, {1, 2});
  b.StringValue(kKey, u"caf\u00e9", u"\u00e9t\u00e9");
  return b;
}

std::string ExportOne(std::string_view name, bool unicode = false) {
  std::ostringstream out;
  registry::ExportValue(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\T", name, false, unicode, out);
  return out.str();
}

TEST(RegExport, ValueLinesByType) {
  auto b = ValueMachine();
  testing_support::SimMachineFixture fx(b);
  struct Case {
    const char* name;
    std::string line;
  };
  const Case cases[] = {
      {"", "@=\"C:\\\\a\\\"b\""},
      {"Count", "\"Count\"=dword:000000ff"},
      {"a\\b", "\"a\\\\b\"=\"x\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\"=\"x\""},
      {"Path", "\"Path\"=hex(2):25,57,25,5c,78,00,00"},  // the terminator, then ",00"
      {"Lines", "\"Lines\"=hex(7):61,00,62,00,00"},
      {"Big", "\"Big\"=hex(B):01,02,03,04,05,06,07,08"},
      {"Empty", "\"Empty\"=hex:"},
      {"None", "// the type of value \"\"None\"\" is not set"},
      {"Odd", "// the type of value \"\"Odd\"\" is unknown"},
      {"short", "// an exception occured while reading integer value \"\"short\"\""},
      {"nope", "// the value \"\"nope\"\" does not exist"},
      {"caf\xe9", "\"caf\xe9\"=\"\xe9t\xe9\""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExportOne(c.name), kHeader + c.line + "\r\n") << c.name;
}

TEST(RegExport, LongByteListsWrapAfterColumn76) {
  auto b = ValueMachine();
  testing_support::SimMachineFixture fx(b);
  // A 20-character prefix: 19 bytes fill the first line, the other 11 follow
  // after two blanks.
  EXPECT_EQ(ExportOne("binaryvalue13"), kHeader +
                                            "\"binaryvalue13\"=hex:00,01,02,03,04,05,06,07,08,09,0a,"
                                            "0b,0c,0d,0e,0f,"
                                            "10,11,12,\\\r\n  13,14,15,16,17,18,19,1a,1b,1c,1d\r\n");
  struct Case {
    std::size_t bytes, column;
    std::string list;
  };
  const Case cases[] = {
      {2, 73, "00,01"},          // column 76 is not past the limit
      {2, 74, "00,\\\r\n  01"},  // 77 is
      {1, 74, "00"},             // no break without a byte after it
      {0, 10, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(registry::HexByteList(Counting(c.bytes), c.column), c.list) << c.column;
  // A continuation line starts at column 2: it holds 25 bytes before the next
  // break.
  EXPECT_EQ(registry::HexByteList(Counting(25), 2).find('\\'), std::string::npos);
  EXPECT_EQ(registry::HexByteList(Counting(26), 2).find('\\'), 75u);
}

TEST(RegExport, UnicodeOutputWidensEveryCharacter) {
  auto b = ValueMachine();
  testing_support::SimMachineFixture fx(b);
  const std::string narrow =
      "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n\"Path\"=hex(2):25,00,57,00,25,"
      "00,5c,00,78,00,"
      "00,00\r\n";
  std::string wide;
  for (char c : narrow) wide += {c, '\0'};
  EXPECT_EQ(ExportOne("Path", true), wide);
}

TEST(RegExport, KeysRecursivelyAsTheWin32ViewListsThem) {
  sim::MachineBuilder b;
  b.StringValue(u"HKLM\\SOFTWARE\\R", u"v", u"1");
  b.DwordValue(u"HKLM\\SOFTWARE\\R\\Sub", u"d", 1);
  b.Key(u"HKLM\\SOFTWARE\\R\\Sub\\Deep");
  b.Key(u"HKLM\\SOFTWARE\\R\\Locked").fail.win32Open = true;
  b.Key(u"HKLM\\SOFTWARE\\R\\Hidden").hidden = true;
  testing_support::SimMachineFixture fx(b);
  std::ostringstream out;
  registry::ExportKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\R\\", true, false, false, out);
  EXPECT_EQ(out.str(),
            "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\R]\r\n\"v\"=\"1\"\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\R\\Locked]\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\R\\Sub]\r\n\"d\"=dword:00000001\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\R\\Sub\\Deep]\r\n");

  std::ostringstream flat;
  registry::ExportKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\R", false, false, false, flat);
  EXPECT_EQ(flat.str(), "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\R]\r\n\"v\"=\"1\"\r\n");

  std::ostringstream missing;
  registry::ExportKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Nope", true, false, false, missing);
  EXPECT_EQ(missing.str(), "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Nope]\r\n");
}

TEST(RegExport, ValuesOfOneKeyInTheGivenOrder) {
  auto b = ValueMachine();
  testing_support::SimMachineFixture fx(b);
  std::ostringstream out;
  registry::ExportValues(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\T\\", {"Count", "a\\b"}, false, false, out);
  EXPECT_EQ(out.str(),
            "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T\\]\r\n\"Count\"="
            "dword:000000ff\r\n\"a\\\\b\"=\"x\"\r\n");
}

}  // namespace

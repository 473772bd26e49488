// Removal scripts: each dialect's exact lines for fixed rows of both scans, on a small machine
// whose files the include-file dialect measures.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/removal_script.h"
#include "archive/removal_script.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::u16string>;

const std::u16string kAttention =
    u"\r\n// Attention: entries with a zero character will not be displayed correctly and may not work!";
const std::u16string kZeroFile(u"evil\0x.sys", 10);
const std::u16string kZeroKey(u"Hello\0World", 11);
const char16_t* kAbcMD5 = u"900150983CD24FB0D6963F7D28E17F72";  // MD5 of "abc"

app::QuickFinding Quick(std::int32_t kind, const char* utf8) { return {utf8, kind}; }
app::TDeepScanRow Deep(std::int32_t kind, std::u16string location, std::u16string object,
                       const char* details) {
  app::TDeepScanRow row;
  row.Kind = kind;
  row.Location = std::move(location);
  row.Object = std::move(object);
  row.Details = details;
  return row;
}

// The framing of each dialect around its entry lines (the "no findings" case spells it out).
Lines Ferrox(const Lines& entries) {
  Lines lines{u"// info: Rootkit removal help file", std::u16string(archive::kFerroxLegalNoticeLine), u"",
              u":: Umbrascope Results"};
  lines.insert(lines.end(), entries.begin(), entries.end());
  return lines;
}
Lines Avenger(const Lines& files, const Lines& folders, const Lines& keys, const Lines& values) {
  Lines lines{u"Comment:", u"File created using Umbrascope to help your get rid of a rootkit.", u""};
  auto section = [&](const char16_t* title, const Lines& entries) {
    lines.emplace_back(title);
    lines.insert(lines.end(), entries.begin(), entries.end());
    lines.emplace_back();
  };
  section(u"Files to delete:", files);
  section(u"Folders to delete:", folders);
  section(u"Registry keys to delete:", keys);
  section(u"Registry values to delete:", values);
  return lines;
}
Lines ComboFix(const Lines& files, const Lines& folders, const Lines& keys, const Lines& values) {
  Lines lines{u"File::"};
  lines.insert(lines.end(), files.begin(), files.end());
  lines.insert(lines.end(), {u"", u"Folder::"});
  lines.insert(lines.end(), folders.begin(), folders.end());
  lines.insert(lines.end(), {u"", u"Registry::"});
  lines.insert(lines.end(), keys.begin(), keys.end());
  lines.emplace_back();
  lines.insert(lines.end(), values.begin(), values.end());
  lines.emplace_back();
  return lines;
}

struct Case {
  const char* what;
  std::vector<app::QuickFinding> quick;
  std::vector<app::TDeepScanRow> deep;
  Lines ferrox, avenger, combofix;
  std::size_t entries;
};

std::vector<Case> Cases() {
  const std::u16string hklm = u"HKEY_LOCAL_MACHINE";
  const std::u16string run = u"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\";
  std::vector<Case> cases;

  cases.push_back({"no findings: the framing alone",
                   {},
                   {},
                   {u"// info: Rootkit removal help file", std::u16string(archive::kFerroxLegalNoticeLine),
                    u"", u":: Umbrascope Results"},
                   {u"Comment:", u"File created using Umbrascope to help your get rid of a rootkit.", u"",
                    u"Files to delete:", u"", u"Folders to delete:", u"", u"Registry keys to delete:", u"",
                    u"Registry values to delete:", u""},
                   {u"File::", u"", u"Folder::", u"", u"Registry::", u"", u""},
                   0});

  cases.push_back({"process findings never reach a script",
                   {Quick(0, "1752"), Quick(0, "1836: wraith.exe")},
                   {},
                   Ferrox({}),
                   Avenger({}, {}, {}, {}),
                   ComboFix({}, {}, {}, {}),
                   0});

  cases.push_back(
      {"a file of known content, found by both scans, is written twice with its size and MD5",
       {Quick(3, "C:\\abc.txt")},
       {Deep(3, u"C:\\", u"abc.txt", "Invisible to Win32")},
       Ferrox({u"File:\"Hidden file\",\"C:\\abc.txt\",\"filesize=3,md5=" + std::u16string(kAbcMD5) + u"\"",
               u"File:\"Invisible to Win32\",\"C:\\abc.txt\",\"filesize=3,md5=" + std::u16string(kAbcMD5) +
                   u"\""}),
       Avenger({u"C:\\abc.txt", u"C:\\abc.txt"}, {}, {}, {}),
       ComboFix({u"C:\\abc.txt", u"C:\\abc.txt"}, {}, {}, {}),
       2});

  cases.push_back(
      {"empty, missing, unreadable and reserved-name files get neither size nor MD5",
       {},
       {Deep(3, u"C:\\", u"empty.txt", "Invisible to Win32"),
        Deep(3, u"C:\\", u"missing.txt", "Invisible to Win32"),
        Deep(3, u"C:\\", u"locked.bin", "No admin in ACL"),
        Deep(3, u"C:\\", u"lpt1.txt", "Reserved filename")},
       Ferrox({u"File:\"Invisible to Win32\",\"C:\\empty.txt\"",
               u"File:\"Invisible to Win32\",\"C:\\missing.txt\"",
               u"File:\"No admin in ACL\",\"C:\\locked.bin\"",
               u"File:\"Reserved filename\",\"C:\\lpt1.txt\""}),
       Avenger({u"C:\\empty.txt", u"C:\\missing.txt", u"C:\\locked.bin", u"C:\\lpt1.txt"}, {}, {}, {}),
       ComboFix({u"C:\\empty.txt", u"C:\\missing.txt", u"C:\\locked.bin", u"C:\\lpt1.txt"}, {}, {}, {}),
       4});

  cases.push_back({"a file name with \"=\" is split at the last one",
                   {},
                   {Deep(3, u"C:\\", u"a=b.txt", "Invisible to Win32")},
                   Ferrox({u"File:\"Invisible to Win32\",\"C:\\a=b.txt\",\"filesize=3,md5=" +
                           std::u16string(kAbcMD5) + u"\""}),
                   Avenger({u"C:\\a=b.txt"}, {}, {}, {}),
                   ComboFix({u"C:\\a=b.txt"}, {}, {}, {}),
                   1});

  // C:\data\evil exists: what the Win32 functions would open for the name cut at its zero.
  cases.push_back({"a zero character in a file name is written as \\0 and the file is not measured",
                   {},
                   {Deep(3, u"C:\\data\\", kZeroFile, "Zero char in filename")},
                   Ferrox({u"File:\"Zero char in filename\",\"C:\\data\\evil\\0x.sys\"" + kAttention}),
                   Avenger({u"C:\\data\\evil\\0x.sys" + kAttention}, {}, {}, {}),
                   ComboFix({u"C:\\data\\evil\\0x.sys" + kAttention}, {}, {}, {}),
                   1});

  // The 8-bit name of "\u0101.txt" is "?.txt", the name of another file here.
  cases.push_back({"a name the code page cannot hold is not measured under another file's name",
                   {},
                   {Deep(3, u"C:\\", u"\u0101.txt", "Invisible to Win32")},
                   Ferrox({u"File:\"Invisible to Win32\",\"C:\\\u0101.txt\""}),
                   Avenger({u"C:\\\u0101.txt"}, {}, {}, {}),
                   ComboFix({u"C:\\\u0101.txt"}, {}, {}, {}),
                   1});

  cases.push_back({"a stream finding is a file entry with its stream suffix",
                   {},
                   {Deep(3, u"C:\\", u"abc.txt:evil:$DATA", "Unknown ADS"),
                    Deep(3, u"C:\\Temp\\", u"Folder:hide.txt:$DATA", "Unknown ADS")},
                   Ferrox({u"File:\"Unknown ADS\",\"C:\\abc.txt:evil:$DATA\"",
                           u"File:\"Unknown ADS\",\"C:\\Temp\\Folder:hide.txt:$DATA\""}),
                   Avenger({u"C:\\abc.txt:evil:$DATA", u"C:\\Temp\\Folder:hide.txt:$DATA"}, {}, {}, {}),
                   ComboFix({u"C:\\abc.txt:evil:$DATA", u"C:\\Temp\\Folder:hide.txt:$DATA"}, {}, {}, {}),
                   2});

  cases.push_back({"folders from both scans",
                   {Quick(2, "C:\\WINDOWS\\cache")},
                   {Deep(2, u"C:\\WINDOWS\\", u"cache", "No admin in ACL")},
                   Ferrox({u"Directory:\"Hidden directory\",\"C:\\WINDOWS\\cache\"",
                           u"Directory:\"No admin in ACL\",\"C:\\WINDOWS\\cache\""}),
                   Avenger({}, {u"C:\\WINDOWS\\cache", u"C:\\WINDOWS\\cache"}, {}, {}),
                   ComboFix({}, {u"C:\\WINDOWS\\cache", u"C:\\WINDOWS\\cache"}, {}, {}),
                   2});

  cases.push_back(
      {"hidden keys and values, a short root name written long",
       {Quick(5, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\evil"),
        Quick(4, "HKLM\\SOFTWARE\\Evil Corp")},
       {Deep(4, hklm + u"\\SYSTEM\\CurrentControlSet\\Services\\", u"wraith", "Invisible to Win32"),
        Deep(5, hklm + run, u"evil", "Invisible to Win32")},
       Ferrox({u"RegyKey:\"Hidden key\",\"HKEY_LOCAL_MACHINE\",\"\\SOFTWARE\\\",\"Evil Corp\"",
               u"RegyKey:\"Invisible to "
               u"Win32\",\"HKEY_LOCAL_MACHINE\",\"\\SYSTEM\\CurrentControlSet\\Services\\\","
               u"\"wraith\"",
               u"RegyValue:\"Hidden value\",\"HKEY_LOCAL_MACHINE\",\"" + run + u"\",\"evil\"",
               u"RegyValue:\"Invisible to Win32\",\"HKEY_LOCAL_MACHINE\",\"" + run + u"\",\"evil\""}),
       Avenger(
           {}, {},
           {u"HKLM\\SOFTWARE\\Evil Corp", u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\wraith"},
           {hklm + run + u"evil", hklm + run + u"evil"}),
       ComboFix({}, {},
                {u"[-HKLM\\SOFTWARE\\Evil Corp]",
                 u"[-HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\wraith]"},
                {u"[" + hklm + run + u"]", u"\"evil\"=-", u"[" + hklm + run + u"]", u"\"evil\"=-"}),
       4});

  cases.push_back(
      {"zero characters in key and value names",
       {},
       {Deep(4, hklm + u"\\SOFTWARE\\Test\\", kZeroKey, "Zero char in key name"),
        Deep(5, hklm + u"\\SOFTWARE\\Test\\", kZeroKey, "Zero char in value name")},
       Ferrox({u"RegyKey:\"Zero char in key "
               u"name\",\"HKEY_LOCAL_MACHINE\",\"\\SOFTWARE\\Test\\\",\"Hello\\0World\"" +
                   kAttention,
               u"RegyValue:\"Zero char in value name\",\"HKEY_LOCAL_MACHINE\",\"\\SOFTWARE\\Test\\\","
               u"\"Hello\\0World\"" +
                   kAttention}),
       Avenger({}, {}, {hklm + u"\\SOFTWARE\\Test\\Hello\\0World" + kAttention},
               {hklm + u"\\SOFTWARE\\Test\\Hello\\0World" + kAttention}),
       // The value's two lines are escaped one by one: only the name line has a zero.
       ComboFix({}, {}, {u"[-" + hklm + u"\\SOFTWARE\\Test\\Hello\\0World]" + kAttention},
                {u"[" + hklm + u"\\SOFTWARE\\Test\\]", u"\"Hello\\0World\"=-" + kAttention}),
       2});

  cases.push_back({"a key that could not be opened has an empty last name",
                   {},
                   {Deep(4, hklm + u"\\SAM\\SAM\\", u"", "Could not open key")},
                   Ferrox({u"RegyKey:\"Could not open key\",\"HKEY_LOCAL_MACHINE\",\"\\SAM\\SAM\\\",\"\""}),
                   Avenger({}, {}, {u"HKEY_LOCAL_MACHINE\\SAM\\SAM\\"}, {}),
                   ComboFix({}, {}, {u"[-HKEY_LOCAL_MACHINE\\SAM\\SAM\\]"}, {}),
                   1});

  cases.push_back({"registry names without a known root keep their own text in the three fields",
                   {Quick(4, "evil"), Quick(5, "HKFOO\\Sub\\Deeper\\v")},
                   {},
                   Ferrox({u"RegyKey:\"Hidden key\",\"\",\"\",\"evil\"",
                           u"RegyValue:\"Hidden value\",\"HKFOO\",\"\\Sub\\Deeper\\\",\"v\""}),
                   Avenger({}, {}, {u"evil"}, {u"HKFOO\\Sub\\Deeper\\v"}),
                   ComboFix({}, {}, {u"[-evil]"}, {u"[HKFOO\\Sub\\Deeper\\]", u"\"v\"=-"}),
                   2});

  // Value names may hold a "\"; a quick finding is only text and is cut at its last one.
  cases.push_back(
      {"a Deep Scan value whose name holds a backslash keeps its own cut",
       {Quick(5, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\a\\b")},
       {Deep(5, hklm + u"\\SOFTWARE\\Run\\", u"a\\b", "Invisible to Win32")},
       Ferrox({u"RegyValue:\"Hidden value\",\"HKEY_LOCAL_MACHINE\",\"\\SOFTWARE\\Run\\a\\\",\"b\"",
               u"RegyValue:\"Invisible to Win32\",\"HKEY_LOCAL_MACHINE\",\"\\SOFTWARE\\Run\\\",\"a\\b\""}),
       Avenger({}, {}, {}, {hklm + u"\\SOFTWARE\\Run\\a\\b", hklm + u"\\SOFTWARE\\Run\\a\\b"}),
       ComboFix({}, {}, {},
                {u"[" + hklm + u"\\SOFTWARE\\Run\\a\\]", u"\"b\"=-", u"[" + hklm + u"\\SOFTWARE\\Run\\]",
                 u"\"a\\b\"=-"}),
       2});

  // A hidden value whose name holds a line break must not add a line of its own to the script.
  cases.push_back(
      {"CR and LF in a name are made visible, never a line of their own",
       {},
       {Deep(5, hklm + run, u"x\r\n[-HKEY_LOCAL_MACHINE\\SYSTEM]", "Invisible to Win32")},
       Ferrox({u"RegyValue:\"Invisible to Win32\",\"HKEY_LOCAL_MACHINE\",\"" + run +
               u"\",\"x\\r\\n[-HKEY_LOCAL_MACHINE\\SYSTEM]\"" + kAttention}),
       Avenger({}, {}, {}, {hklm + run + u"x\\r\\n[-HKEY_LOCAL_MACHINE\\SYSTEM]" + kAttention}),
       ComboFix({}, {}, {},
                {u"[" + hklm + run + u"]", u"\"x\\r\\n[-HKEY_LOCAL_MACHINE\\SYSTEM]\"=-" + kAttention}),
       1});
  return cases;
}

class RemovalScript : public ::testing::Test {
 protected:
  static sim::MachineBuilder& Build(sim::MachineBuilder& b) {
    b.File(u"C:\\abc.txt", "abc");
    b.File(u"C:\\a=b.txt", "abc");
    b.File(u"C:\\empty.txt");
    b.File(u"C:\\locked.bin", "data").fail.read = true;
    b.File(u"C:\\lpt1.txt", "a device's name");
    b.File(u"C:\\data\\evil", "the file the cut name would open");
    b.File(u"C:\\\u0101.txt", "hidden");
    b.File(u"C:\\?.txt", "the file the 8-bit name would open");
    b.File(u"C:\\data\\" + kZeroFile, "hidden");
    return b;
  }
  RemovalScript() : fx_(Build(b_)) {}
  sim::MachineBuilder b_;
  testing_support::SimMachineFixture fx_;
};

TEST_F(RemovalScript, EachDialectLineForLine) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(app::BuildRemovalScript(archive::kScriptFerrox, c.quick, c.deep), c.ferrox);
    EXPECT_EQ(app::BuildRemovalScript(archive::kScriptAvenger, c.quick, c.deep), c.avenger);
    EXPECT_EQ(app::BuildRemovalScript(archive::kScriptComboFix, c.quick, c.deep), c.combofix);
    EXPECT_EQ(app::RemovalScriptEntries(c.quick, c.deep), c.entries);
  }
}

TEST_F(RemovalScript, QuickScanRowsComeFirstThenTheDeepScanRowsInListOrder) {
  const std::vector<app::QuickFinding> quick{Quick(3, "C:\\q2"), Quick(3, "C:\\q1")};
  const std::vector<app::TDeepScanRow> deep{Deep(3, u"C:\\", u"d2", "Invisible to Win32"),
                                            Deep(3, u"C:\\", u"d1", "Invisible to Win32")};
  EXPECT_EQ(app::BuildRemovalScript(archive::kScriptAvenger, quick, deep),
            Avenger({u"C:\\q2", u"C:\\q1", u"C:\\d2", u"C:\\d1"}, {}, {}, {}));
}

TEST_F(RemovalScript, TheOutputIsReplacedAndAnUnknownTypeRaises) {
  std::vector<std::u16string> out{u"left over"};
  archive::BuildRemovalScript(archive::kScriptComboFix, {}, {}, out);
  EXPECT_EQ(out, ComboFix({}, {}, {}, {}));
  EXPECT_THROW(archive::BuildRemovalScript(3, {}, {}, out), std::invalid_argument);
}

TEST(EscapeZeroChars, EachZeroBecomesBackslashZeroAndTheCommentFollowsInTheSameString) {
  struct EscapeCase {
    std::u16string in, out;
  };
  const EscapeCase cases[] = {
      {u"plain", u"plain"},
      {u"", u""},
      {u"a\\0b", u"a\\0b"},  // already a backslash and a digit: no zero character, unchanged
      {std::u16string(u"a\0b", 3), u"a\\0b" + kAttention},
      {std::u16string(u"\0\0", 2), u"\\0\\0" + kAttention},
      {std::u16string(u"end\0", 4), u"end\\0" + kAttention},
  };
  for (const auto& c : cases) EXPECT_EQ(archive::EscapeZeroChars(c.in), c.out);
}

TEST(RemovalScriptText, OneKindOfLineEndInUtf8) {
  const std::vector<std::u16string> lines{u"File::", u"C:\\\u00E9vil\\0" + kAttention, u""};
  EXPECT_EQ(archive::RemovalScriptText(lines, "\n"),
            "File::\nC:\\\xC3\xA9vil\\0\n// Attention: entries with a zero character will not be displayed "
            "correctly "
            "and may not work!\n\n");
  EXPECT_EQ(
      archive::RemovalScriptText(lines, "\r\n"),
      "File::\r\nC:\\\xC3\xA9vil\\0\r\n// Attention: entries with a zero character will not be displayed "
      "correctly and may not work!\r\n\r\n");
}

}  // namespace

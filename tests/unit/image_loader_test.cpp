// The system image loader: what a malformed image is told, and where a good image's fields land.
#include "platform/sim/image_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <unordered_map>

#include "base/utf.h"
#include "platform/sim/builder.h"

namespace {

using sim::LoadImage;

// The message a malformed image gives, or "" when it loads.
std::string ErrorOf(const std::string& json) {
  try {
    LoadImage(json, "t.json");
    return "";
  } catch (const sim::ImageError& e) {
    return e.what();
  }
}

std::string WithFiles(const std::string& files) {
  return R"({"umbrascopeImage": 1, "files": [)" + files + "]}";
}
std::string WithKeys(const std::string& keys) {
  return R"({"umbrascopeImage": 1, "registry": [)" + keys + "]}";
}
std::string WithProcesses(const std::string& procs) {
  return R"({"umbrascopeImage": 1, "processes": [)" + procs + "]}";
}

TEST(ImageLoader, MalformedImagesNameFilePathAndProblem) {
  struct Case {
    std::string json;
    std::string message;
  };
  const Case cases[] = {
      // The document and its version.
      {"{\n  \"umbrascopeImage\": 1,\n}",
       "t.json: line 3, column 1: syntax error while parsing object key - unexpected '}'; expected string "
       "literal"},
      // A number beyond a double's range is refused like a syntax error, not let out as another error.
      {"1e999", "t.json: line 1, column 5: number overflow parsing '1e999'"},
      {"{\"umbrascopeImage\": 1,\n \"x-note\": [-1e400]}",
       "t.json: line 2, column 18: number overflow parsing '-1e400'"},
      {"[1]", "t.json: expected an object at the top, got an array"},
      {"{}", "t.json: umbrascopeImage: required key is missing (is this a system image?)"},
      {R"({"umbrascopeImage": 2})", "t.json: umbrascopeImage: unsupported format version 2 (expected 1)"},
      {R"({"umbrascopeImage": "1"})", "t.json: umbrascopeImage: expected a number, got a string"},
      {R"({"umbrascopeImage": 1, "colour": 1})", "t.json: colour: unknown key"},
      {R"({"umbrascopeImage": 1, "files": {}})", "t.json: files: expected an array, got an object"},
      {WithFiles(R"({"path": "C:\\a", "size": 1, "size": 2})"),
       "t.json: files[0].size: the key is given twice"},
      // Numbers.
      {WithFiles(R"({"path": "C:\\a", "size": "12"})"),
       "t.json: files[0].size: expected a number, got a string"},
      {WithFiles(R"({"path": "C:\\a", "size": "0x1G"})"),
       "t.json: files[0].size: bad hexadecimal number \"0x1G\""},
      {WithFiles(R"({"path": "C:\\a", "size": 1.5})"),
       "t.json: files[0].size: expected a whole number, got 1.5"},
      {WithFiles(R"({"path": "C:\\a", "attributes": -1})"),
       "t.json: files[0].attributes: number -1 is out of range (0 to 4294967295)"},
      {WithFiles(R"({"path": "C:\\a", "attributes": "0x100000000"})"),
       "t.json: files[0].attributes: number 0x100000000 is out of range (0 to 4294967295)"},
      {WithFiles(R"({"path": "C:\\a", "hidden": 1})"),
       "t.json: files[0].hidden: expected true or false, got a number"},
      // Files.
      {WithFiles(R"({"path": "C:\\WINDOWS\\a.sys"}, {"path": "C:\\b"}, {"path": "c:\\windows\\A.SYS"})"),
       "t.json: files[2].path: duplicate path c:\\windows\\A.SYS"},
      {WithFiles(R"({"path": "D:\\x"})"), "t.json: files[0].path: no volume for drive D:"},
      {WithFiles(R"({"path": "x.txt"})"),
       "t.json: files[0].path: expected a full path below a drive such as C:\\folder\\file, got \"x.txt\""},
      {WithFiles(R"({"path": "C:\\a\\\\b"})"), "t.json: files[0].path: empty name in path C:\\a\\\\b"},
      {WithFiles(R"({"path": "C:\\a"}, {"path": "C:\\a\\b"})"),
       "t.json: files[1].path: C:\\a is a file, so nothing can lie below it"},
      {WithFiles(R"({"path": "C:\\a\\b"}, {"path": "C:\\a"})"),
       "t.json: files[1].path: C:\\a is a folder: other entries lie below it"},
      {WithFiles(R"({"path": "C:\\a", "folder": true, "content": "x"})"),
       "t.json: files[0].content: a folder has no content"},
      {WithFiles(R"({"path": "C:\\a", "content": "abc", "size": 2})"),
       "t.json: files[0].size: size 2 is smaller than the content (3 bytes)"},
      {WithFiles(R"({"path": "C:\\a", "content": "a", "contentBase64": "YQ=="})"),
       "t.json: files[0].contentBase64: give content or contentBase64, not both"},
      {WithFiles(R"({"path": "C:\\a", "contentBase64": "YW*j"})"),
       "t.json: files[0].contentBase64: bad base64: unexpected character at position 3"},
      {WithFiles(R"({"path": "C:\\a", "contentBase64": "YWJjZ"})"),
       "t.json: files[0].contentBase64: bad base64: the data end in the middle of a group"},
      {WithFiles(R"({"path": "C:\\a", "folder": true, "attributes": 6})"),
       "t.json: files[0].attributes: attributes 0x6 of a folder lack the folder bit 0x10"},
      {WithFiles(R"({"path": "C:\\a", "attributes": "0x30"})"),
       "t.json: files[0].attributes: attributes 0x30 of a file carry the folder bit 0x10"},
      {WithFiles(R"({"path": "C:\\a", "times": {"creation": "2004-02-30T00:00:00"}})"),
       "t.json: files[0].times.creation: bad time \"2004-02-30T00:00:00\" (expected YYYY-MM-DDTHH:MM:SS)"},
      {WithFiles(R"({"path": "C:\\a", "times": {"modified": "2004-01-30T00:00:00"}})"),
       "t.json: files[0].times.modified: unknown key"},
      {WithFiles(R"({"path": "C:\\a", "streams": [{"name": ":extra:$DATA"}]})"),
       "t.json: files[0].streams[0].name: expected the stream's own name without colons or \":$DATA\", got "
       "\":extra:$DATA\""},
      {WithFiles(R"({"path": "C:\\a", "streams": [{"name": "s"}, {"name": "S"}]})"),
       "t.json: files[0].streams[1].name: duplicate stream name S"},
      {WithFiles(R"({"path": "C:\\a:b"})"),
       "t.json: files[0].path: a name cannot hold \":\" (streams are given as \"streams\"): C:\\a:b"},
      {WithFiles(R"({"path": "C:\\a", "shortName": "LONGNAMES.TXT"})"),
       "t.json: files[0].shortName: not an 8.3 name: \"LONGNAMES.TXT\""},
      {WithFiles(R"({"path": "C:\\d\\Long one", "shortName": "ZZ.TXT"}, {"path": "C:\\d\\zz.txt"})"),
       "t.json: files[0].shortName: short name ZZ.TXT is taken in its folder"},
      {WithFiles(
           R"({"path": "C:\\d\\Long one", "shortName": "S~1"}, {"path": "C:\\d\\Long two", "shortName": "s~1"})"),
       "t.json: files[1].shortName: short name s~1 is taken in its folder"},
      {WithFiles(R"({"path": "C:\\a", "win32Kind": "dir"})"),
       "t.json: files[0].win32Kind: expected \"file\" or \"folder\", got \"dir\""},
      {WithFiles(R"({"path": "C:\\a", "fail": ["read", "write"]})"),
       "t.json: files[0].fail[1]: unknown failure \"write\" (known: nativeOpen, nativeListAfter:N, "
       "win32List, "
       "security, streams, read)"},
      {WithFiles(R"({"path": "C:\\a", "fail": ["nativeListAfter:x"]})"),
       "t.json: files[0].fail[0]: expected nativeListAfter: and a number of entries, got "
       "\"nativeListAfter:x\""},
      // Registry.
      {WithKeys(R"({"key": "HKLM\\S"}, {"key": "HKEY_LOCAL_MACHINE\\s\\"})"),
       "t.json: registry[1].key: duplicate key HKEY_LOCAL_MACHINE\\s\\"},
      {WithKeys(R"({"key": "HKPD\\x"})"),
       "t.json: registry[0].key: unknown root key in HKPD\\x (expected HKEY_LOCAL_MACHINE, HKEY_USERS, "
       "HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG or a short form)"},
      {WithKeys(R"({"key": "HKLM\\a\\\\b"})"), "t.json: registry[0].key: empty key name in HKLM\\a\\\\b"},
      {WithKeys(R"({"key": "HKLM\\S", "fail": ["win32Delete"]})"),
       "t.json: registry[0].fail[0]: unknown failure \"win32Delete\" (known: win32Open, nativeOpen, "
       "security, "
       "win32List)"},
      {WithKeys(R"({"key": "HKLM\\S", "values": [{"name": "a", "data": "x"}]})"),
       "t.json: registry[0].values[0].type: required key is missing"},
      {WithKeys(R"({"key": "HKLM\\S", "values": [{"name": "a", "type": 1}, {"name": "A", "type": 1}]})"),
       "t.json: registry[0].values[1].name: duplicate value A"},
      {WithKeys(R"({"key": "HKLM\\S", "values": [{"name": "a", "type": 4, "data": "ten"}]})"),
       "t.json: registry[0].values[0].data: expected a number, got a string"},
      {WithKeys(R"({"key": "HKLM\\S", "values": [{"name": "a", "type": 4, "data": 4294967296}]})"),
       "t.json: registry[0].values[0].data: number 4294967296 is out of range (0 to 4294967295)"},
      {WithKeys(R"({"key": "HKLM\\S", "values": [{"name": "a", "type": 1, "data": 5}]})"),
       "t.json: registry[0].values[0].data: a value of type 1 takes text as data, got a number"},
      {WithKeys(R"({"key": "HKLM\\S", "values": [{"name": "a", "type": 7, "data": ["x"]}]})"),
       "t.json: registry[0].values[0].data: a value of type 7 takes text as data, got an array"},
      {WithKeys(R"({"key": "HKLM\\S", "values": [{"name": "a", "type": 3, "data": "x"}]})"),
       "t.json: registry[0].values[0].data: a value of type 3 takes its data as dataHex"},
      {WithKeys(R"({"key": "HKLM\\S", "values": [{"name": "a", "type": 3, "dataHex": "0a0"}]})"),
       "t.json: registry[0].values[0].dataHex: bad hex data at character 3: expected pairs of hex digits"},
      {WithKeys(R"({"key": "HKLM\\S", "values": [{"name": "a", "type": 3, "data": "x", "dataHex": "00"}]})"),
       "t.json: registry[0].values[0].dataHex: give data or dataHex, not both"},
      // Processes.
      {WithProcesses(R"({"pid": 4}, {"pid": "0x4"})"), "t.json: processes[1].pid: duplicate pid 4"},
      {WithProcesses(R"({"pid": 8, "imagePath": "E:\\x.exe"})"),
       "t.json: processes[0].imagePath: no volume for drive E:"},
      {WithProcesses(R"({"pid": 8, "modules": [{"path": "\\SystemRoot\\x.exe"}, {"path": "e:\\x.dll"}]})"),
       "t.json: processes[0].modules[1].path: no volume for drive e:"},
      {WithProcesses(R"({"exeFile": "a.exe"})"), "t.json: processes[0].pid: required key is missing"},
      {WithProcesses(R"({"pid": 8, "threads": [{"basePriority": 8}]})"),
       "t.json: processes[0].threads[0].tid: required key is missing"},
      {WithProcesses(R"({"pid": 8, "threads": [{"tid": 12, "deltaPriority": 2147483648}]})"),
       "t.json: processes[0].threads[0].deltaPriority: number 2147483648 is out of range (-2147483648 to "
       "2147483647)"},
      {WithProcesses(R"({"pid": 8, "handles": [{"value": 4}, {"value": "0x4"}]})"),
       "t.json: processes[0].handles[1].value: duplicate handle 0x4 in this process"},
      {WithProcesses(R"({"pid": 8, "memory": [{"base": 4096}]})"),
       "t.json: processes[0].memory[0].contentBase64: required key is missing"},
      {WithProcesses(R"({"pid": 8, "memory": [{"base": 4096, "contentBase64": ""}]})"),
       "t.json: processes[0].memory[0].contentBase64: a memory region needs content"},
      {WithProcesses(
           R"({"pid": 8, "memory": [{"base": 4096, "contentBase64": "AAAA"}, {"base": 4098, "contentBase64": "AA=="}]})"),
       "t.json: processes[0].memory[1].base: the region overlaps processes[0].memory[0]"},
      // Volumes, accounts, system facts.
      {R"({"umbrascopeImage": 1, "volumes": [{"drive": "C"}, {"drive": "c"}]})",
       "t.json: volumes[1].drive: duplicate drive C"},
      {R"({"umbrascopeImage": 1, "volumes": [{"drive": "C:"}]})",
       "t.json: volumes[0].drive: expected a drive letter A to Z, got \"C:\""},
      {R"({"umbrascopeImage": 1, "volumes": [{"drive": "C", "type": 7}]})",
       "t.json: volumes[0].type: unknown drive type 7 (2 removable, 3 fixed, 4 remote, 5 optical, 6 RAM "
       "disk)"},
      {R"({"umbrascopeImage": 1, "volumes": [{"label": "x"}]})",
       "t.json: volumes[0].drive: required key is missing"},
      {R"({"umbrascopeImage": 1, "accounts": [{"sid": "S-1-5-32-544", "name": "A"}, {"sid": "S-1-5-32-544", "name": "B"}]})",
       "t.json: accounts[1].sid: duplicate SID S-1-5-32-544"},
      {R"({"umbrascopeImage": 1, "system": {"userSid": "S-1-5-"}})",
       "t.json: system.userSid: not a SID: \"S-1-5-\""},
      {R"({"umbrascopeImage": 1, "system": {"codePage": 1250}})",
       "t.json: system.codePage: code page 1250 is not supported (1252 or 65001)"},
      {R"({"umbrascopeImage": 1, "volumes": [{"drive": "D"}]})",
       "t.json: system.windowsDirectory: no volume for drive C: (of C:\\WINDOWS)"},
      {R"({"umbrascopeImage": 1, "system": {"windowsDirectory": "D:\\WINNT", "systemDirectory": "E:\\sys"},
           "volumes": [{"drive": "D"}]})",
       "t.json: system.systemDirectory: no volume for drive E: (of E:\\sys)"},
      {R"({"umbrascopeImage": 1, "system": {"windowsDirectory": "WINDOWS"}})",
       "t.json: system.windowsDirectory: expected a full path such as C:\\WINDOWS, got \"WINDOWS\""},
      {R"({"umbrascopeImage": 1, "system": {"version": [5, 1]}})",
       "t.json: system.version: expected [major, minor, build], got an array"},
      {R"({"umbrascopeImage": 1, "system": {"localTime": "2008-06-14 10:30:00"}})",
       "t.json: system.localTime: bad time \"2008-06-14 10:30:00\" (expected YYYY-MM-DDTHH:MM:SS)"},
      {R"({"umbrascopeImage": 1, "system": {"shellFolders": {"desktop": "C:\\x"}}})",
       "t.json: system.shellFolders.desktop: expected a CSIDL number (0 to 255) as the key"},
      // Whatever an image's names hold, the message stays one line.
      {"{\"umbrascopeImage\": 1, \"a\\nb\\u0001\": 1}", "t.json: a\\u000Ab\\u0001: unknown key"},
      {WithFiles(R"({"path": "C:\\a\tb"}, {"path": "C:\\A\tB"})"),
       "t.json: files[1].path: duplicate path C:\\A\\u0009B"},
      {R"({"umbrascopeImage": 1, "hide": ["ghost*", 5]})",
       "t.json: hide[1]: expected a string, got a number"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.json), c.message) << c.json;
}

TEST(ImageLoader, NamesWithZeroCharactersStayCounted) {
  const std::string json = R"({"umbrascopeImage": 1,
    "files": [{"path": "C:\\Temp\\a\u0000b.txt"}],
    "registry": [{"key": "HKLM\\SOFTWARE\\Hello\u0000World",
                  "values": [{"name": "v\u0000w", "type": 1, "data": "x\u0000y"}]}]})";
  const auto m = LoadImage(json, "t.json");
  const std::u16string file(u"a\0b.txt", 7);
  ASSERT_NE(m->FindFile(u"C:\\Temp\\" + file), nullptr);
  EXPECT_EQ(m->FindFile(u"C:\\Temp\\a"), nullptr);
  sim::RegKey* key = m->FindKey(u"\\Registry\\Machine\\SOFTWARE\\" + std::u16string(u"Hello\0World", 11));
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(key->values.size(), 1u);
  EXPECT_EQ(key->values[0].name, std::u16string(u"v\0w", 3));
  EXPECT_EQ(key->values[0].data, (std::vector<std::uint8_t>{'x', 0, 0, 0, 'y', 0, 0, 0}));

  // A message shows the zero character as the image writes it, instead of ending there.
  EXPECT_EQ(ErrorOf(WithFiles(R"({"path": "C:\\a\u0000b"}, {"path": "C:\\A\u0000B"})")),
            "t.json: files[1].path: duplicate path C:\\A\\u0000B");
}

TEST(ImageLoader, ValueDataIsStoredAsTheRegistryHoldsIt) {
  struct Case {
    std::string value;  // type and data members
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {R"("type": 1, "data": "ab")", {'a', 0, 'b', 0, 0, 0}},
      {R"("type": 2, "data": "%x%")", {'%', 0, 'x', 0, '%', 0, 0, 0}},
      {R"("type": 7, "data": "a\nbc")", {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0}},
      {R"("type": 7, "data": "")", {0, 0}},
      {R"("type": 4, "data": 305419896)", {0x78, 0x56, 0x34, 0x12}},
      {R"("type": 4, "data": "0x10")", {0x10, 0, 0, 0}},
      {R"("type": 5, "data": "0x12345678")", {0x12, 0x34, 0x56, 0x78}},
      {R"("type": 11, "data": "0x0102030405060708")", {8, 7, 6, 5, 4, 3, 2, 1}},
      {R"("type": 3, "dataHex": "01 02,ff")", {0x01, 0x02, 0xFF}},
      {R"("type": 1, "dataHex": "6100")", {'a', 0}},  // raw bytes, even without a terminator
      {R"("type": 0)", {}},
  };
  for (const auto& c : cases) {
    const auto m =
        LoadImage(WithKeys(R"({"key": "HKLM\\S", "values": [{"name": "v", )" + c.value + "}]}"), "t.json");
    EXPECT_EQ(m->FindKey(u"\\Registry\\Machine\\S")->values.at(0).data, c.bytes) << c.value;
  }
}

TEST(ImageLoader, BareImageGetsTheDefaults) {
  const auto m = LoadImage(R"({"umbrascopeImage": 1})", "t.json");
  ASSERT_EQ(m->volumes.size(), 1u);
  const sim::Volume& c = m->volumes[0];
  EXPECT_EQ(c.drive, u'C');
  EXPECT_EQ(c.type, 3u);
  EXPECT_EQ(c.fileSystem, u"NTFS");
  EXPECT_EQ(c.label, u"");
  EXPECT_EQ(c.device, u"\\Device\\HarddiskVolume1");
  EXPECT_TRUE(c.readable);

  const sim::SystemFacts& s = m->system;
  EXPECT_EQ(s.major * 10000 + s.minor * 1000 + s.build, 5u * 10000 + 1000 + 2600);
  EXPECT_EQ(s.userName, u"User");
  EXPECT_EQ(s.systemDirectory, u"C:\\WINDOWS\\system32");
  EXPECT_FALSE(s.localTime.has_value());
  const std::pair<int, std::u16string> folders[] = {
      {36, u"C:\\WINDOWS"},
      {37, u"C:\\WINDOWS\\system32"},
      {38, u"C:\\Program Files"},
      {16, u"C:\\Documents and Settings\\User\\Desktop"},
      {28, u"C:\\Documents and Settings\\User\\Local Settings\\Application Data"},
      {35, u"C:\\Documents and Settings\\All Users\\Application Data"},
      {40, u"C:\\Documents and Settings\\User"},
  };
  for (const auto& [csidl, folder] : folders) EXPECT_EQ(s.shellFolders.at(csidl), folder) << csidl;
  EXPECT_EQ(s.shellFolders.count(3), 0u);  // the control panel is no folder

  // HKLM, HKU and HKCU open on every machine.
  EXPECT_NE(m->FindKey(u"\\Registry\\Machine"), nullptr);
  EXPECT_NE(m->FindKey(u"\\Registry\\User\\S-1-5-21-1-2-3-1000"), nullptr);
}

TEST(ImageLoader, SystemFactsFollowTheImage) {
  const auto m = LoadImage(R"({"umbrascopeImage": 1, "system": {
      "version": [5, 2, "0xECE"], "computerName": "SRV", "userName": "Bob", "userSid": "S-1-5-21-9-9-9-1001",
      "windowsDirectory": "D:\\WINNT", "codePage": 65001, "commandLine": ["u.exe", "-verbose"],
      "programFile": "D:\\u.exe", "wow64": true, "localTime": "2008-06-14T10:30:00",
      "shellFolders": {"16": "E:\\Desk", "5": null, "x-note": "5 is gone"}},
    "volumes": [{"drive": "D"}]})",
                           "t.json");
  const sim::SystemFacts& s = m->system;
  EXPECT_EQ(s.build, 3790u);
  EXPECT_EQ(s.computerName, u"SRV");
  EXPECT_EQ(s.userSid, "S-1-5-21-9-9-9-1001");
  EXPECT_EQ(s.systemDirectory, u"D:\\WINNT\\system32");
  EXPECT_EQ(s.tempPath, u"D:\\WINNT\\Temp\\");
  EXPECT_EQ(s.codePage, 65001u);
  EXPECT_EQ(s.commandLine, (std::vector<std::u16string>{u"u.exe", u"-verbose"}));
  EXPECT_EQ(s.programFile, u"D:\\u.exe");
  EXPECT_TRUE(s.wow64);
  ASSERT_TRUE(s.localTime.has_value());
  EXPECT_EQ(s.localTime->hour, 10);
  EXPECT_EQ(s.shellFolders.at(16), u"E:\\Desk");
  EXPECT_EQ(s.shellFolders.count(5), 0u);
  EXPECT_EQ(s.shellFolders.at(40), u"D:\\Documents and Settings\\Bob");
  EXPECT_EQ(s.shellFolders.at(38), u"D:\\Program Files");
  // The image's clock dates what the image does not date itself.
  EXPECT_EQ(m->volumes.at(0).root->times.creation, sim::ToFileTime(*s.localTime));
  EXPECT_NE(m->FindKey(u"\\Registry\\User\\S-1-5-21-9-9-9-1001"), nullptr);
}

TEST(ImageLoader, EveryFieldLandsInTheModel) {
  const auto m = LoadImage(R"j({
    "umbrascopeImage": 1, "x-note": "notes are ignored", "x-note2": {"anything": [1], "anything": [{"a": 1, "a": 2}]},
    "system": {"localTime": "2004-08-25T13:45:07"},
    "accounts": [{"sid": "S-1-5-21-1-2-3-500", "name": "Administrator", "domain": "DEMO-PC"},
                 {"sid": "S-1-5-32-547", "name": "Power Users"}],
    "volumes": [{"drive": "C", "label": "System"},
                {"drive": "e", "type": 5, "label": "CD", "fileSystem": "CDFS", "readable": false},
                {"drive": "F", "device": "\\Device\\Floppy0"}],
    "files": [
      {"path": "C:\\WINDOWS\\ghost.sys", "contentBase64": "TVo=", "size": "0x1001", "attributes": "0x26",
       "times": {"creation": "2001-08-23T12:00:00", "change": "2002-01-01T00:00:00"},
       "sddl": "O:SYG:SYD:(A;;FA;;;SY)", "hidden": true, "locked": true, "x-note": "here too",
       "streams": [{"name": "extra", "content": "abc", "size": 10}, {"name": "Zone.Identifier"}],
       "fail": ["nativeOpen", "security", "streams", "read", "win32List", "nativeListAfter:3"]},
      {"path": "C:\\WINDOWS\\odd", "win32Kind": "folder", "allocationSize": 0, "shortName": "", "sddl": ""},
      {"path": "C:\\WINDOWS", "folder": true, "attributes": 16, "shortName": "WIN"}],
    "registry": [
      {"key": "HKCU\\Software\\X", "sddl": "O:BAD:", "hidden": true,
       "fail": ["win32Open", "nativeOpen", "security", "win32List"],
       "values": [{"name": "", "type": 1, "data": "default"}, {"name": "b", "type": 4, "data": 1, "hidden": true}]},
      {"key": "HKUS\\.DEFAULT"},
      {"key": "HKCR\\.txt"}],
    "processes": [
      {"pid": 1234, "parentPid": 4, "imagePath": "C:\\WINDOWS\\ghost.exe", "hidden": true, "openable": false,
       "debugged": true, "sessionId": 1,
       "threads": [{"tid": 1236, "basePriority": 13, "deltaPriority": -2, "usage": 1, "flags": 4}],
       "handles": [{"value": "0x10", "typeNumber": 28, "access": "0x120089", "object": "0x81234560",
                    "name": "\\Device\\HarddiskVolume1\\WINDOWS", "blocks": true}],
       "modules": [{"path": "C:\\WINDOWS\\ghost.exe", "base": "0x400000", "size": "0x1000"},
                   {"name": "ntdll.dll", "path": "C:\\WINDOWS\\system32\\ntdll.dll", "base": "0x7C900000",
                    "size": 716800, "id": 2, "globalUsage": 3, "processUsage": 4}],
       "heaps": [{"id": "0x80000", "flags": 1}],
       "memory": [{"base": "0x400000", "contentBase64": "TVqQAA=="}]},
      {"pid": 8, "exeFile": "shown.exe", "imagePath": "C:\\a\\b.exe"},
      {"pid": 4, "exeFile": "System"}],
    "hide": ["ghost*"]
  })j",
                           "t.json");
  const auto t = [](const char* s) { return sim::ToFileTime(*sim::ParseLocalTime(s)); };

  ASSERT_EQ(m->accounts.size(), 2u);
  EXPECT_EQ(m->accounts[0].domain, u"DEMO-PC");
  EXPECT_EQ(m->accounts[1].name, u"Power Users");
  EXPECT_EQ(m->accounts[1].domain, u"");

  ASSERT_EQ(m->volumes.size(), 3u);
  EXPECT_EQ(m->volumes[1].drive, u'E');
  EXPECT_EQ(m->volumes[1].type, 5u);
  EXPECT_EQ(m->volumes[1].fileSystem, u"CDFS");
  EXPECT_FALSE(m->volumes[1].readable);
  EXPECT_EQ(m->volumes[1].device, u"\\Device\\HarddiskVolume2");
  EXPECT_EQ(m->volumes[2].device, u"\\Device\\Floppy0");

  const sim::FileNode* ghost = m->FindFile(u"C:\\WINDOWS\\ghost.sys");
  ASSERT_NE(ghost, nullptr);
  EXPECT_EQ(ghost->content, "MZ");
  EXPECT_EQ(ghost->size, 0x1001u);
  EXPECT_EQ(ghost->allocationSize, 0x2000u);
  EXPECT_EQ(ghost->attributes, 0x26u);
  EXPECT_EQ(ghost->times.creation, t("2001-08-23T12:00:00"));
  EXPECT_EQ(ghost->times.lastAccess, t("2004-08-25T13:45:07"));
  EXPECT_EQ(ghost->times.change, t("2002-01-01T00:00:00"));
  EXPECT_EQ(ghost->sddl, "O:SYG:SYD:(A;;FA;;;SY)");
  EXPECT_TRUE(ghost->hidden);
  EXPECT_TRUE(ghost->locked);
  EXPECT_FALSE(ghost->win32Folder.has_value());
  ASSERT_EQ(ghost->streams.size(), 2u);
  EXPECT_EQ(ghost->streams[0].name, u"extra");
  EXPECT_EQ(ghost->streams[0].content, "abc");
  EXPECT_EQ(ghost->streams[0].size, 10u);
  EXPECT_EQ(ghost->streams[1].size, 0u);
  const sim::FileFailures& fail = ghost->fail;
  EXPECT_TRUE(fail.nativeOpen && fail.security && fail.streams && fail.read && fail.win32List);
  EXPECT_EQ(fail.nativeListAfter, 3u);

  const sim::FileNode* odd = m->FindFile(u"C:\\WINDOWS\\odd");
  EXPECT_EQ(odd->win32Folder, true);
  EXPECT_EQ(odd->allocationSize, 0u);
  EXPECT_EQ(odd->sddl, "");
  EXPECT_EQ(odd->attributes, 0x20u);
  EXPECT_EQ(odd->times.creation, t("2004-08-25T13:45:07"));
  // Implied first, listed afterwards: the listing's fields win and it is no duplicate.
  const sim::FileNode* windows = m->FindFile(u"C:\\WINDOWS");
  EXPECT_EQ(windows->shortName, u"WIN");
  EXPECT_EQ(windows->sddl, sim::kDefaultFileSddl);

  const sim::RegKey* x = m->FindKey(u"\\Registry\\User\\S-1-5-21-1-2-3-1000\\Software\\X");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->sddl, "O:BAD:");
  EXPECT_TRUE(x->hidden);
  EXPECT_TRUE(x->fail.win32Open && x->fail.nativeOpen && x->fail.security && x->fail.win32List);
  ASSERT_EQ(x->values.size(), 2u);
  EXPECT_EQ(x->values[0].name, u"");
  EXPECT_EQ(x->values[0].type, 1u);
  EXPECT_FALSE(x->values[0].hidden);
  EXPECT_TRUE(x->values[1].hidden);
  EXPECT_EQ(x->lastWrite, t("2004-08-25T13:45:07"));
  EXPECT_EQ(m->FindKey(u"\\Registry\\User\\S-1-5-21-1-2-3-1000\\Software")->sddl, sim::kDefaultKeySddl);
  EXPECT_NE(m->FindKey(u"\\Registry\\User\\.DEFAULT"), nullptr);
  EXPECT_NE(m->FindKey(u"\\Registry\\Machine\\SOFTWARE\\Classes\\.txt"), nullptr);

  ASSERT_EQ(m->processes.size(), 3u);
  const sim::Process& p = m->processes[0];
  EXPECT_EQ(p.parentPid, 4u);
  EXPECT_EQ(p.exeFile, u"ghost.exe");
  EXPECT_TRUE(p.hidden);
  EXPECT_FALSE(p.openable);
  EXPECT_TRUE(p.debugged);
  EXPECT_EQ(p.sessionId, 1u);
  ASSERT_EQ(p.threads.size(), 1u);
  EXPECT_EQ(p.threads[0].tid, 1236u);
  EXPECT_EQ(p.threads[0].basePriority, 13);
  EXPECT_EQ(p.threads[0].deltaPriority, -2);
  EXPECT_EQ(p.threads[0].usage, 1u);
  EXPECT_EQ(p.threads[0].flags, 4u);
  ASSERT_EQ(p.handles.size(), 1u);
  EXPECT_EQ(p.handles[0].value, 0x10u);
  EXPECT_EQ(p.handles[0].typeNumber, 28u);
  EXPECT_EQ(p.handles[0].access, 0x120089u);
  EXPECT_EQ(p.handles[0].object, 0x81234560u);
  EXPECT_EQ(p.handles[0].name, u"\\Device\\HarddiskVolume1\\WINDOWS");
  EXPECT_TRUE(p.handles[0].blocks);
  ASSERT_EQ(p.modules.size(), 2u);
  EXPECT_EQ(p.modules[0].name, u"ghost.exe");
  EXPECT_EQ(p.modules[0].size, 0x1000u);
  EXPECT_EQ(p.modules[1].base, 0x7C900000u);
  EXPECT_EQ(p.modules[1].id, 2u);
  EXPECT_EQ(p.modules[1].globalUsage, 3u);
  EXPECT_EQ(p.modules[1].processUsage, 4u);
  ASSERT_EQ(p.heaps.size(), 1u);
  EXPECT_EQ(p.heaps[0].id, 0x80000u);
  EXPECT_EQ(p.heaps[0].flags, 1u);
  ASSERT_EQ(p.memory.size(), 1u);
  EXPECT_EQ(p.memory[0].base, 0x400000u);
  EXPECT_EQ(p.memory[0].content, std::string("MZ\x90\0", 4));

  // Defaults: the exe file's name as given, one thread, the main module from the image path.
  const sim::Process& shown = m->processes[1];
  EXPECT_EQ(shown.exeFile, u"shown.exe");
  EXPECT_EQ(shown.threads.size(), 1u);
  ASSERT_EQ(shown.modules.size(), 1u);
  EXPECT_EQ(shown.modules[0].name, u"b.exe");
  EXPECT_EQ(shown.modules[0].path, u"C:\\a\\b.exe");
  EXPECT_TRUE(m->processes[2].modules.empty());  // no image, no module

  EXPECT_EQ(m->hide, (std::vector<std::u16string>{u"ghost*"}));
}

TEST(ImageLoader, ShortNamesAreGeneratedUniqueInTheirFolder) {
  const auto m = LoadImage(WithFiles(R"(
      {"path": "C:\\d\\Long File Name.txt"}, {"path": "C:\\d\\Long File Nose.txt"},
      {"path": "C:\\d\\other", "shortName": "LONGFI~3.TXT"}, {"path": "C:\\d\\Long File Nut.txt"},
      {"path": "C:\\d\\readme.txt"}, {"path": "C:\\d\\a.b.c"}, {"path": "C:\\d\\.profile"},
      {"path": "C:\\d\\Program Files\\x"}, {"path": "C:\\d\\caf\u00e9+1.htm"})"),
                           "t.json");
  const std::pair<const char16_t*, const char16_t*> expected[] = {
      {u"Long File Name.txt", u"LONGFI~1.TXT"},
      {u"Long File Nose.txt", u"LONGFI~2.TXT"},
      {u"Long File Nut.txt", u"LONGFI~4.TXT"},
      {u"readme.txt", u""},
      {u"a.b.c", u"AB~1.C"},
      {u".profile", u"PROFIL~1"},
      {u"Program Files", u"PROGRA~1"},
      {u"caf\u00e9+1.htm", u"CAF__1~1.HTM"},
  };
  for (const auto& [name, shortName] : expected)
    EXPECT_EQ(m->FindFile(std::u16string(u"C:\\d\\") + name)->shortName, shortName)
        << base::Utf16ToUtf8(name);
}

// Resuming the numbering must hand out exactly the names a search from ~1 would, also where
// names of different stems meet on the same base once the number grows ("FILE0~10").
TEST(ImageLoader, ResumedShortNameNumberingMatchesAFullSearch) {
  std::vector<std::u16string> names;
  for (int i = 0; i < 400; ++i) {
    std::string n = "file" + std::to_string(i % 3) + std::to_string(i) + (i % 7 == 0 ? ".log" : ".txt");
    names.emplace_back(n.begin(), n.end());
  }
  for (const char16_t* n : {u"file0.txt", u"FILE0~12.TXT x.txt", u"fi.txt", u"f.txt"}) names.emplace_back(n);
  std::set<std::u16string> takenFull, takenResumed;
  std::unordered_map<std::u16string, unsigned> nextTry;
  for (const auto& name : names) {
    const auto full =
        sim::GenerateShortName(name, [&](const std::u16string& c) { return takenFull.count(c) != 0; });
    const auto resumed = sim::GenerateShortName(
        name, [&](const std::u16string& c) { return takenResumed.count(c) != 0; }, &nextTry);
    ASSERT_EQ(resumed, full) << base::Utf16ToUtf8(name);
    takenFull.insert(full);
    takenResumed.insert(resumed);
  }
}

// The demo machine exists to make every Quick Scan indicator and Deep Scan finding show; these
// are the objects that promise rests on, so an edit that loses one fails here.
TEST(ImageLoader, DemoImageHoldsWhatTheScansLookFor) {
  const auto m = sim::LoadImageFile(UMBRA_SOURCE_DIR "/resources/demo-image.json");
  ASSERT_TRUE(m->system.localTime.has_value());
  EXPECT_EQ(m->system.major * 10000 + m->system.minor * 1000 + m->system.build, 5u * 10000 + 1000 + 2600);

  auto filtered = [&](std::u16string_view name, bool flag) { return flag || m->HiddenByPattern(name); };
  auto hiddenChildren = [&](const char16_t* folder, bool folders) {
    int n = 0;
    for (const auto& c : m->FindFile(folder)->children)
      n += c->folder == folders && filtered(c->name, c->hidden);
    return n;
  };
  EXPECT_GT(hiddenChildren(u"C:\\WINDOWS", false), 0);
  EXPECT_GT(hiddenChildren(u"C:\\WINDOWS", true), 0);
  EXPECT_GT(hiddenChildren(u"C:\\WINDOWS\\system32", false), 0);

  const sim::RegKey* run =
      m->FindKey(u"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  ASSERT_NE(run, nullptr);
  EXPECT_TRUE(std::any_of(run->values.begin(), run->values.end(),
                          [&](const sim::RegValue& v) { return filtered(v.name, v.hidden); }));
  const sim::RegKey* notify =
      m->FindKey(u"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify");
  ASSERT_NE(notify, nullptr);
  EXPECT_TRUE(std::any_of(notify->subkeys.begin(), notify->subkeys.end(),
                          [&](const auto& k) { return filtered(k->name, k->hidden); }));
  EXPECT_TRUE(std::any_of(m->processes.begin(), m->processes.end(), [&](const sim::Process& p) {
    return filtered(p.exeFile, p.hidden) && !p.threads.empty() && !p.handles.empty();
  }));

  // The catalogue's test objects, at exactly the paths it lists.
  for (const char16_t* path : {u"C:\\Temp\\Umbrascope\\CON.txt", u"C:\\Temp\\Umbrascope\\lpt1"})
    EXPECT_NE(m->FindFile(path), nullptr) << base::Utf16ToUtf8(path);
  const std::pair<const char16_t*, const char16_t*> streams[] = {
      {u"C:\\Temp\\Umbrascope\\FileWithUnknownADS.txt", u"Dumdideldei"},
      {u"C:\\Temp\\Umbrascope\\FolderWithADS", u"Dumdideldei"},
      {u"C:\\Temp\\Umbrascope", u"adstest.txt"},
  };
  for (const auto& [path, stream] : streams) {
    const sim::FileNode* node = m->FindFile(path);
    ASSERT_NE(node, nullptr) << base::Utf16ToUtf8(path);
    ASSERT_EQ(node->streams.size(), 1u);
    EXPECT_EQ(node->streams[0].name, stream);
  }
  sim::RegKey* dummies =
      m->FindKey(u"\\Registry\\Machine\\SOFTWARE\\Brightmoor Limited\\Umbrascope\\Test-Dummies");
  ASSERT_NE(dummies, nullptr);
  const std::u16string helloWorld(u"Hello\0World", 11);
  EXPECT_NE(dummies->FindSubkey(helloWorld), nullptr);
  EXPECT_NE(dummies->FindValue(helloWorld), nullptr);

  // What the Deep Scan's other texts rest on. Access lists without an administrators' entry give
  // "No admin in ACL" unless an exception covers the path; the service keys' exceptions compare
  // letter case, so a respelt key would start to report.
  auto lacksAdmins = [](const std::string& sddl) {
    return sddl.find(";BA)") == std::string::npos && sddl.find(";DA)") == std::string::npos &&
           sddl.find(";LA)") == std::string::npos;
  };
  for (const char16_t* path : {u"C:\\WINDOWS\\system32\\drivers\\wraithdrv.sys", u"C:\\WINDOWS\\wraithcache",
                               u"C:\\WINDOWS\\Temp\\hsperfdata_SYSTEM"}) {
    const sim::FileNode* n = m->FindFile(path);
    ASSERT_NE(n, nullptr) << base::Utf16ToUtf8(path);
    EXPECT_TRUE(lacksAdmins(n->sddl)) << base::Utf16ToUtf8(path);
  }
  const std::u16string services = u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\";
  for (const char16_t* name : {u"wraithdrv", u"DcomLaunch", u"RpcSs"}) {
    const sim::RegKey* k = m->FindKey(services + name);
    ASSERT_NE(k, nullptr) << base::Utf16ToUtf8(name);
    EXPECT_EQ(k->name, name);
    EXPECT_TRUE(lacksAdmins(k->sddl)) << base::Utf16ToUtf8(name);
  }
  const sim::RegKey* samSam = m->FindKey(u"\\Registry\\Machine\\SAM\\SAM");
  ASSERT_NE(samSam, nullptr);
  EXPECT_TRUE(samSam->fail.win32List && !samSam->fail.win32Open);  // "Could not open key"
  sim::RegKey* currentVersion =
      m->FindKey(u"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  ASSERT_NE(currentVersion, nullptr);
  EXPECT_NE(currentVersion->FindSubkey(std::u16string(u"System\0", 7)), nullptr);  // the catalogue's key
  EXPECT_EQ(m->FindFile(u"C:\\WINDOWS\\system32")->streams.size(), 1u);            // an unknown stream
}

TEST(ImageLoader, UnreadableFileIsNamed) {
  try {
    sim::LoadImageFile("/nonexistent/x.json");
    FAIL() << "loaded a missing file";
  } catch (const sim::ImageError& e) {
    EXPECT_STREQ(e.what(), "/nonexistent/x.json: cannot read: No such file or directory");
  }
}

}  // namespace

// Many long names sharing a stem get consecutive, unique short names (the generator resumes
// where it left off instead of probing from ~1 for every name).
TEST(ImageLoaderShortNames, ManySimilarNamesInOneFolder) {
  std::string json = R"({"umbrascopeImage": 1, "files": [)";
  for (int i = 0; i < 300; ++i)
    json += (i ? "," : "") + std::string(R"({"path": "C:\\d\\Long file )") + std::to_string(i) + R"(.txt"})";
  json += "]}";
  const auto m = sim::LoadImage(json, "many.json");
  std::set<std::u16string> shortNames;
  for (const auto& c : m->FindFile(u"C:\\d")->children) shortNames.insert(c->shortName);
  EXPECT_EQ(shortNames.size(), 300u);
  EXPECT_TRUE(shortNames.count(u"LONGFI~1.TXT"));
  EXPECT_TRUE(shortNames.count(u"LONGF~10.TXT"));
  EXPECT_TRUE(shortNames.count(u"LONG~300.TXT"));
}

// The catalogue of known findings: the built-in text as stored, its macros expanded on a
// machine, and the lookup rules on small texts of its own.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/sim/builder.h"
#include "platform/sim/image_loader.h"
#include "platform/sim/sim_platform.h"
#include "app/session.h"
#include "results/catalogue.h"
#include "test_support.h"

namespace {

using results::TResultInfoCatalogue;

const std::string kUmbrascopeDetails = "Test entries created by Pellitor to test Umbrascope capabilities.";

std::vector<std::string> SectionNames(std::string_view text) {
  std::vector<std::string> names;
  for (std::size_t at = 0; (at = text.find('[', at)) != std::string_view::npos; ++at)
    if (at == 0 || text[at - 1] == '\n') names.emplace_back(text.substr(at + 1, text.find(']', at) - at - 1));
  return names;
}

TEST(ResultInfoCatalogue, BuiltInTextKeepsItsLineEndsAndSectionOrder) {
  const std::string_view text = results::ResultInfoIniText();
  ASSERT_FALSE(text.empty());
  std::size_t lineEnds = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++lineEnds;
      EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "LF without CR at byte " << i;
    }
    if (text[i] == '\r') {
      EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "CR without LF at byte " << i;
    }
  }
  EXPECT_GT(lineEnds, 40u);
  EXPECT_NE(text.back(), '\n') << "the last line has no line end";
  EXPECT_EQ(SectionNames(text), (std::vector<std::string>{
                                    "aticatalyst", "bg1patch", "flashdisinfector", "oodefrag",
                                    "pinnaclestudio9", "javahotspotpmt", "umbrascope0", "umbrascope1",
                                    "umbrascope2", "umbrascope3", "umbrascope4", "umbrascope5", "msoffice"}));
}

// A machine whose shell folders are known, so the catalogue's macros have one value each.
sim::MachineBuilder CatalogueMachine() {
  sim::MachineBuilder b;
  auto& f = b.machine().system.shellFolders;
  f[36] = u"C:\\WINDOWS";
  f[37] = u"C:\\WINDOWS\\system32";
  f[38] = u"C:\\Program Files";
  f[11] = u"C:\\Docs\\Alice\\Start Menu";
  f[22] = u"C:\\Docs\\All Users\\Start Menu";
  f[35] = u"C:\\Docs\\All Users\\Application Data";
  return b;
}

struct LookupCase {
  const char* what;
  std::string rowKey;
  bool found;
  const char* product;  // checked when found
};

const std::string kOODefrag = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\System";
const std::string kDummy =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Brightmoor Limited\\Umbrascope\\Test-Dummies\\Hello";
const std::string kBaldur = "\\Black Isle\\Baldur's Gate\\View Baldur's Gate: The Patch Readme.lnk:$DATA";
const std::string kFlash = ":\\autorun.inf\\lpt3.This folder was created by Flash_Disinfector";

const LookupCase kBuiltInCases[] = {
    {"key name ending in a zero character", kOODefrag + std::string(1, '\0'), true, "O&O Defrag"},
    {"backslash and 0 written out", kOODefrag + "\\0", false, nullptr},
    {"drive written as ?: stays literal", "C" + kFlash, false, nullptr},
    {"the literal ?: itself", "?" + kFlash, true, "Flash Disinfector"},
    {"reserved-name test file", "C:\\Temp\\Umbrascope\\CON.txt", true, "Umbrascope"},
    {"second location of the same section", "C:\\Temp\\Umbrascope\\lpt1", true, "Umbrascope"},
    {"letter case counts", "c:\\Temp\\Umbrascope\\CON.txt", false, nullptr},
    {"stream on the test folder", "C:\\Temp\\Umbrascope:adstest.txt:$DATA", true, "Umbrascope"},
    {"zero-character test key", kDummy + std::string(1, '\0') + "World", true, "Umbrascope"},
    {"program files expanded",
     "C:\\Program Files\\ATI Technologies\\ATI.ACE\\skins\\CATALYST_Quicksilver\\CATALYST_Quicksilver.uis_"
     "Scrollbar:Smaller.WB4:$DATA",
     true, "ATI Catalyst driver"},
    {"the macro itself never matches",
     "<$PROGRAMFILES>\\ATI Technologies\\ATI.ACE\\skins\\CATALYST_Quicksilver\\CATALYST_Quicksilver.uis_"
     "Scrollbar:Smaller.WB4:$DATA",
     false, nullptr},
    {"user's start menu", "C:\\Docs\\Alice\\Start Menu" + kBaldur, true, "Baldur's Gate (Patch)"},
    {"common start menu", "C:\\Docs\\All Users\\Start Menu" + kBaldur, true, "Baldur's Gate (Patch)"},
    {"question marks are no wildcard", "C:\\Docs\\All Users\\Application Data\\TEMP:????????:$DATA", true,
     "Microsoft Office"},
    {"an eight-character stream name is not the entry",
     "C:\\Docs\\All Users\\Application Data\\TEMP:3F2A8C1D:$DATA", false, nullptr},
    {"last of twelve locations",
     "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{FEE45DE2-A467-4bf9-BF2D-1411304BCD84}", true,
     "Pinnacle Studio"},
    {"javahotspot's star is literal", "C:\\WINDOWS\\Temp\\hsperfdata_SYSTEM\\x", false, nullptr},
};

TEST(ResultInfoCatalogue, BuiltInEntriesOnAMachine) {
  auto b = CatalogueMachine();
  testing_support::SimMachineFixture fx(b);
  TResultInfoCatalogue catalogue;
  catalogue.LoadCatalogue();
  ASSERT_FALSE(catalogue.Empty());
  for (const auto& c : kBuiltInCases) {
    SCOPED_TRACE(c.what);
    std::string product = "unchanged", details = "unchanged";
    EXPECT_EQ(catalogue.Lookup(c.rowKey, product, details), c.found);
    if (c.found) {
      EXPECT_EQ(product, c.product);
      EXPECT_FALSE(details.empty());
    }
  }
  std::string product, details;
  ASSERT_TRUE(catalogue.Lookup("C:\\Temp\\Umbrascope\\FolderWithADS:Dumdideldei:$DATA", product, details));
  EXPECT_EQ(details, kUmbrascopeDetails);  // the umbrascope sections share the first one's text
  ASSERT_TRUE(catalogue.Lookup(kOODefrag + std::string(1, '\0'), product, details));
  EXPECT_EQ(
      details,
      "This key might get created by O&O Defrag to store licensing information. Removal is possible with "
      "Umbrascope or our file manager plugin only, but not recommended for obvious reasons as long as you "
      "use "
      "O&O Defrag");
}

struct TextCase {
  const char* what;
  const char* text;
  std::string rowKey;
  bool found;
  const char* product;
  const char* details;
};

const TextCase kTextCases[] = {
    {"defaults for product and details", "[a]\r\nLocation0=k", "k", true, "Unknown product",
     "No details available."},
    {"section and key names ignore case", "[A]\r\nLOCATION0=k\r\nproduct=P\r\nDETAILS=D", "k", true, "P",
     "D"},
    {"the later of two matching sections",
     "[a]\r\nProduct=first\r\nLocation0=k\r\n[b]\r\nLocation0=x\r\nLocation1=k\r\n"
     "Product=second\r\nDetails=later",
     "k", true, "second", "later"},
    {"a match is not undone by a later section that misses",
     "[a]\r\nProduct=first\r\nLocation0=k\r\n[b]\r\nLocation0=other\r\nProduct=second", "k", true, "first",
     "No details available."},
    {"numbering stops at the first gap", "[a]\r\nLocation0=x\r\nLocation1=y\r\nLocation3=k", "k", false,
     nullptr, nullptr},
    {"no Location0, no match", "[a]\r\nLocation1=k", "k", false, nullptr, nullptr},
    {"a key given twice reads as the first", "[a]\r\nLocation0=x\r\nLocation0=k", "k", false, nullptr,
     nullptr},
    {"only the first \\0 becomes a zero character", "[a]\r\nLocation0=a\\0b\\0c", std::string("a\0b\\0c", 6),
     true, "Unknown product", "No details available."},
    {"a location must match over its whole length", "[a]\r\nLocation0=HKEY_LOCAL_MACHINE\\SOFTWARE",
     "HKEY_LOCAL_MACHINE\\SOFTWARE\\x", false, nullptr, nullptr},
    {"lines ending in LF alone", "[a]\nLocation0=k\nProduct=P\n", "k", true, "P", "No details available."},
    {"keys before any section belong to none", "Location0=k\r\nProduct=P", "k", false, nullptr, nullptr},
};

TEST(ResultInfoCatalogue, LookupRules) {
  auto b = CatalogueMachine();
  testing_support::SimMachineFixture fx(b);
  for (const auto& c : kTextCases) {
    SCOPED_TRACE(c.what);
    TResultInfoCatalogue catalogue;
    catalogue.LoadFromText(c.text);
    std::string product = "unchanged", details = "unchanged";
    EXPECT_EQ(catalogue.Lookup(c.rowKey, product, details), c.found);
    if (c.found) {
      EXPECT_EQ(product, c.product);
      EXPECT_EQ(details, c.details);
    }
  }
}

TEST(ResultInfoCatalogue, EmptyOrReloadedText) {
  auto b = CatalogueMachine();
  testing_support::SimMachineFixture fx(b);
  TResultInfoCatalogue catalogue;
  std::string product, details;
  EXPECT_TRUE(catalogue.Empty());
  EXPECT_FALSE(catalogue.Lookup("", product, details));
  catalogue.LoadFromText("[a]\r\nLocation0=k");
  EXPECT_FALSE(catalogue.Empty());
  catalogue.LoadFromText("no sections at all\r\n=\r\n[");
  EXPECT_TRUE(catalogue.Empty());
  EXPECT_FALSE(catalogue.Lookup("k", product, details));  // nothing left of the earlier text
}

// The marks the Deep Scan of the demo machine is expected to show (tests/e2e/deep_demo_rows.txt)
// are the catalogue's answers for those rows, with the demo machine's own folders.
TEST(ResultInfoCatalogue, MarksTheDemoMachinesExpectedRows) {
  sim::ScopedSimMachine scoped(sim::LoadImageFile(UMBRA_SOURCE_DIR "/resources/demo-image.json"));
  app::RunStartup();
  TResultInfoCatalogue catalogue;
  catalogue.LoadCatalogue();
  std::ifstream rows(UMBRA_SOURCE_DIR "/tests/e2e/deep_demo_rows.txt");
  ASSERT_TRUE(rows.good());
  int marked = 0;
  for (std::string line; std::getline(rows, line);) {
    if (line.empty() || line.front() == '#') continue;
    // type, full path, finding, mark; the paths are ASCII, so UTF-8 and the code page agree
    std::vector<std::string> fields;
    for (std::size_t from = 0;;) {
      const std::size_t tab = line.find('\t', from);
      fields.push_back(line.substr(from, tab - from));
      if (tab == std::string::npos) break;
      from = tab + 1;
    }
    ASSERT_EQ(fields.size(), 4u) << line;
    std::string key = fields[1];
    for (std::size_t at; (at = key.find("<NUL>")) != std::string::npos;) key.replace(at, 5, 1, '\0');
    std::string product, details;
    SCOPED_TRACE(line);
    EXPECT_EQ(catalogue.Lookup(key, product, details), fields[3] == "known");
    marked += fields[3] == "known";
  }
  EXPECT_GT(marked, 0);
}

}  // namespace

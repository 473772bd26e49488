// CSV export of Deep Scan rows: quoting, zero characters and cells a spreadsheet would run.
#include <gtest/gtest.h>

#include "app/deep_scan.h"
#include "app/deep_scan_csv.h"
#include "test_support.h"

namespace {

TEST(DeepScanCsv, WritesEachRowWithTheJsonKeysAsHeader) {
  sim::MachineBuilder b;
  testing_support::SimMachineFixture fixture(b);
  auto known = app::PathRow("File", app::kKindFile, u"C:\\Temp\\CON.txt", "Reserved filename");
  known.Known = true;
  known.Product = "Umbrascope";
  known.Explanation = "Test entry.";
  struct Case {
    const char* what;
    app::TDeepScanRow row;
    const char* line;
  };
  const Case cases[] = {
      {"a known file", known, "File,CON.txt,C:\\Temp\\,Reserved filename,3,true,Umbrascope,Test entry."},
      {"comma and quote are quoted",
       app::PathRow("File", app::kKindFile, u"C:\\a,b\\say \"hi\".txt", "Invisible to Win32"),
       "File,\"say \"\"hi\"\".txt\",\"C:\\a,b\\\",Invisible to Win32,3,false,,"},
      {"a line break inside a name stays in one quoted cell",
       app::PathRow("File", app::kKindFile, u"C:\\x\ny", "Invisible to Win32"),
       "File,\"x\ny\",C:\\,Invisible to Win32,3,false,,"},
      {"zero characters are shown",
       app::RegistryRow("Key", app::kKindKey, platform::HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\",
                        "Invisible to Win32", std::u16string(u"a\0b", 3)),
       "Key,a<NUL>b,HKEY_LOCAL_MACHINE\\SOFTWARE\\,Invisible to Win32,4,false,,"},
      {"a name that would be a formula is not one",
       app::PathRow("File", app::kKindFile, u"C:\\=HYPERLINK(\"x\")", "Invisible to Win32"),
       "File,\"'=HYPERLINK(\"\"x\"\")\",C:\\,Invisible to Win32,3,false,,"},
      {"leading blank keeps its blank",
       app::PathRow("Folder", app::kKindFolder, u"C:\\ hidden", "Invisible to Win32"),
       "Folder,\" hidden\",C:\\,Invisible to Win32,2,false,,"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(app::DeepRowsCsv({c.row}),
              std::string("\xEF\xBB\xBFtype,object,location,details,kind,known,product,explanation\r\n") +
                  c.line + "\r\n");
  }
  EXPECT_EQ(app::DeepRowsCsv({}),
            "\xEF\xBB\xBFtype,object,location,details,kind,known,product,explanation\r\n");
}

}  // namespace

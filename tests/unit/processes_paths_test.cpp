// Path resolution of stored process and module file names.
#include <gtest/gtest.h>

#include "processes/process_model.h"
#include "test_support.h"

namespace {

TEST(ProcessPaths, StoredNamesResolveToExistingFiles) {
  sim::MachineBuilder b;
  b.File(u"C:\\WINDOWS\\system32\\smss.exe");
  b.File(u"C:\\WINDOWS\\system32\\shell32.dll");
  b.File(u"C:\\WINDOWS\\explorer.exe");
  b.File(u"C:\\Program Files\\App\\app.exe");
  b.File(u"C:\\Tools\\x.exe");
  b.machine().system.shellFolders[38] = u"C:\\Program Files";
  testing_support::SimMachineFixture fx(b);
  struct Case {
    const char* stored;
    const char* resolved;
  };
  const Case cases[] = {
      {"C:\\Tools\\x.exe", "C:\\Tools\\x.exe"},
      {"\\SystemRoot\\System32\\smss.exe", "C:\\WINDOWS\\System32\\smss.exe"},
      {"rundll32.exe shell32.dll,Control_RunDLL", "C:\\WINDOWS\\system32\\shell32.dll"},
      {"RUNDLL32 shell32.dll", "C:\\WINDOWS\\system32\\shell32.dll"},
      {"%SystemRoot%\\explorer.exe", "C:\\WINDOWS\\explorer.exe"},
      {"\\??\\C:\\Tools\\x.exe", "C:\\Tools\\x.exe"},
      {"\\system32\\smss.exe", "C:\\WINDOWS\\system32\\smss.exe"},
      {"%ProgramFiles%\\App\\app.exe", "C:\\Program Files\\App\\app.exe"},
      {"\\??\\C:\\gone\\\\y.exe",
       "C:\\gone\\y.exe"},  // nothing found: prefixes off, doubled backslashes single
  };
  for (const auto& c : cases) EXPECT_EQ(processes::ResolveProcessFileName(c.stored), c.resolved) << c.stored;
}

}  // namespace

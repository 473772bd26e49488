// The archive on the real Win32 layer: a file named con.txt, which Win32 cannot open, goes in
// as its native copy, beside an ordinary file and one that does not exist.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/pack.h"
#include "app/session.h"
#include "platform/win32/win32_platform.h"

namespace {

class RealPackTest : public ::testing::Test {
 protected:
  RealPackTest() : scope_(win32::RealPlatform()) { app::RunStartup(); }

  platform::ScopedPlatform scope_;
};

TEST_F(RealPackTest, AReservedNameGoesInAsItsNativeCopy) {
  // The run makes UMBRA_PACK_DIR from the host side with con.txt and plain.txt in it and an
  // empty folder "out"; it checks the cabinet with cabextract afterwards.
  const char* dirText = std::getenv("UMBRA_PACK_DIR");
  if (dirText == nullptr) GTEST_SKIP() << "UMBRA_PACK_DIR not set";
  const std::string dir = dirText;
  const std::u16string wide(dir.begin(), dir.end());
  const std::vector<app::TDeepScanRow> rows = {
      app::PathRow("File", app::kKindFile, wide + u"\\con.txt", "Reserved filename"),
      app::PathRow("File", app::kKindFile, wide + u"\\plain.txt", "Invisible to Win32"),
      app::PathRow("File", app::kKindFile, wide + u"\\gone.txt", "Invisible to Win32")};
  const auto result = app::PackSuspiciousFiles(rows, app::TPackPlace{dir + "\\out\\", {}});

  const auto ops = std::find(result.logLines.begin(), result.logLines.end(), "Operations:");
  ASSERT_NE(ops, result.logLines.end());
  const std::vector<std::string> operations(ops + 1, result.logLines.end());
  EXPECT_EQ(operations, (std::vector<std::string>{
                            "+ added: " + dir + "\\con.txt (as: " + dir + "\\copied-con.txt)",
                            "+ added: " + dir + "\\plain.txt", "- could not add: " + dir + "\\gone.txt",
                            "  " + archive::SystemErrorText(platform::ERROR_FILE_NOT_FOUND)}));
  ASSERT_EQ(result.notAdded.size(), 1u);
  std::printf("archive: %s\n", result.archivePath.c_str());
}

}  // namespace

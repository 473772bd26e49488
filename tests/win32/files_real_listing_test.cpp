// The hidden-files indicator on a real folder holding a name Win32 cannot open.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/session.h"
#include "engine/nt_files_indicator.h"
#include "platform/win32/win32_platform.h"

namespace {

class RealFilesTest : public ::testing::Test {
 protected:
  RealFilesTest() : scope_(win32::RealPlatform()) { app::RunStartup(); }

  platform::ScopedPlatform scope_;
};

TEST_F(RealFilesTest, IndicatorReportsAReservedName) {
  // Win32 cannot create "con.txt" by its plain name; the test run creates it from the host
  // side when UMBRA_CON_DIR names a folder holding it.
  const char* conDir = std::getenv("UMBRA_CON_DIR");
  if (conDir == nullptr) GTEST_SKIP() << "UMBRA_CON_DIR not set";
  engine::TRootKitIndicatorNTFiles ind(std::string("filepath=") + conDir + "\\");
  ind.RunTest();
  ASSERT_FALSE(ind.Results().empty());
  EXPECT_EQ(ind.Results().back(), std::string(conDir) + "\\con.txt");
  EXPECT_EQ(ind.ResultKinds().back(), engine::kKindFile);
  EXPECT_NE(ind.DetailsText(), "0 files were tested.");
}

}  // namespace

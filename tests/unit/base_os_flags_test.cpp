// Version classification, including the NT-family treatment of versions after 6.0.
#include <gtest/gtest.h>

#include "base/os_flags.h"
#include "engine/indicator.h"
#include "test_support.h"

namespace {

TEST(OSFlags, ClassificationTable) {
  struct Case {
    std::uint32_t major, minor, build, flags;
  };
  const Case cases[] = {
      {3, 51, 1057, 0x3000},
      {4, 0, 1381, 0x5001},
      {4, 0, 950, 0x39},
      {4, 0, 1111, 0x59},
      {4, 0, 1212, 0x99},
      {4, 0, 1, 0x1},
      {4, 1, 1998, 0x30A},
      {4, 1, 2222, 0x50A},
      {4, 10, 2222, 0x308},
      {4, 9, 3000, 0x80C},
      {4, 90, 3000, 0x808},
      {5, 0, 2195, 0x9000},
      {5, 1, 2600, 0x31000},
      {5, 1, 1, 0x31000},
      {5, 2, 3790, 0x151000},
      {5, 2, 3791, 0xC1000},
      {6, 0, 6000, 0x201000},
      {3, 5, 0, 0},
      {5, 3, 0, 0},
      {2, 0, 0, 0},
      // A build addition belongs to its own row only; an unnamed build keeps the base value.
      {4, 1, 950, 0x2},
      {4, 9, 1998, 0x4},
      {4, 0, 3000, 0x1},
      {4, 90, 1998, 0x808},
      {3, 51, 1381, 0x3000},
      {5, 0, 3790, 0x9000},
      {4, 2, 0, 0},
      {0, 0, 0, 0},
      // Later systems (and Wine's 6.1) are NT family with the flags of 6.0.
      {6, 1, 7601, 0x201000},
      {6, 2, 9200, 0x201000},
      {10, 0, 19045, 0x201000},
  };
  for (const auto& c : cases)
    EXPECT_EQ(base::GetOSFlags(c.major, c.minor, c.build), c.flags)
        << c.major << "." << c.minor << "." << c.build;
}

TEST(OSFlags, NTFamilyBits) {
  EXPECT_TRUE(base::IsNTFamily(base::GetOSFlags(5, 1, 2600)));
  EXPECT_FALSE(base::GetOSFlags(5, 1, 2600) & base::kOSFlagVista);
  EXPECT_TRUE(base::GetOSFlags(5, 1, 2600) & base::kOSFlagXP);
  EXPECT_FALSE(base::IsNTFamily(base::GetOSFlags(4, 0, 950)));
  EXPECT_TRUE(base::IsNTFamily(base::GetOSFlags(6, 1, 7601)));
}

TEST(OSFlags, RunningVersionIsReadAtStartUpAndTakenByIndicators) {
  struct Case {
    std::uint32_t major, minor, build, flags;
  };
  const Case cases[] = {{4, 0, 950, 0x39}, {5, 1, 2600, 0x31000}, {6, 1, 7601, 0x201000}};
  for (const auto& c : cases) {
    sim::MachineBuilder b;
    b.machine().system.major = c.major;
    b.machine().system.minor = c.minor;
    b.machine().system.build = c.build;
    testing_support::SimMachineFixture fx(b);
    EXPECT_EQ(base::GetOSFlags(), c.flags) << c.major << "." << c.minor;
    const engine::TRootKitIndicator ind("description=x");
    EXPECT_EQ(ind.OSFlags(), c.flags);
    EXPECT_EQ(ind.IsNTFamily(), (c.flags & base::kOSFlagNTFamily) != 0) << c.major << "." << c.minor;
  }
}

}  // namespace

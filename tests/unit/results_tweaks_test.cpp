// Tweak settings: the program's own subkey first, then the tweaks key, low byte only.
#include <gtest/gtest.h>

#include "results/log_items.h"
#include "results/tweaks.h"
#include "test_support.h"

namespace {

constexpr std::u16string_view kTweaks = u"HKLM\\SOFTWARE\\Brightmoor Limited\\Tweaks";

TEST(Tweaks, SubkeyFirstThenTheTweaksKeyLowByteOnly) {
  sim::MachineBuilder b;
  b.DwordValue(kTweaks, u"Both", 1);
  b.DwordValue(std::u16string(kTweaks) + u"\\umbrascope.exe", u"Both", 3);
  b.DwordValue(kTweaks, u"Big", 300);
  b.StringValue(kTweaks, u"Text", u"7");
  testing_support::SimMachineFixture fx(b);
  struct Case {
    const char* name;
    bool found;
    std::uint8_t value;
  };
  const Case cases[] = {{"Both", true, 3}, {"Big", true, 44}, {"Text", false, 9}, {"Missing", false, 9}};
  for (const auto& c : cases) {
    std::uint8_t v = 9;
    EXPECT_EQ(results::ReadTweak(c.name, v), c.found) << c.name;
    EXPECT_EQ(v, c.value) << c.name;
  }
}

TEST(Tweaks, FloppyTweakMovesTheFirstUsableDrive) {
  sim::MachineBuilder b;
  b.AddVolume(u'A', platform::DRIVE_REMOVABLE);
  b.DwordValue(kTweaks, u"FloppyVolumeInformation", 0);
  testing_support::SimMachineFixture fx(b);
  EXPECT_EQ(results::UsableDrives(), "AC");
}

}  // namespace

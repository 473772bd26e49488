// Proves the Windows test program starts and runs under the test harness (Wine or Windows).
#include <gtest/gtest.h>

namespace {

TEST(Wine, Runs) { SUCCEED(); }

}  // namespace

#include "platform/TickCount.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(TickCountTest, AdvancesAndWrapsWithUnsignedDifferences)
{
    uint32_t base = platform::tick_count();
    // Bring the counter 20 ms short of its wrap.
    platform::set_tick_offset_for_tests(0xFFFFFFFFu - 20u - base);
    uint32_t before = platform::tick_count();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    uint32_t after = platform::tick_count();
    platform::set_tick_offset_for_tests(0);

    EXPECT_GT(before, 0xFFFFFFFFu - 1000u);
    EXPECT_LT(after, before); // wrapped
    uint32_t elapsed = after - before;
    EXPECT_GE(elapsed, 60u);
    EXPECT_LT(elapsed, 60000u);
}

} // namespace

#include "platform/TickCount.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(TickCountTest, AdvancesAndWrapsWithUnsignedDifferences)
{
    using Clock = std::chrono::steady_clock;
    uint32_t before = 0;
    Clock::time_point start;
    // Bring the counter 50 ms short of its wrap; a thread held up past that
    // before it reads the counter tries again.
    for (int attempt = 0; attempt < 20; ++attempt) {
        platform::set_tick_offset_for_tests(0);
        const uint32_t base = platform::tick_count();
        platform::set_tick_offset_for_tests(0xFFFFFFFFu - 50u - base);
        start = Clock::now();
        before = platform::tick_count();
        if (before > 0x80000000u)
            break;
    }
    ASSERT_GT(before, 0x80000000u);

    uint32_t after = before;
    while (after >= before && Clock::now() - start < std::chrono::seconds(10)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        after = platform::tick_count();
    }
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    platform::set_tick_offset_for_tests(0);

    ASSERT_LT(after, before) << "the counter did not wrap";
    // The unsigned difference across the wrap is the time that passed.
    const uint32_t elapsed = after - before;
    EXPECT_GE(elapsed, 1u);
    EXPECT_LE(elapsed, static_cast<uint32_t>(waited) + 2u);
}

} // namespace

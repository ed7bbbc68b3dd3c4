#include "base/Timeouts.h"

#include <gtest/gtest.h>

namespace {

TEST(TimeoutsTest, ScaleDividesEveryConstantAndNeverReachesZero)
{
    struct Case { uint32_t (*get)(); uint32_t base; };
    const Case cases[] = {
        {&Timeouts::ConnectMs, 5000},          {&Timeouts::PingIntervalMs, 50000},
        {&Timeouts::PingWaitMs, 5000},         {&Timeouts::RequestMs, 60000},
        {&Timeouts::LongRequestMs, 600000},    {&Timeouts::ReconnectCheckMs, 100},
        {&Timeouts::ThreadStopWaitMs, 10000},
    };
    for (const Case& c : cases) {
        Timeouts::SetScaleForTests(1);
        EXPECT_EQ(c.get(), c.base);
        Timeouts::SetScaleForTests(100);
        EXPECT_EQ(c.get(), c.base / 100 > 0 ? c.base / 100 : 1u);
        Timeouts::SetScaleForTests(1000000);
        EXPECT_EQ(c.get(), 1u);
        Timeouts::SetScaleForTests(0);
        EXPECT_EQ(c.get(), c.base);
    }
    Timeouts::SetScaleForTests(1);
}

} // namespace

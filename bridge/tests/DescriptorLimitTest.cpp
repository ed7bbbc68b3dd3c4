#include "support/DescriptorLimit.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

TEST(DescriptorLimit, SoftLimitIsRaisedToTheHardOne)
{
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    EXPECT_TRUE(raise_descriptor_limit());
    rlimit raised{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &raised), 0);
    EXPECT_EQ(raised.rlim_cur, saved.rlim_max);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
}

} // namespace

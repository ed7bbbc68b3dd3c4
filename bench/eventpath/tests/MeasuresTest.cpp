// The small readers behind the printed figures: percentiles, /proc fields and
// thread CPU shares.

#include "LatencySummary.h"
#include "ProcessMemory.h"
#include "ThreadCpu.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <numeric>

namespace eventpath {
namespace {

TEST(LatencySummary, NearestRankPercentiles)
{
    std::vector<int64_t> hundred(100);
    std::iota(hundred.rbegin(), hundred.rend(), 1);  // 100 .. 1, unsorted on purpose
    const struct
    {
        std::vector<int64_t> values;
        double p;
        int64_t expected;
    } cases[] = {
        {hundred, 50, 50},
        {hundred, 99, 99},
        {hundred, 100, 100},
        {hundred, 0, 1},
        {{7}, 99, 7},
        {{5, 1}, 50, 1},
        {{5, 1}, 51, 5},
        {{}, 50, 0},
    };
    for (const auto& c : cases) {
        std::vector<int64_t> values = c.values;
        EXPECT_EQ(percentile(values, c.p), c.expected) << c.p << " of " << c.values.size();
    }
    const LatencySummary summary = summarize_latencies(hundred);
    EXPECT_EQ(summary.count, 100u);
    EXPECT_EQ(summary.median, 50);
    EXPECT_EQ(summary.p99, 99);
    EXPECT_EQ(summary.max, 100);
}

TEST(ProcessMemory, StatusFields)
{
    const std::string status = "Name:\tkorvel\nVmHWM:\t   20480 kB\nVmRSS:\t   12288 kB\nThreads:\t6\n";
    EXPECT_EQ(status_field(status, "VmRSS"), 12288);
    EXPECT_EQ(status_field(status, "VmHWM"), 20480);
    EXPECT_EQ(status_field(status, "VmSwap"), -1);
    EXPECT_EQ(status_field(status, "Vm"), -1);
    EXPECT_EQ(status_field("VmRSS:\n", "VmRSS"), -1);
    EXPECT_EQ(status_field(status, "Threads"), 6);

    const ProcessMemory own = read_process_memory(::getpid());
    ASSERT_TRUE(own.known);
    EXPECT_GT(own.rssKib, 0);
    EXPECT_GE(own.peakKib, own.rssKib);
    EXPECT_FALSE(read_process_memory(-1).known);

    // Our own descriptors: the three standard ones at least, and one more
    // while a file is open.
    const ProcessFootprint before = read_process_footprint(::getpid());
    ASSERT_TRUE(before.known);
    EXPECT_GE(before.threads, 1);
    EXPECT_GE(before.descriptors, 3);
    const int extra = ::dup(0);
    EXPECT_EQ(read_process_footprint(::getpid()).descriptors, before.descriptors + 1);
    ::close(extra);
    EXPECT_FALSE(read_process_footprint(-1).known);
}

TEST(ThreadCpu, StatLinesWithAwkwardNames)
{
    ThreadTicks ticks;
    ASSERT_TRUE(parse_stat_line("4242 (a (b) c) S 1 2 3 4 5 6 7 8 9 10 150 25 0 0 20 0", ticks));
    EXPECT_EQ(ticks.name, "a (b) c");
    EXPECT_EQ(ticks.ticks, 175);
    EXPECT_FALSE(parse_stat_line("4242 no name here", ticks));
    EXPECT_FALSE(parse_stat_line("4242 (short) S 1 2", ticks));

    const auto own = read_thread_ticks(::getpid());
    EXPECT_EQ(own.count(static_cast<pid_t>(::syscall(SYS_gettid))), 1u);
}

TEST(ThreadCpu, SharesAreBusiestFirstAndSkipIdleThreads)
{
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    const std::map<pid_t, ThreadTicks> before{{1, {"idle", 10}}, {2, {"worker", 0}}, {3, {"io", 5}}};
    const std::map<pid_t, ThreadTicks> after{{1, {"idle", 10}},
                                             {2, {"worker", ticksPerSecond}},
                                             {3, {"io", 5 + ticksPerSecond / 2}},
                                             {4, {"new", ticksPerSecond / 4}}};
    const std::vector<ThreadShare> shares = thread_shares(before, after, 2.0);
    ASSERT_EQ(shares.size(), 3u);
    EXPECT_EQ(shares[0].name, "worker");
    EXPECT_DOUBLE_EQ(shares[0].percent, 50.0);
    EXPECT_EQ(shares[1].name, "io");
    EXPECT_NEAR(shares[1].percent, 25.0, 0.6);
    EXPECT_EQ(shares[2].tid, 4);
}

} // namespace
} // namespace eventpath

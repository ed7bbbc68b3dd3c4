#include "platform/Event.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace platform;

// Owns one event for the length of a test.
struct ScopedEvent
{
    ScopedEvent(bool manualReset, bool initialState) : handle(create_event(manualReset, initialState)) {}
    ~ScopedEvent() { close_event(handle); }
    WaitHandle handle;
};

// Note: consumes the signal of an auto-reset event.
bool is_signalled(WaitHandle h)
{
    return wait_for_single(h, 0) == kWaitObject0;
}

TEST(EventTest, TimedWaitLastsAtLeastItsTimeout)
{
    ScopedEvent ev(true, false);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(wait_for_single(ev.handle, 60), kWaitTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

TEST(EventTest, InitialStateAndResetKinds)
{
    struct Case { bool manual; bool initial; bool signalledAfterOneWait; };
    const Case cases[] = {
        {false, true, false}, // auto-reset: the wait took the signal
        {true, true, true},   // manual-reset: stays until reset
        {false, false, false},
        {true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "manual=" << c.manual << " initial=" << c.initial);
        ScopedEvent ev(c.manual, c.initial);
        ASSERT_NE(ev.handle, kInvalidWaitHandle);
        EXPECT_EQ(wait_for_single(ev.handle, 0), c.initial ? kWaitObject0 : kWaitTimeout);
        EXPECT_EQ(is_signalled(ev.handle), c.signalledAfterOneWait);
        ASSERT_TRUE(set_event(ev.handle));
        ASSERT_TRUE(reset_event(ev.handle));
        EXPECT_FALSE(is_signalled(ev.handle));
    }
}

TEST(EventTest, AutoResetDoesNotCountRepeatedSets)
{
    ScopedEvent ev(false, false);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(set_event(ev.handle));
    EXPECT_EQ(wait_for_single(ev.handle, 0), kWaitObject0);
    EXPECT_EQ(wait_for_single(ev.handle, 0), kWaitTimeout);
}

TEST(EventTest, AutoResetReleasesOneWaiterPerSet)
{
    ScopedEvent ev(false, false);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i) {
        waiters.emplace_back([&] {
            if (wait_for_single(ev.handle, 20000) == kWaitObject0)
                ++released;
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(set_event(ev.handle));
    while (released.load() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // The other waiter must still be blocked.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(released.load(), 1);
    ASSERT_TRUE(set_event(ev.handle));
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_FALSE(is_signalled(ev.handle));
}

// Each waiter also sees what was written before the set, without a lock: the
// event orders them (as ThreadSanitizer is told).
TEST(EventTest, ManualResetReleasesEveryWaiterAndStaysSet)
{
    ScopedEvent ev(true, false);
    int written = 0;
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (wait_for_single(ev.handle, kInfinite) == kWaitObject0 && written == 1)
                ++released;
        });
    }
    written = 1;
    ASSERT_TRUE(set_event(ev.handle));
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released.load(), 3);
    EXPECT_TRUE(is_signalled(ev.handle));
    EXPECT_TRUE(is_signalled(ev.handle));
}

TEST(EventTest, LowestSignalledIndexWinsAndOnlyItIsConsumed)
{
    struct Case { bool manual0; bool manual1; };
    const Case cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "manual0=" << c.manual0 << " manual1=" << c.manual1);
        ScopedEvent e0(c.manual0, true);
        ScopedEvent e1(c.manual1, true);
        WaitHandle both[] = {e0.handle, e1.handle};
        EXPECT_EQ(wait_for_multiple(both, 2, 0), kWaitObject0);
        // Index 1 was left untouched; index 0 kept its signal only if manual.
        EXPECT_TRUE(is_signalled(e1.handle));
        EXPECT_EQ(is_signalled(e0.handle), c.manual0);
    }

    // A later index wins when only it is signalled.
    ScopedEvent e0(false, false), e1(false, false), e2(false, true);
    WaitHandle all[] = {e0.handle, e1.handle, e2.handle};
    EXPECT_EQ(wait_for_multiple(all, 3, 0), kWaitObject0 + 2);
    EXPECT_EQ(wait_for_multiple(all, 3, 0), kWaitTimeout);
}

// An auto-reset handle that the poll saw set may be taken by another waiter
// before this one reads it; the wait then looks at the others, and a set one
// answers, also within a zero time-out.
TEST(EventTest, AHandleTakenElsewhereGivesWayToTheNextSignalled)
{
    ScopedEvent taken(false, false);
    ScopedEvent set(true, true);
    std::atomic<bool> done{false};
    std::thread other([&] {
        while (!done) {
            set_event(taken.handle);
            wait_for_single(taken.handle, 0);
        }
    });
    const WaitHandle both[] = {taken.handle, set.handle};
    int timeouts = 0;
    for (int i = 0; i < 20000; ++i)
        if (wait_for_multiple(both, 2, 0) == kWaitTimeout)
            ++timeouts;
    done = true;
    other.join();
    EXPECT_EQ(timeouts, 0);
}

TEST(EventTest, SetFromAnotherThreadEndsAnEndlessWait)
{
    ScopedEvent stop(true, false), work(false, false);
    WaitHandle both[] = {stop.handle, work.handle};
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        set_event(work.handle);
    });
    EXPECT_EQ(wait_for_multiple(both, 2, kInfinite), kWaitObject0 + 1);
    setter.join();
}

TEST(EventTest, ForeignDescriptorIsPolledButNeverRead)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    ScopedEvent ev(false, false);
    WaitHandle both[] = {ev.handle, pipeFds[0]};
    EXPECT_EQ(wait_for_multiple(both, 2, 0), kWaitTimeout);
    ASSERT_EQ(::write(pipeFds[1], "x", 1), 1);
    EXPECT_EQ(wait_for_multiple(both, 2, 1000), kWaitObject0 + 1);
    EXPECT_EQ(wait_for_multiple(both, 2, 0), kWaitObject0 + 1);
    char byte = 0;
    EXPECT_EQ(::read(pipeFds[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'x');
    // A closed writer leaves the reader readable (end of file).
    ::close(pipeFds[1]);
    EXPECT_EQ(wait_for_multiple(both, 2, 0), kWaitObject0 + 1);
    ::close(pipeFds[0]);
}

TEST(EventTest, BadArgumentsFail)
{
    ScopedEvent ev(true, true);
    errno = 0;
    EXPECT_EQ(wait_for_multiple(nullptr, 1, 0), kWaitFailed);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(wait_for_multiple(&ev.handle, 0, 0), kWaitFailed);

    std::vector<WaitHandle> tooMany(kMaxWaitHandles + 1, ev.handle);
    EXPECT_EQ(wait_for_multiple(tooMany.data(), kMaxWaitHandles, 0), kWaitObject0);
    EXPECT_EQ(wait_for_multiple(tooMany.data(), kMaxWaitHandles + 1, 0), kWaitFailed);

    // A descriptor that is not open fails the wait even beside a signalled one.
    int closed = ::dup(ev.handle);
    ASSERT_GE(closed, 0);
    ::close(closed);
    WaitHandle mixed[] = {ev.handle, closed};
    errno = 0;
    EXPECT_EQ(wait_for_multiple(mixed, 2, 0), kWaitFailed);
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(set_event(closed));

    // Nor does an invalid handle leave an endless wait hanging.
    WaitHandle invalid[] = {kInvalidWaitHandle, ev.handle};
    errno = 0;
    EXPECT_EQ(wait_for_multiple(invalid, 2, kInfinite), kWaitFailed);
    EXPECT_EQ(errno, EBADF);
}

} // namespace

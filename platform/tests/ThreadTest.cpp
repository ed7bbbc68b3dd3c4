#include "platform/Thread.h"

#include "testsupport/WaitUntil.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace {

using namespace platform;

struct Probe
{
    WaitHandle release = create_event(true, false);
    std::string seenName;
    ~Probe() { close_event(release); }
};

uint32_t record_name(void* raw)
{
    auto* probe = static_cast<Probe*>(raw);
    probe->seenName = current_thread_name();
    return 42;
}

uint32_t wait_for_release(void* raw)
{
    auto* probe = static_cast<Probe*>(raw);
    return wait_for_single(probe->release, kInfinite) == kWaitObject0 ? 7 : 8;
}

TEST(ThreadTest, RunsEntryUnderItsNameAndGivesItsExitCode)
{
    struct Case { std::string name; std::string expected; };
    const Case cases[] = {
        {"LanClient", "LanClient"},
        {"HelperClientLib", "HelperClientLib"},
        {"HelperClientLibrary", "HelperClientLib"},
        // 14 ASCII bytes and a two-byte character: the character is left out whole.
        {"abcdefghijklmn\xD0\x96x", "abcdefghijklmn"},
        // No name: the one it was born with, its creator's.
        {"", current_thread_name()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Probe probe;
        Thread thread;
        ASSERT_TRUE(thread.Start(&record_name, &probe, c.name));
        EXPECT_TRUE(thread.IsStarted());
        ASSERT_EQ(thread.Join(kInfinite), Thread::JoinResult::Joined);
        EXPECT_FALSE(thread.IsStarted());
        EXPECT_EQ(thread.GetExitCode(), 42u);
        EXPECT_EQ(probe.seenName, c.expected);
    }
}

TEST(ThreadTest, JoinTimesOutWhileTheThreadRunsAndJoinsAfter)
{
    Probe probe;
    Thread thread;
    ASSERT_TRUE(thread.Start(&wait_for_release, &probe, "waiter"));
    EXPECT_EQ(thread.Join(0), Thread::JoinResult::TimedOut);
    EXPECT_EQ(thread.Join(30), Thread::JoinResult::TimedOut);
    EXPECT_EQ(wait_for_single(thread.GetEndedHandle(), 0), kWaitTimeout);
    EXPECT_TRUE(thread.IsStarted());

    // A second start while one is held is refused.
    EXPECT_FALSE(thread.Start(&wait_for_release, &probe, "second"));
    EXPECT_EQ(errno, EBUSY);

    ASSERT_TRUE(set_event(probe.release));
    EXPECT_EQ(wait_for_single(thread.GetEndedHandle(), 10000), kWaitObject0);
    EXPECT_EQ(thread.Join(10000), Thread::JoinResult::Joined);
    EXPECT_EQ(thread.GetExitCode(), 7u);

    // Restartable once joined.
    ASSERT_TRUE(thread.Start(&wait_for_release, &probe, "again"));
    EXPECT_EQ(thread.Join(kInfinite), Thread::JoinResult::Joined);
}

TEST(ThreadTest, JoinWithoutThreadFails)
{
    Thread thread;
    errno = 0;
    EXPECT_EQ(thread.Join(0), Thread::JoinResult::Failed);
    EXPECT_EQ(errno, ESRCH);
}

struct SelfJoin
{
    Thread thread;
    std::atomic<Thread::JoinResult> result{Thread::JoinResult::Joined};
    std::atomic<int> error{0};
};

uint32_t join_self(void* raw)
{
    auto* self = static_cast<SelfJoin*>(raw);
    self->result = self->thread.Join(kInfinite);
    self->error = errno;
    return 0;
}

TEST(ThreadTest, ThreadCannotJoinItself)
{
    // The entry asks at once, racing the return of Start: it must always find
    // itself held, never "no thread".
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        SelfJoin self;
        ASSERT_TRUE(self.thread.Start(&join_self, &self, "self"));
        ASSERT_EQ(wait_for_single(self.thread.GetEndedHandle(), 10000), kWaitObject0);
        EXPECT_EQ(self.result.load(), Thread::JoinResult::Failed);
        ASSERT_EQ(self.error.load(), EDEADLK);
        EXPECT_EQ(self.thread.Join(kInfinite), Thread::JoinResult::Joined);
    }
}

uint32_t finish_late(void* raw)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    static_cast<std::atomic<bool>*>(raw)->store(true);
    return 0;
}

TEST(ThreadTest, DestructorWaitsForTheThreadToEnd)
{
    std::atomic<bool> finished{false};
    {
        Thread thread;
        ASSERT_TRUE(thread.Start(&finish_late, &finished, "dtor"));
    }
    EXPECT_TRUE(finished.load());
}

TEST(ThreadTest, NamingTheCallingThread)
{
    std::string before = current_thread_name();
    set_current_thread_name("platform-tests-long-name");
    EXPECT_EQ(current_thread_name(), "platform-tests-");
    set_current_thread_name(before);
    EXPECT_EQ(current_thread_name(), before);
}

TEST(ThreadTest, NamingAnotherThreadByItsKernelId)
{
    std::atomic<pid_t> id{0};
    std::atomic<bool> release{false};
    std::thread other([&] {
        for (id = ::gettid(); !release;)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (id == 0)
        std::this_thread::yield();
    EXPECT_TRUE(set_thread_name(id, "abcdefghijklmn\xD0\x96x"));
    char name[kMaxThreadNameLength + 1] = {};
    ::pthread_getname_np(other.native_handle(), name, sizeof name);
    EXPECT_STREQ(name, "abcdefghijklmn");
    release = true;
    other.join();
    // The join returns once the thread has let go of its stack; the kernel
    // removes its task entry a moment later.
    const std::string task = "/proc/self/task/" + std::to_string(id);
    ASSERT_TRUE(wait_until([&] { return ::access(task.c_str(), F_OK) != 0; }));
    EXPECT_FALSE(set_thread_name(id, "gone"));
}

} // namespace

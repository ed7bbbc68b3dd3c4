#include "base/Timeouts.h"
#include "LogCapture.h"
#include "platform/Thread.h"
#include "threads/CFileLog.h"
#include "threads/CThreadSock.h"
#include "threads/CWin32Exception.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr int32_t kSystemCategory = 6;

// Runs until its stop event is set.
class StoppableThread : public CThreadSock
{
public:
    explicit StoppableThread(const std::string& name = "Stoppable") : CThreadSock(name) {}
    ~StoppableThread() override { Stop(100); }

    std::atomic<int> runs{0};
    std::string seenName;

protected:
    uint32_t Run() override
    {
        ++runs;
        seenName = platform::current_thread_name();
        GetStopEvent().Wait(platform::kInfinite);
        return 5;
    }
};

// Ignores its stop event; ends only when released.
class StubbornThread : public CThreadSock
{
public:
    explicit StubbornThread(const std::string& name) : CThreadSock(name) {}
    ~StubbornThread() override
    {
        release.Set();
        Stop(100);
    }

    CManualResetEventSock release;
    std::atomic<bool> returned{false};

protected:
    uint32_t Run() override
    {
        release.Wait(platform::kInfinite);
        returned = true;
        return 0;
    }
};

// Returns at once.
class ShortThread : public CThreadSock
{
public:
    ShortThread() : CThreadSock("Short") {}
    ~ShortThread() override { Stop(100); }

protected:
    uint32_t Run() override { return 0; }
};

// Fails as a system call inside Run can.
class ThrowingThread : public CThreadSock
{
public:
    ThrowingThread() : CThreadSock("Throwing") {}
    ~ThrowingThread() override { Stop(100); }

protected:
    uint32_t Run() override { throw CWin32Exception("CEventSock::Wait() - WaitForSingleObject", EBADF); }
};

class ThreadSockTest : public testing::Test
{
protected:
    void SetUp() override { Timeouts::SetScaleForTests(100); }
    void TearDown() override { Timeouts::SetScaleForTests(1); }
};

TEST_F(ThreadSockTest, StartTwiceStartsOneThread)
{
    StoppableThread thread("HelperClientLib");
    thread.Start();
    thread.Start();
    EXPECT_TRUE(thread.IsRunning());
    thread.Stop(100);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(thread.runs.load(), 1);
    EXPECT_EQ(thread.seenName, "HelperClientLib");
}

TEST_F(ThreadSockTest, StopWithoutThreadDoesNothingAndLogsNothing)
{
    // The whole stop wait: a thread slow to see its stop event must not log.
    Timeouts::SetScaleForTests(1);
    LogCapture capture;
    set_log_category_mask_for_tests(kSystemCategory, 0xFFFFFFFFu);
    StoppableThread thread;
    thread.Stop(100);
    thread.SignalStop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(thread.runs.load(), 0);
    // SignalStop without a thread leaves the stop event clear.
    thread.Start();
    thread.Stop(100);
    EXPECT_EQ(thread.runs.load(), 1);
    EXPECT_EQ(capture.Contents(), "");
}

TEST_F(ThreadSockTest, StopAfterStopSignalStartsAgain)
{
    StoppableThread thread;
    for (int i = 1; i <= 3; ++i) {
        thread.Start();
        thread.SignalStop();
        thread.Stop(100);
        EXPECT_EQ(thread.runs.load(), i);
        EXPECT_FALSE(thread.IsRunning());
    }
}

// A Run that returns, or throws as a system call inside it can, ends only the thread.
template <class Thread>
void ends_by_itself()
{
    Thread thread;
    thread.Start();
    for (int i = 0; i < 1000 && thread.IsRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(thread.IsRunning());
    // The ended thread is still held until stopped, so Start does nothing yet.
    thread.Start();
    thread.Stop(100);
    // Startable again, and the process is still here to see it.
    thread.Start();
    thread.Stop(100);
    EXPECT_FALSE(thread.IsRunning());
}

TEST_F(ThreadSockTest, RunningFlagClearsWhenRunEndsByItself)
{
    ends_by_itself<ShortThread>();
    ends_by_itself<ThrowingThread>();
}

TEST_F(ThreadSockTest, StubbornRunGetsTheForcedStopLineAndIsStillJoined)
{
    LogCapture capture;
    set_log_category_mask_for_tests(kSystemCategory, LOG_LEVEL_ERROR);
    StubbornThread thread("LanClient");
    thread.Start();

    // Release the thread only once the forced-stop line is in the log.
    std::thread watcher([&] {
        for (int i = 0; i < 2000; ++i) {
            if (capture.Contents().find("LanClient") != std::string::npos)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        thread.release.Set();
    });
    thread.Stop(100);
    watcher.join();

    EXPECT_TRUE(thread.returned.load());
    EXPECT_FALSE(thread.IsRunning());
    std::string text = capture.Contents();
    // Windows-1251 bytes of the Russian message.
    const std::string message = "\xC6\xE5\xF1\xF2\xEA\xE0\xFF \xEE\xF1\xF2\xE0\xED\xEE\xE2\xEA\xE0 "
                                "\xEF\xEE\xF2\xEE\xEA\xE0 LanClient\r\n";
    ASSERT_GT(text.size(), message.size());
    EXPECT_EQ(text.substr(text.size() - message.size()), message);
    EXPECT_NE(text.find("] [E] [System] "), std::string::npos);
}

} // namespace

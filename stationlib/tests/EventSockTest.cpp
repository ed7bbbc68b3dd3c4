#include "CEventSock.h"
#include "CManualResetEventSock.h"
#include "CWin32Exception.h"
#include "StringHelpers.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>

namespace {

TEST(EventSockTest, ZeroWaitOnClearEventIsFalseAtOnce)
{
    CEventSock autoReset;
    CManualResetEventSock manual;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(autoReset.Wait(0));
    EXPECT_FALSE(manual.Wait(0));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// Waiters on one event across threads are covered with the platform's events.
TEST(EventSockTest, AutoResetClearsOnWaitManualResetStaysSet)
{
    CEventSock autoReset;
    autoReset.Set();
    autoReset.Set();
    EXPECT_TRUE(autoReset.Wait(0));
    EXPECT_FALSE(autoReset.Wait(0));

    CManualResetEventSock manual;
    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(platform::kInfinite));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0));

    CManualResetEventSock initiallySet(true);
    EXPECT_TRUE(initiallySet.Wait(0));
}

TEST(EventSockTest, WaitOnTwoSignalledEventsTakesIndexZeroOnly)
{
    CEventSock first, second;
    first.Set();
    second.Set();
    platform::WaitHandle both[] = {first.GetHandle(), second.GetHandle()};
    EXPECT_EQ(platform::wait_for_multiple(both, 2, 0), platform::kWaitObject0);
    EXPECT_FALSE(first.Wait(0));
    EXPECT_TRUE(second.Wait(0));
}

TEST(EventSockTest, CreateReplacesTheEvent)
{
    CEventSock ev;
    ev.Set();
    ev.Create(true, false);
    EXPECT_FALSE(ev.Wait(0));
    ev.Set();
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_TRUE(ev.Wait(0));
}

// Runs `action` while the event's descriptor is closed, then puts it back so
// the event's own destructor closes a descriptor it owns.
void with_handle_closed(CEventSock& ev, const std::function<void()>& action)
{
    int saved = ::dup(ev.GetHandle());
    ASSERT_GE(saved, 0);
    ::close(ev.GetHandle());
    action();
    ASSERT_EQ(::dup2(saved, ev.GetHandle()), ev.GetHandle());
    ::close(saved);
}

TEST(EventSockTest, FailuresThrowWithOperationAndSystemText)
{
    struct Case { const char* text; std::function<void(CEventSock&)> call; };
    const Case cases[] = {
        {"CEventSock::Wait() - WaitForSingleObject", [](CEventSock& ev) { ev.Wait(0); }},
        {"CEventSock::Set()", [](CEventSock& ev) { ev.Set(); }},
        {"CEventSock::Reset()", [](CEventSock& ev) { ev.Reset(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CEventSock ev;
        bool thrown = false;
        with_handle_closed(ev, [&] {
            try {
                c.call(ev);
            } catch (const CExceptionEx& e) {
                thrown = true;
                EXPECT_EQ(e.GetText(), c.text);
                EXPECT_EQ(e.GetLocation(), format_win32_error(EBADF));
                auto* win32 = dynamic_cast<const CWin32Exception*>(&e);
                ASSERT_NE(win32, nullptr);
                EXPECT_EQ(win32->GetErrorCode(), EBADF);
            }
        });
        EXPECT_TRUE(thrown);
    }
}

} // namespace

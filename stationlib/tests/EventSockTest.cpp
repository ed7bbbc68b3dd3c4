#include "base/StringHelpers.h"
#include "threads/CEventSock.h"
#include "threads/CManualResetEventSock.h"
#include "threads/CWin32Exception.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <functional>

namespace {

// Waits, waiters across threads and waits on several events are covered with
// the platform's events.
TEST(EventSockTest, AutoResetClearsOnWaitManualResetStaysSet)
{
    CEventSock autoReset;
    EXPECT_FALSE(autoReset.Wait(0));
    autoReset.Set();
    autoReset.Set();
    EXPECT_TRUE(autoReset.Wait(0));
    EXPECT_FALSE(autoReset.Wait(0));

    CManualResetEventSock manual;
    EXPECT_FALSE(manual.Wait(0));
    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(platform::kInfinite));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0));

    CManualResetEventSock initiallySet(true);
    EXPECT_TRUE(initiallySet.Wait(0));
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

#pragma once

#include "platform/Thread.h"
#include "threads/CManualResetEventSock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// A named worker thread running the derived class's Run. Stopping is
// cooperative: Run watches the stop event and returns. Start and Stop are
// called by the owner, never by the thread itself. A derived class stops the
// thread in its own destructor, before its members go. An object that must be
// deleted on its own thread takes that thread's handle away first (TakeThread)
// and is deleted by its end action.
class CThreadSock
{
public:
    explicit CThreadSock(const std::string& name);
    virtual ~CThreadSock();
    CThreadSock(const CThreadSock&) = delete;
    CThreadSock& operator=(const CThreadSock&) = delete;

    // Starts the thread unless one exists. Throws CWin32Exception.
    void Start();
    // Signals the stop event and waits for the thread to end. One still running
    // after the stop wait gets the forced-stop log line and is waited for on:
    // a thread is never killed, as that would leave its locks held. The exit
    // code is kept for callers; the thread's own comes from Run.
    void Stop(uint32_t exitCode);
    // Sets the stop event when a thread exists.
    void SignalStop();

    // Names the thread of that kernel id as debuggers and the system show it;
    // nothing happens when it cannot be named. Every thread of ours names
    // itself with it before its Run begins.
    static void NameThread(uint32_t threadId, const std::string& name);

    // True from Start until Run has returned.
    bool IsRunning() const { return m_running.load() != 0; }
    // True when called on this object's thread.
    bool IsOwnThread() const { return m_thread.IsCurrent(); }
    // Runs on the thread once Run has returned, as the last thing the thread
    // does with this object, so the action may delete it. Set before Start or
    // on the thread itself.
    void SetEndAction(std::function<void()> action) { m_endAction = std::move(action); }
    // Hands the thread over to be joined by the caller; Stop and the destructor
    // leave it alone from then on. The thread cannot join itself, so an object
    // deleted on its own thread gives the thread to whoever must wait for it.
    platform::Thread TakeThread() { return std::move(m_thread); }
    const std::string& GetName() const { return m_name; }

protected:
    // The thread body; its result is the thread's exit code.
    virtual uint32_t Run() = 0;

    CManualResetEventSock& GetStopEvent() { return m_stopEvent; }

private:
    static uint32_t ThreadProc(void* self);

    platform::Thread m_thread;
    std::atomic<int32_t> m_running{0};
    CManualResetEventSock m_stopEvent;
    std::string m_name;
    std::function<void()> m_endAction;
};

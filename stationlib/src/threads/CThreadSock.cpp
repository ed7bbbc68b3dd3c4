#include "threads/CThreadSock.h"

#include "base/StringHelpers.h"
#include "base/Timeouts.h"
#include "threads/CFileLog.h"
#include "threads/CWin32Exception.h"

#include <cerrno>

namespace {

constexpr uint32_t kDestructorExitCode = 666;
// Exit code of a thread whose Run ended by an exception.
constexpr uint32_t kFailedRunExitCode = 0xFFFFFFFFu;

void log_forced_stop(const std::string& threadName)
{
    log_printf(1, 6, "System", 0, ansi_text("Жесткая остановка потока %s").c_str(), threadName.c_str());
}

} // namespace

CThreadSock::CThreadSock(const std::string& name) : m_stopEvent(false), m_name(name)
{
}

CThreadSock::~CThreadSock()
{
    try {
        Stop(kDestructorExitCode);
    } catch (...) {
        // A destructor must not throw; the thread is joined by m_thread.
    }
}

void CThreadSock::Start()
{
    if (m_thread.IsStarted())
        return;
    m_stopEvent.Reset();
    // Set before the thread exists, so its end can never be overwritten.
    m_running = 1;
    // Unnamed here: the thread names itself through NameThread.
    if (!m_thread.Start(&CThreadSock::ThreadProc, this, std::string())) {
        int error = errno;
        m_running = 0;
        throw CWin32Exception("CThreadSock::Start() - _beginthreadex", error);
    }
}

void CThreadSock::Stop(uint32_t /*exitCode*/)
{
    if (!m_thread.IsStarted())
        return;
    m_stopEvent.Set();
    platform::Thread::JoinResult result = m_thread.Join(Timeouts::ThreadStopWaitMs());
    if (result == platform::Thread::JoinResult::TimedOut) {
        log_forced_stop(m_name);
        result = m_thread.Join(platform::kInfinite);
    }
    if (result == platform::Thread::JoinResult::Joined)
        m_running = 0;
}

void CThreadSock::NameThread(uint32_t threadId, const std::string& name)
{
    platform::set_thread_name(static_cast<pid_t>(threadId), name);
}

void CThreadSock::SignalStop()
{
    if (m_thread.IsStarted())
        m_stopEvent.Set();
}

uint32_t CThreadSock::ThreadProc(void* self)
{
    auto* thread = static_cast<CThreadSock*>(self);
    NameThread(static_cast<uint32_t>(platform::current_thread_id()), thread->m_name);
    uint32_t exitCode = kFailedRunExitCode;
    try {
        exitCode = thread->Run();
    } catch (...) {
        // Leaving the thread, an exception would end the host's process; it
        // ends only this thread.
    }
    thread->m_running = 0;
    // Taken out first: the action may delete the object that holds it.
    std::function<void()> endAction = std::move(thread->m_endAction);
    if (endAction)
        endAction();
    return exitCode;
}

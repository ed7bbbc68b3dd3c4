#pragma once

#include "platform/Event.h"

#include <pthread.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace platform {

// Longest thread name the system keeps, in bytes.
constexpr size_t kMaxThreadNameLength = 15;

// Names the calling thread; the name is cut to kMaxThreadNameLength bytes
// (never inside a UTF-8 sequence).
void set_current_thread_name(const std::string& name);
// Name of the calling thread as the system keeps it.
std::string current_thread_name();
// Names a thread of this process by its kernel id (gettid), cut as above. False
// when there is no such thread or the name cannot be written.
bool set_thread_name(pid_t thread_id, const std::string& name);
// The kernel id of the calling thread.
pid_t current_thread_id();

// One system thread. Nothing ever kills it: it is asked to end by its owner
// and then joined.
class Thread
{
public:
    using Entry = uint32_t (*)(void* argument);

    enum class JoinResult { Joined, TimedOut, Failed };

    Thread() = default;
    // Joins a thread still held.
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // The thread changes hands; the one moved from holds none.
    Thread(Thread&& other) noexcept;
    // Joins a thread held before taking the other's.
    Thread& operator=(Thread&& other) noexcept;

    // Starts entry(argument) on a new thread named `name`, named before entry
    // runs; with an empty name the thread keeps the one it was born with, for
    // an entry that names itself. False with errno set when the thread cannot
    // be made, or one is already held.
    bool Start(Entry entry, void* argument, const std::string& name);

    // Waits up to timeoutMs (kInfinite: without end) for the thread to end and
    // releases it when it has. Failed (errno EDEADLK) when called by the thread
    // itself, (errno ESRCH) when there is no thread.
    JoinResult Join(uint32_t timeoutMs);

    bool IsStarted() const { return m_started; }
    // True when called by the thread held.
    bool IsCurrent() const { return m_started && ::pthread_equal(m_thread, ::pthread_self()); }
    // Polls readable once the thread's entry has returned.
    WaitHandle GetEndedHandle() const { return m_ended; }
    // The entry's result, after a successful Join.
    uint32_t GetExitCode() const { return m_exitCode; }

private:
    struct Launch;
    static void* Trampoline(void* launch);

    pthread_t m_thread{};
    bool m_started = false;
    WaitHandle m_ended = kInvalidWaitHandle;
    uint32_t m_exitCode = 0;
};

} // namespace platform

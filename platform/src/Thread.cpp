#include "platform/Thread.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

namespace platform {

struct Thread::Launch
{
    Entry entry;
    void* argument;
    std::string name;
    WaitHandle ended;
};

namespace {

// The name cut to kMaxThreadNameLength bytes, stepping back over UTF-8
// continuation bytes so no character is split.
std::string cut_thread_name(const std::string& name)
{
    size_t length = name.size();
    if (length > kMaxThreadNameLength) {
        length = kMaxThreadNameLength;
        while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
            --length;
    }
    return name.substr(0, length);
}

} // namespace

void set_current_thread_name(const std::string& name)
{
    ::pthread_setname_np(::pthread_self(), cut_thread_name(name).c_str());
}

bool set_thread_name(pid_t thread_id, const std::string& name)
{
    const std::string path = "/proc/self/task/" + std::to_string(thread_id) + "/comm";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const std::string cut = cut_thread_name(name);
    const bool written = ::write(fd, cut.data(), cut.size()) == static_cast<ssize_t>(cut.size());
    ::close(fd);
    return written;
}

pid_t current_thread_id()
{
    return ::gettid();
}

std::string current_thread_name()
{
    char buffer[kMaxThreadNameLength + 1] = {};
    if (::pthread_getname_np(::pthread_self(), buffer, sizeof buffer) != 0)
        return std::string();
    return buffer;
}

void* Thread::Trampoline(void* raw)
{
    std::unique_ptr<Launch> launch(static_cast<Launch*>(raw));
    if (!launch->name.empty())
        set_current_thread_name(launch->name);
    uint32_t code = launch->entry(launch->argument);
    set_event(launch->ended);
    return reinterpret_cast<void*>(static_cast<uintptr_t>(code));
}

Thread::~Thread()
{
    if (!m_started)
        return;
    if (Join(kInfinite) == JoinResult::Failed && errno == EDEADLK) {
        // Released by itself: it must not be waited for, and its end event
        // stays open because the thread still signals it.
        ::pthread_detach(m_thread);
    }
}

Thread::Thread(Thread&& other) noexcept
    : m_thread(other.m_thread), m_started(other.m_started), m_ended(other.m_ended), m_exitCode(other.m_exitCode)
{
    other.m_started = false;
    other.m_ended = kInvalidWaitHandle;
}

Thread& Thread::operator=(Thread&& other) noexcept
{
    if (this != &other) {
        if (m_started)
            Join(kInfinite);
        m_thread = other.m_thread;
        m_started = other.m_started;
        m_ended = other.m_ended;
        m_exitCode = other.m_exitCode;
        other.m_started = false;
        other.m_ended = kInvalidWaitHandle;
    }
    return *this;
}

bool Thread::Start(Entry entry, void* argument, const std::string& name)
{
    if (m_started) {
        errno = EBUSY;
        return false;
    }
    WaitHandle ended = create_event(true, false);
    if (ended == kInvalidWaitHandle)
        return false;
    auto launch = std::make_unique<Launch>(Launch{entry, argument, name, ended});
    // Held before the thread exists: its entry may already ask about itself.
    m_ended = ended;
    m_started = true;
    m_exitCode = 0;
    int error = ::pthread_create(&m_thread, nullptr, &Thread::Trampoline, launch.get());
    if (error != 0) {
        m_started = false;
        m_ended = kInvalidWaitHandle;
        close_event(ended);
        errno = error;
        return false;
    }
    launch.release();
    return true;
}

Thread::JoinResult Thread::Join(uint32_t timeoutMs)
{
    if (!m_started) {
        errno = ESRCH;
        return JoinResult::Failed;
    }
    if (::pthread_equal(m_thread, ::pthread_self())) {
        errno = EDEADLK;
        return JoinResult::Failed;
    }
    switch (wait_for_single(m_ended, timeoutMs)) {
    case kWaitObject0:
        break;
    case kWaitTimeout:
        return JoinResult::TimedOut;
    default:
        return JoinResult::Failed;
    }
    void* result = nullptr;
    int error = ::pthread_join(m_thread, &result);
    if (error != 0) {
        errno = error;
        return JoinResult::Failed;
    }
    m_exitCode = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(result));
    close_event(m_ended);
    m_ended = kInvalidWaitHandle;
    m_started = false;
    return JoinResult::Joined;
}

} // namespace platform

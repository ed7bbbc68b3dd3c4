#include "platform/Event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <mutex>
#include <unordered_set>

#if defined(__SANITIZE_THREAD__)
#define KORVEL_EVENT_ANNOTATIONS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KORVEL_EVENT_ANNOTATIONS 1
#endif
#endif

#ifdef KORVEL_EVENT_ANNOTATIONS
#include <sanitizer/tsan_interface.h>
#endif

namespace platform {
namespace {

#ifdef KORVEL_EVENT_ANNOTATIONS
// ThreadSanitizer sees no order in a poll that finds an eventfd readable: a set
// releases, and the wait it ends acquires, an address that stands for the
// descriptor. Descriptors this far apart share one, which can only hide a race.
constexpr int kEventSyncSlots = 1 << 16;
char g_eventSync[kEventSyncSlots];
#define KORVEL_EVENT_RELEASE(fd) __tsan_release(&g_eventSync[static_cast<unsigned>(fd) % kEventSyncSlots])
#define KORVEL_EVENT_ACQUIRE(fd) __tsan_acquire(&g_eventSync[static_cast<unsigned>(fd) % kEventSyncSlots])
#else
#define KORVEL_EVENT_RELEASE(fd) ((void)(fd))
#define KORVEL_EVENT_ACQUIRE(fd) ((void)(fd))
#endif

// Auto-reset events are plain eventfds too; the wait needs to know which
// descriptors it must clear when it is released by them. Built before and
// destroyed after every unprioritised global of the module that links this, whose
// destructors may still close events (a library deleting its instances at unload).
__attribute__((init_priority(200))) std::mutex g_registryMutex;
__attribute__((init_priority(200))) std::unordered_set<int> g_autoResetEvents;

bool is_auto_reset(WaitHandle handle)
{
    std::lock_guard<std::mutex> lock(g_registryMutex);
    return g_autoResetEvents.count(handle) != 0;
}

// Clears the counter. False when it was already clear (another waiter took it).
bool consume(WaitHandle event, bool& failed)
{
    uint64_t value = 0;
    for (;;) {
        ssize_t n = ::read(event, &value, sizeof value);
        if (n == static_cast<ssize_t>(sizeof value))
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        failed = !(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
        return false;
    }
}

constexpr short kReadyEvents = POLLIN | POLLHUP | POLLERR;

} // namespace

WaitHandle create_event(bool manualReset, bool initialState)
{
    int fd = ::eventfd(initialState ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0)
        return kInvalidWaitHandle;
    if (!manualReset) {
        std::lock_guard<std::mutex> lock(g_registryMutex);
        g_autoResetEvents.insert(fd);
    }
    return fd;
}

bool set_event(WaitHandle event)
{
    KORVEL_EVENT_RELEASE(event);
    const uint64_t one = 1;
    for (;;) {
        ssize_t n = ::write(event, &one, sizeof one);
        if (n == static_cast<ssize_t>(sizeof one))
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        // A saturated counter is signalled already.
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (n >= 0)
            errno = EIO;
        return false;
    }
}

bool reset_event(WaitHandle event)
{
    bool failed = false;
    consume(event, failed);
    return !failed;
}

bool close_event(WaitHandle event)
{
    {
        std::lock_guard<std::mutex> lock(g_registryMutex);
        g_autoResetEvents.erase(event);
    }
    return ::close(event) == 0;
}

uint32_t wait_for_multiple(const WaitHandle* handles, uint32_t count, uint32_t timeoutMs)
{
    if (handles == nullptr || count == 0 || count > kMaxWaitHandles) {
        errno = EINVAL;
        return kWaitFailed;
    }
    pollfd fds[kMaxWaitHandles];
    for (uint32_t i = 0; i < count; ++i) {
        // poll skips negative descriptors: such a wait would never end.
        if (handles[i] < 0) {
            errno = EBADF;
            return kWaitFailed;
        }
        fds[i] = pollfd{handles[i], POLLIN, 0};
    }

    using Clock = std::chrono::steady_clock;
    const bool infinite = timeoutMs == kInfinite;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // Every handle is polled once more at the deadline before the wait reports
    // a time-out; a zero wait is only that round.
    bool lastRound = false;

    for (;;) {
        int pollTimeout = -1;
        if (!infinite) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                if (lastRound)
                    return kWaitTimeout;
                lastRound = true;
                left = 0;
            }
            pollTimeout = left > INT_MAX ? INT_MAX : static_cast<int>(left);
        }

        int ready = ::poll(fds, count, pollTimeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return kWaitFailed;
        }
        if (ready == 0)
            continue; // the deadline check above ends the wait

        for (uint32_t i = 0; i < count; ++i) {
            if (fds[i].revents & POLLNVAL) {
                errno = EBADF;
                return kWaitFailed;
            }
        }
        for (uint32_t i = 0; i < count; ++i) {
            if (!(fds[i].revents & kReadyEvents))
                continue;
            bool failed = false;
            if (!is_auto_reset(handles[i]) || consume(handles[i], failed)) {
                KORVEL_EVENT_ACQUIRE(handles[i]);
                return kWaitObject0 + i;
            }
            if (failed)
                return kWaitFailed;
            // Another waiter took it: the next signalled handle answers.
        }
    }
}

uint32_t wait_for_single(WaitHandle handle, uint32_t timeoutMs)
{
    return wait_for_multiple(&handle, 1, timeoutMs);
}

} // namespace platform

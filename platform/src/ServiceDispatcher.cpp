#include "platform/ServiceDispatcher.h"

#include "platform/SystemError.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace platform {
namespace {

// The one handle a process's service gets.
constexpr ServiceStatusHandle kServiceHandle = 1;

// Every signal that would end the process unasked: the service manager's stop,
// Ctrl-C, a closed terminal and Ctrl-\ all stop the service cleanly instead.
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

struct DispatcherState {
    std::mutex mutex;
    bool running = false;
    ServiceControlHandler handler = nullptr;
    ServiceStatus status;
    bool stopReported = false;
    // Stops taken before the service registered its handler.
    unsigned pendingStops = 0;
    // Eventfd that wakes the dispatcher thread.
    int wake = -1;
};

DispatcherState g_dispatcher;

void wake_dispatcher_locked()
{
    const uint64_t one = 1;
    if (g_dispatcher.wake >= 0)
        (void)::write(g_dispatcher.wake, &one, sizeof(one));
}

// Reads every signal taken since the last call; returns how many.
unsigned take_signals(int signalFd)
{
    unsigned count = 0;
    signalfd_siginfo info{};
    while (::read(signalFd, &info, sizeof(info)) == static_cast<ssize_t>(sizeof(info)))
        ++count;
    return count;
}

sigset_t stop_signal_set()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (const int stop : kStopSignals)
        sigaddset(&signals, stop);
    return signals;
}

} // namespace

void block_stop_signals()
{
    const sigset_t signals = stop_signal_set();
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

bool started_by_service_manager()
{
    const char* invocation = std::getenv("INVOCATION_ID");
    return invocation != nullptr && invocation[0] != '\0';
}

bool start_service_ctrl_dispatcher(const ServiceTableEntry* table, uint32_t& exitCode)
{
    exitCode = kErrorFailedServiceControllerConnect;
    if (table == nullptr || table->main == nullptr || !started_by_service_manager())
        return false;

    const sigset_t signals = stop_signal_set();
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &signals, &previous);
    const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (signalFd < 0 || wake < 0) {
        exitCode = static_cast<uint32_t>(errno);
        if (signalFd >= 0)
            ::close(signalFd);
        if (wake >= 0)
            ::close(wake);
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(g_dispatcher.mutex);
        g_dispatcher.running = true;
        g_dispatcher.handler = nullptr;
        g_dispatcher.status = ServiceStatus{};
        g_dispatcher.stopReported = false;
        g_dispatcher.pendingStops = 0;
        g_dispatcher.wake = wake;
    }

    // Started after the mask is set, so the service's thread and every thread
    // it starts keep the signals blocked.
    std::string name = table->name != nullptr ? table->name : "";
    const ServiceMain entry = table->main;
    std::thread service([&name, entry] {
        char* argv[] = {&name[0], nullptr};
        entry(1, argv);
    });

    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        const unsigned stops = (fds[0].revents & POLLIN) != 0 ? take_signals(signalFd) : 0;
        if ((fds[1].revents & POLLIN) != 0) {
            uint64_t count = 0;
            (void)::read(wake, &count, sizeof(count));
        }
        ServiceControlHandler handler = nullptr;
        unsigned deliver = 0;
        bool stopped = false;
        {
            std::lock_guard<std::mutex> lock(g_dispatcher.mutex);
            g_dispatcher.pendingStops += stops;
            handler = g_dispatcher.handler;
            if (handler != nullptr) {
                deliver = g_dispatcher.pendingStops;
                g_dispatcher.pendingStops = 0;
            }
            stopped = g_dispatcher.stopReported;
        }
        // Outside the lock: the handler may report a status itself.
        for (unsigned i = 0; i < deliver; ++i)
            handler(kServiceControlStop);
        if (stopped)
            break;
    }
    service.join();

    {
        std::lock_guard<std::mutex> lock(g_dispatcher.mutex);
        const ServiceStatus& status = g_dispatcher.status;
        exitCode = status.win32ExitCode == kErrorServiceSpecificError ? status.serviceSpecificExitCode
                                                                        : status.win32ExitCode;
        g_dispatcher.running = false;
        g_dispatcher.handler = nullptr;
        g_dispatcher.wake = -1;
    }
    take_signals(signalFd);
    ::close(signalFd);
    ::close(wake);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return true;
}

ServiceStatusHandle register_service_ctrl_handler(const char* /*name*/, ServiceControlHandler handler)
{
    std::lock_guard<std::mutex> lock(g_dispatcher.mutex);
    if (!g_dispatcher.running || handler == nullptr)
        return 0;
    g_dispatcher.handler = handler;
    if (g_dispatcher.pendingStops > 0)
        wake_dispatcher_locked();
    return kServiceHandle;
}

bool set_service_status(ServiceStatusHandle handle, const ServiceStatus& status)
{
    std::lock_guard<std::mutex> lock(g_dispatcher.mutex);
    if (handle != kServiceHandle || !g_dispatcher.running)
        return false;
    g_dispatcher.status = status;
    if (status.currentState == kServiceStopped) {
        g_dispatcher.stopReported = true;
        wake_dispatcher_locked();
    }
    return true;
}

} // namespace platform

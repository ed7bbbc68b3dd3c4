#include "threadutils/ThreadUtils.h"

#include "utils/Assertion.h"
#include "utils/LogFunctions.h"
#include "utils/ProcessLogger.h"

#include "platform/SystemError.h"
#include "platform/Thread.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace {

constexpr int kIdlePriority = -15;
// Longest system message a log line carries.
constexpr size_t kMaxMessageLength = 256;

// The idle priority is the run-only-when-idle class; everything else is the
// ordinary time-sharing class.
int scheduling_policy(int priority)
{
    return priority == kIdlePriority ? SCHED_IDLE : SCHED_OTHER;
}

std::string one_line_message(int error)
{
    std::string text = platform::system_error_text(static_cast<uint32_t>(error));
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    if (text.size() > kMaxMessageLength)
        text.resize(kMaxMessageLength);
    return text;
}

} // namespace

void set_thread_name(pid_t thread_id, const std::string& name)
{
    if (thread_id == kCallingThread)
        platform::set_current_thread_name(name);
    else
        platform::set_thread_name(thread_id, name);
}

void set_current_thread_name(const std::string& name)
{
    set_thread_name(kCallingThread, name);
    Logger* logger = g_logger.load();
    void (*const hook)(const char*) = logger != nullptr ? logger->thread_hook.load() : nullptr;
    if (hook != nullptr)
        hook(name.c_str());
    else
        log_warning("FIXME NO LOGGER OR set_unhandled_handler_again\n");
}

std::map<int, int> windows_thread_priorities()
{
    return {{0, 0}, {1, kIdlePriority}};
}

void set_thread_priority(int level)
{
    const std::map<int, int> windows_thread_priorities = ::windows_thread_priorities();
    const auto priority_iter = windows_thread_priorities.find(level);
    KORVEL_ASSERT(priority_iter != windows_thread_priorities.end());
    const int priority = priority_iter->second;
    const sched_param parameters{};
    const int error = ::pthread_setschedparam(::pthread_self(), scheduling_policy(priority), &parameters);
    const auto thread_id = static_cast<unsigned long>(::gettid());
    if (error == 0)
        log_info("thread %lu priority is set to %d\n", thread_id, priority);
    else
        log_warning("cannot change priority for thread %lu: (%lu) %s\n", thread_id, static_cast<unsigned long>(error),
                    one_line_message(error).c_str());
}

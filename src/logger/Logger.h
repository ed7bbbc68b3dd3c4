#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

// The process logger as the log front end, the assertion handler and the fatal
// exit see it: the operations they call, all virtual and reached through this
// interface, and the members they use. The file logger with rotation, backlog and
// listeners implements it.
class Logger
{
public:
    // Ends logging; later writes are dropped.
    virtual void stop() = 0;
    virtual ~Logger() = default;

    // Moves the current log (or the in-memory backlog) into a crash log file.
    virtual void save_crash_log() = 0;
    // Hands a message to the registered listeners; level 0 information, 1
    // warning, 2 critical.
    virtual void notify_listeners(int level, const char* text) = 0;
    // Appends the text to the log as it stands.
    virtual void write(const char* text) = 0;

    // Written at the head of each newly opened log file.
    std::string head_line;
    // sleep_us waits on the condition while the flag is clear; the clock
    // watchdog wakes the sleepers after the system clock jumps back.
    std::mutex sleep_mutex;
    bool sleep_flag = false;
    std::condition_variable sleep_condition;
};

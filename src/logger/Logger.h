#pragma once

// The process logger as the assertion handler and the fatal exit see it: the
// operations they call, all virtual and reached through this interface.
// The file logger with rotation, backlog and listeners implements it.
class Logger
{
public:
    virtual ~Logger() = default;

    // Moves the current log (or the in-memory backlog) into a crash log file.
    virtual void save_crash_log() = 0;
    // Hands a message to the registered listeners; level 2 is critical.
    virtual void notify_listeners(int level, const char* text) = 0;
    // Appends the text to the log as it stands.
    virtual void write(const char* text) = 0;
};

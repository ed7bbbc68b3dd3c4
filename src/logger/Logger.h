#pragma once

// The library's file logger: appends text to one log file, rotates it past a size
// limit (into dated files under "<file>_olds", or one ".older" file), hands each
// message to listeners, saves crash logs and keeps text in a backlog until it has
// a file name. Its operations are virtual, so tests can watch them.

#include "logger/ClockWatchdog.h"
#include "utils/CrashFiles.h"

#include "platform/RegularFile.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class Backlog;

class LogListener
{
public:
    virtual ~LogListener() = default;
    virtual void on_message(const std::string& text) = 0;
};

struct LogFileText
{
    std::string name; // without its folder
    std::string text;
};

// The global logger mutex, one for every Logger and never destroyed: all file
// and backlog work runs under it.
class GlobalLoggerLock
{
public:
    // without_waiting: a thread that holds the mutex already (in a lock scope of
    // its own) goes on under that hold; otherwise the mutex is taken only if it
    // is free, and holds() tells whether it was.
    explicit GlobalLoggerLock(bool without_waiting = false);
    ~GlobalLoggerLock();
    GlobalLoggerLock(const GlobalLoggerLock&) = delete;
    GlobalLoggerLock& operator=(const GlobalLoggerLock&) = delete;
    void unlock();
    bool holds() const { return m_locked || m_under_own_hold; }

    // Whether the calling thread holds the mutex; a failure report must not then
    // wait for it.
    static bool held_by_this_thread();

private:
    bool m_locked = true;
    bool m_under_own_hold = false;
};

// The global logger mutex with messages to log once it is released (logging
// under it would take it again).
class DeferredLogLock
{
public:
    // With without_waiting (see GlobalLoggerLock) the messages must be taken
    // before the lock goes: logging them would wait for the caller's own hold.
    explicit DeferredLogLock(bool without_waiting = false) : m_lock(without_waiting) {}
    bool holds() const { return m_lock.holds(); }
    ~DeferredLogLock() { print_deferred_messages(); }
    void add(const std::string& message) { m_messages.push_back(message); }
    std::vector<std::string>& messages() { return m_messages; }
    // Unlocks, then logs each collected message as a warning.
    void print_deferred_messages();

private:
    GlobalLoggerLock m_lock;
    std::vector<std::string> m_messages;
};

class Logger
{
public:
    Logger(const std::string& log_dir, const std::string& crashlog_dir, const std::string& log_filename,
           const std::string& identity, uint64_t max_file_size, int32_t max_old_files, const std::string& name_part);
    // No identity and no backlog: needs a log file name.
    Logger(const std::string& log_dir, const std::string& crashlog_dir, const std::string& log_filename,
           uint64_t max_file_size, int32_t max_old_files, const std::string& name_part);
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // Ends logging; later writes are dropped. Prompt even mid-episode of the watchdog.
    virtual void stop();
    virtual ~Logger();
    // Moves the log file (or dumps the backlog) to the next crash log name.
    virtual void save_crash_log();
    // Hands a non-empty text to the live listeners; the level is not used.
    virtual void notify_listeners(int level, const char* text);
    // Appends the text to the log file (the backlog while there is no file name).
    virtual void write(const char* text);
    virtual void rotate_now();
    virtual void set_name_part(const std::string& text);
    virtual void change_log_dir(const std::string& new_dir, uint64_t max_file_size, int32_t max_old_files);
    // The log, its ".bkp" and ".older" files, then the dated files newest first.
    virtual std::vector<LogFileText> read_logs();

    void add_listener(const std::shared_ptr<LogListener>& listener);

    // The next crash file name (without extension) for this logger's files.
    std::string crash_file_base() const;

    // The texts, sizes and counts below are guarded by the global logger mutex.
    // Written after the name part at the head of each newly opened log file.
    std::string head_line;
    std::string name_part;
    uint64_t max_file_size;
    // 0: one ".older" file beside the log; otherwise dated files in "_olds", a
    // positive count of them kept. Never negative.
    int32_t max_old_files;
    // Changed, like the files it names, only under the global logger mutex
    // (taken first); this one guards it for readers.
    std::mutex old_files_mutex;
    NumberedFiles old_files; // by time stamp, oldest first
    // sleep_us waits on the condition while the flag is clear; the clock
    // watchdog wakes the sleepers after the system clock jumps back.
    std::mutex sleep_mutex;
    bool sleep_flag = false;
    std::condition_variable sleep_condition;
    const std::string log_filename;
    std::string log_dir;
    const std::string crashlog_dir;
    // Read by every thread that names itself.
    std::atomic<void (*)(const char* name)> thread_hook{nullptr};
    const std::string identity;

protected:
    std::string olds_dir() const;
    void open_file(bool append);
    void close_file();
    // Whether the path the file was opened at names another file or none now.
    bool file_moved_away() const;
    // These three are called with the global logger mutex held.
    void rotate(bool size_triggered, DeferredLogLock& lock);
    void list_old_files(const std::string& folder, DeferredLogLock& lock);
    // Removes old files beyond max_old_files and forgets them.
    void trim_old_files(DeferredLogLock& lock);

private:
    void start();

    std::mutex m_listeners_mutex;
    std::vector<std::weak_ptr<LogListener>> m_listeners;
    std::unique_ptr<Backlog> m_backlog;
    WatchdogControl m_watchdog_control;
    std::thread m_watchdog;
    bool m_stopped = false;
    FILE* m_file = nullptr;
    // Where the file was last opened and what it was.
    std::string m_file_path;
    std::optional<platform::FileIdentity> m_file_identity;
    // Set until the first opening and after a crash log took the file away.
    bool m_truncate_on_open = true;
    bool m_rotation_disabled = false;
    std::string m_bkp_name;
    std::string m_older_name;
};

// Renames, or copies and removes; false when the file could not be copied.
bool logger_move_file(const std::string& from, const std::string& to, DeferredLogLock& lock);
// As logger_move_file, but never onto an existing file: that leaves the file
// where it is, with no message.
enum class NewFileMove { Moved, NameTaken, Failed };
NewFileMove logger_move_to_new_file(const std::string& from, const std::string& to, DeferredLogLock& lock);
// Appends {file name, whole text}; a failure is a message (to the lock when
// given, else a warning) and appends nothing.
void read_file_lines(std::vector<LogFileText>& list, const std::string& path, DeferredLogLock* lock);
// Removes the oldest files until max_size remain; returns the entries left. A
// file that cannot be removed is reported and given up.
NumberedFiles remove_old_files(NumberedFiles files, int32_t max_size, DeferredLogLock* lock);

// Keeps the previous run's log as "<stem>.bkp<ext>" in the crash-log folder,
// removes the ".older" file and installs a Logger as g_logger unless one is set.
void start_logging(const std::string& log_dir, const std::string& crashlog_dir, const std::string& log_filename,
                   const std::string& identity, uint64_t max_file_size);

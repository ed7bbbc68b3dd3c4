#pragma once

#include <chrono>
#include <cstddef>
#include <string>

// Log levels: a message is written when its level is not above `verbosity`.
constexpr int kLogError = 0;
constexpr int kLogInfo = 1;
constexpr int kLogVerbose = 2;

// Longest text one log_message call writes; longer output is cut to it.
constexpr size_t kLogMessageMaxLength = 4095;

// Past this size the log is moved to "<log>.old" (replacing the one before) and
// a new file is begun, so a flood of lines never fills the disk.
constexpr size_t kLogMaxFileSize = 64 * 1024 * 1024;
extern const char kOldLogSuffix[];
// A whole line (ending in a line end) written again within this time after it
// was last written is counted, not written; the count follows once the time
// has passed, as "repeated N times: <line>" (with the next message, or from
// log_repeat_counts, whichever comes first).
constexpr std::chrono::milliseconds kLogRepeatWindow{1000};
// Lines remembered for that; more are forgotten oldest first.
constexpr size_t kLogRepeatLinesKept = 1024;

// How a run's first written message treats the log it finds.
enum class LogStart {
    // A service run: when it takes the lock beside the log (log_lock_path),
    // which it then holds until the path is set again, the file there is moved
    // to "<log>.old" (replacing the one before) and a new one is begun, so a
    // restart keeps the last run's lines. A run that finds the lock held by a
    // service still running appends, as a console command does, and leaves
    // that service's lines where they are.
    NewFile,
    // A console command, which a running service may be writing beside: its
    // lines go after those there.
    Append,
};

// The service's log file, "korvel-orvanta-client.log" beside the executable.
// Setting it also makes the next written message begin the run's file. An
// empty path sets no log: messages are dropped.
void set_log_path(const std::string& path, LogStart start = LogStart::NewFile);
std::string log_path();

// The lock file a service run holds for its life beside the log: its name with
// ".lock" in place of ".log" ("korvel-orvanta-client.lock"). Never the log
// itself, which is reopened at every write and renamed at rotation.
std::string log_lock_path(const std::string& log);

// printf-style; writes the text exactly as formatted (no time stamp, no line
// end added). Every message is appended in one write, so another process
// writing the same file loses nothing either. Safe from any thread: calls are
// serialised. A log that is a symbolic link is written, and moved aside,
// where it leads: "<target>.old" beside its target. What the log cannot take
// (it cannot be opened, is no regular file, or the write fails) goes to
// standard error instead, after a line saying why.
void log_message(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes the counts whose window has passed, so none waits for a next message;
// with `all`, every count still open (at stop, when no later call comes).
void log_repeat_counts(bool all = false);

// Test-only: other limits for the size and the repeats (a window of 0 writes
// every line); set_log_limits_for_tests() restores the constants above and the
// log's clock, which move_log_clock_for_tests() moves on.
void set_log_limits_for_tests(size_t max_file_size = kLogMaxFileSize,
                              std::chrono::milliseconds repeat_window = kLogRepeatWindow);
void move_log_clock_for_tests(std::chrono::milliseconds by);

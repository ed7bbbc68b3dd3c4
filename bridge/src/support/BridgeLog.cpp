#include "support/BridgeLog.h"

#include "support/ConnectionSettings.h"

#include "platform/RegularFile.h"
#include "utils/ModulePaths.h"
#include "utils/StringPrintf.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <mutex>
#include <unordered_map>

const char kOldLogSuffix[] = ".old";

namespace {

using Clock = std::chrono::steady_clock;

// A line written lately, and how often it came again since.
struct RecentLine
{
    std::string text;
    Clock::time_point written;
    size_t repeats = 0;
};

// Serialises every call, so the run's file is begun once and lines from the
// service, worker and server threads never interleave. Guards everything below.
std::mutex g_log_mutex;
std::string g_log_path;
LogStart g_log_start = LogStart::NewFile;
bool g_log_written = false;
// The lock of a service run's log, held while the path stays; -1 when not held.
int g_lock_fd = -1;
// Set once standard error was told why the log takes no lines, until it takes one.
bool g_log_failing = false;
size_t g_max_file_size = kLogMaxFileSize;
std::chrono::milliseconds g_repeat_window = kLogRepeatWindow;
std::list<RecentLine> g_recent; // oldest first
std::unordered_map<std::string, std::list<RecentLine>::iterator> g_recent_index;

// Moved by tests, so that a repeat window passes without waiting for it.
std::atomic<int64_t> g_clock_shift_ms{0};

Clock::time_point log_clock_now()
{
    return Clock::now() + std::chrono::milliseconds(g_clock_shift_ms.load());
}

void forget_recent_lines()
{
    g_recent.clear();
    g_recent_index.clear();
}

// Forgets the lines whose time has passed (or that no longer fit; with `all`,
// every line), adding the count of each one that came again to `out`.
void expire_recent_lines(Clock::time_point now, std::string& out, bool all = false)
{
    while (!g_recent.empty() && (all || now - g_recent.front().written >= g_repeat_window ||
                                 g_recent.size() > kLogRepeatLinesKept)) {
        const RecentLine& line = g_recent.front();
        if (line.repeats != 0)
            out += "repeated " + std::to_string(line.repeats) + " times: " + line.text;
        g_recent_index.erase(line.text);
        g_recent.pop_front();
    }
}

// False when the line was written within the window: it is only counted.
bool take_line(const std::string& text, Clock::time_point now)
{
    if (g_repeat_window.count() <= 0 || text.empty() || text.back() != '\n')
        return true;
    const auto found = g_recent_index.find(text);
    if (found != g_recent_index.end()) {
        ++found->second->repeats;
        return false;
    }
    g_recent.push_back(RecentLine{text, now, 0});
    g_recent_index.emplace(text, std::prev(g_recent.end()));
    return true;
}

void release_log_lock()
{
    if (g_lock_fd >= 0)
        ::close(g_lock_fd);
    g_lock_fd = -1;
}

// Takes the lock beside the log unless another service run holds it, which it
// does until that run ends. The descriptor is closed on exec, so no program
// the run starts holds the lock on.
void take_log_lock()
{
    const int fd = platform::open_regular_file(log_lock_path(g_log_path), O_RDONLY | O_CREAT, 0644);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        g_lock_fd = fd;
    else if (fd >= 0)
        ::close(fd);
}

int open_log()
{
    // Never waits on a FIFO or device put in the log's place.
    return platform::open_regular_file(g_log_path, O_WRONLY | O_CREAT | O_APPEND, 0644);
}

// Moves the log to "<log>.old", replacing the one before; a symbolic link
// stays, and the file it leads to moves beside itself, since a rename cannot
// leave its file system. With `opened`, only while the path still leads to
// that file: another process may have moved it already, and its successor must
// not replace the full one.
void move_log_aside(const struct stat* opened = nullptr)
{
    char* resolved = ::realpath(g_log_path.c_str(), nullptr);
    if (resolved == nullptr)
        return;
    const std::string file = resolved;
    std::free(resolved);
    struct stat now {};
    if (::stat(file.c_str(), &now) != 0 || !S_ISREG(now.st_mode))
        return;
    if (opened != nullptr && (now.st_dev != opened->st_dev || now.st_ino != opened->st_ino))
        return;
    std::rename(file.c_str(), (file + kOldLogSuffix).c_str());
}

// Standard error (under the service manager, its journal) takes what the log
// cannot; the first time, after a line saying why.
void write_to_stderr(const std::string& bytes, int error)
{
    if (!g_log_failing)
        platform::write_all(STDERR_FILENO,
                            string_printf("unable to write log %s (%s)\n", g_log_path.c_str(), std::strerror(error)));
    g_log_failing = true;
    platform::write_all(STDERR_FILENO, bytes);
}

// The run's first write begins its file as set_log_path was told (only while
// holding the lock); a write that would take the file past the size limit moves
// it aside first. True when the log took the bytes whole; errno tells why not.
bool write_to_log(const std::string& bytes)
{
    if (!g_log_written) {
        // Set also when the open fails: the next message does not begin anew either.
        g_log_written = true;
        if (g_log_start == LogStart::NewFile && g_lock_fd >= 0)
            move_log_aside();
    }
    int fd = open_log();
    if (fd < 0)
        return false;
    // The file's own size: another process may write to it as well.
    struct stat opened {};
    if (::fstat(fd, &opened) == 0 && opened.st_size > 0 &&
        static_cast<size_t>(opened.st_size) + bytes.size() > g_max_file_size) {
        ::close(fd);
        move_log_aside(&opened);
        fd = open_log();
        if (fd < 0)
            return false;
    }
    const bool written = platform::write_all(fd, bytes);
    const int error = errno;
    ::close(fd);
    errno = error;
    return written;
}

void write_out(const std::string& bytes)
{
    if (bytes.empty() || g_log_path.empty())
        return;
    if (write_to_log(bytes))
        g_log_failing = false;
    else
        write_to_stderr(bytes, errno);
}

} // namespace

void set_log_path(const std::string& path, LogStart start)
{
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_log_path = path;
    g_log_start = start;
    g_log_written = false;
    g_log_failing = false;
    forget_recent_lines();
    release_log_lock();
    if (start == LogStart::NewFile && !path.empty())
        take_log_lock();
}

std::string log_lock_path(const std::string& log)
{
    const std::string extension = ".log";
    return (ends_with(log, extension) ? log.substr(0, log.size() - extension.size()) : log) + ".lock";
}

std::string log_path()
{
    std::lock_guard<std::mutex> lock(g_log_mutex);
    return g_log_path;
}

void set_log_limits_for_tests(size_t max_file_size, std::chrono::milliseconds repeat_window)
{
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_max_file_size = max_file_size;
    g_repeat_window = repeat_window;
    g_clock_shift_ms = 0;
    forget_recent_lines();
}

void move_log_clock_for_tests(std::chrono::milliseconds by)
{
    g_clock_shift_ms += by.count();
}

void log_repeat_counts(bool all)
{
    const Clock::time_point now = log_clock_now();
    std::lock_guard<std::mutex> lock(g_log_mutex);
    std::string out;
    expire_recent_lines(now, out, all);
    write_out(out);
}

void log_message(int level, const char* format, ...)
{
    if (level > verbosity)
        return;
    char text[kLogMessageMaxLength + 1];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (length < 0)
        return;

    const std::string message(text);
    const Clock::time_point now = log_clock_now();
    std::lock_guard<std::mutex> lock(g_log_mutex);
    std::string out;
    expire_recent_lines(now, out);
    if (take_line(message, now))
        out += message;
    write_out(out);
}

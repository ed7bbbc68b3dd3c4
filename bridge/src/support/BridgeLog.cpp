#include "support/BridgeLog.h"

#include "support/ConnectionSettings.h"

#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
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
size_t g_max_file_size = kLogMaxFileSize;
std::chrono::milliseconds g_repeat_window = kLogRepeatWindow;
std::list<RecentLine> g_recent; // oldest first
std::unordered_map<std::string, std::list<RecentLine>::iterator> g_recent_index;

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

int open_log()
{
    // Never waits on a FIFO or device put in the log's place.
    return platform::open_regular_file(g_log_path, O_WRONLY | O_CREAT | O_APPEND, 0644);
}

// Moves the log to "<log>.old", replacing the one before. With `opened`, only
// while the path still names that file: another process may have moved it
// already, and its successor must not replace the full one.
void move_log_aside(const struct stat* opened = nullptr)
{
    struct stat now {};
    if (::lstat(g_log_path.c_str(), &now) != 0 || !S_ISREG(now.st_mode))
        return;
    if (opened != nullptr && (now.st_dev != opened->st_dev || now.st_ino != opened->st_ino))
        return;
    std::rename(g_log_path.c_str(), (g_log_path + kOldLogSuffix).c_str());
}

// The run's first write begins its file as set_log_path was told; a write
// that would take the file past the size limit moves it aside first.
void write_out(const std::string& bytes)
{
    if (bytes.empty())
        return;
    if (!g_log_written) {
        // Set also when the open fails: the next message does not begin anew either.
        g_log_written = true;
        if (g_log_start == LogStart::NewFile)
            move_log_aside();
    }
    int fd = open_log();
    if (fd < 0)
        return;
    // The file's own size: another process may write to it as well.
    struct stat opened {};
    if (::fstat(fd, &opened) == 0 && opened.st_size > 0 &&
        static_cast<size_t>(opened.st_size) + bytes.size() > g_max_file_size) {
        ::close(fd);
        move_log_aside(&opened);
        fd = open_log();
        if (fd < 0)
            return;
    }
    platform::write_all(fd, bytes);
    ::close(fd);
}

} // namespace

void set_log_path(const std::string& path, LogStart start)
{
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_log_path = path;
    g_log_start = start;
    g_log_written = false;
    forget_recent_lines();
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
    forget_recent_lines();
}

void log_repeat_counts(bool all)
{
    const Clock::time_point now = Clock::now();
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
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(g_log_mutex);
    std::string out;
    expire_recent_lines(now, out);
    if (take_line(message, now))
        out += message;
    write_out(out);
}

#include "utils/LogFunctions.h"

#include "timeutils/TimeUtils.h"
#include "utils/ProcessLogger.h"
#include "utils/StringFunctions.h"

#include "platform/Console.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unordered_map>

namespace {

constexpr uint64_t kMinute = 60000000;
constexpr uint64_t kHour = 60 * kMinute;
constexpr int kMessagesPerHour = 100;

// Console levels of console_write_colored.
constexpr int kPlainLevel = 0;
constexpr int kRedLevel = 2;
constexpr int kYellowLevel = 3;
constexpr int kWhiteLevel = 1;

struct SuppressionEntry
{
    uint64_t window_start = 0;
    int32_t window_count = 0;
    uint64_t suppress_start = 0; // 0: not suppressed
    int32_t suppress_count = 0;
    int32_t suppressed = 0;
    uint64_t last_report = 0;
};

struct SuppressionState
{
    std::mutex mutex;
    std::unordered_map<int32_t, SuppressionEntry> entries;
    uint64_t last_purge = 0;
};

struct PartialLineState
{
    std::mutex mutex;
    std::string text;
    uint64_t pending_since = 0; // 0: nothing pending
};

// Created once and never destroyed, so logging from static destructors and from
// threads still running at exit stays safe.
SuppressionState& suppression()
{
    static SuppressionState& state = *new SuppressionState;
    return state;
}

PartialLineState& partial_line()
{
    static PartialLineState& state = *new PartialLineState;
    return state;
}

void notify_line(const std::string& line)
{
    if (Logger* logger = g_logger.load())
        logger->notify_listeners(0, line.c_str());
}

// Takes the pending text as a line (ending in a line feed) and resets the state.
std::string take_pending_line(PartialLineState& state)
{
    std::string line;
    line.swap(state.text);
    if (line.back() != '\n')
        line += '\n';
    state.pending_since = 0;
    return line;
}

enum class Stamped { InfoQuiet, Info, Warning, Critical };

// The time-stamped functions: time stamp, prefix and message; suppression (but
// for critical messages); console; logger.
void log_stamped(Stamped kind, const char* format, va_list args)
{
    char buffer[kLogMessageBufferSize];
    const int64_t now = now_us();
    const size_t stamp_length = format_timestamp(buffer, now);
    const char* prefix = kind == Stamped::Warning ? "WARNING: " : kind == Stamped::Critical ? "CRITICAL: " : "";
    std::strcpy(buffer + stamp_length, prefix);
    char* message = buffer + stamp_length + std::strlen(prefix);
    std::vsnprintf(message, buffer + sizeof(buffer) - message, format, args);
    buffer[sizeof(buffer) - 1] = '\0';

    if (kind != Stamped::Critical) {
        const int result = suppress_duplicate_message(message, static_cast<uint64_t>(now));
        if (result == kSuppressDrop)
            return;
        format_suppressed_count(buffer, sizeof(buffer), result);
        // A cut message still ends its line.
        buffer[sizeof(buffer) - 2] = '\n';
        buffer[sizeof(buffer) - 1] = '\0';
    }

    switch (kind) {
    case Stamped::InfoQuiet:
        break;
    case Stamped::Info:
        console_write_colored(kWhiteLevel, buffer, static_cast<int>(stamp_length));
        break;
    case Stamped::Warning:
        console_write_colored(kYellowLevel, buffer, -1);
        break;
    case Stamped::Critical:
        console_write_colored(kRedLevel, buffer, -1);
        break;
    }

    if (kind == Stamped::Critical) {
        if (Logger* logger = g_logger.load()) {
            logger->notify_listeners(2, message);
            logger->write(buffer);
            logger->save_crash_log();
        }
        return;
    }
    const int level = kind == Stamped::Warning ? 1 : 0;
    if (Logger* logger = g_logger.load())
        logger->notify_listeners(level, message);
    if (Logger* logger = g_logger.load())
        logger->write(buffer);
}

void log_unstamped(bool console, const char* format, va_list args)
{
    char buffer[kLogMessageBufferSize];
    std::vsnprintf(buffer, sizeof(buffer), format, args);
    buffer[sizeof(buffer) - 1] = '\0';
    if (console)
        console_write_colored(kPlainLevel, buffer, -1);
    if (Logger* logger = g_logger.load())
        logger->write(buffer);
    buffer_partial_line(buffer);
}

} // namespace

// The variable arguments of a log function, handed to one of the two above.
#define KORVEL_LOG_WITH(call) \
    va_list args;             \
    va_start(args, format);   \
    call;                     \
    va_end(args)

void log_plain(const char* format, ...)
{
    KORVEL_LOG_WITH(log_unstamped(true, format, args));
}

void log_quiet(const char* format, ...)
{
    KORVEL_LOG_WITH(log_unstamped(false, format, args));
}

void log_info_quiet(const char* format, ...)
{
    KORVEL_LOG_WITH(log_stamped(Stamped::InfoQuiet, format, args));
}

void log_info(const char* format, ...)
{
    KORVEL_LOG_WITH(log_stamped(Stamped::Info, format, args));
}

void log_warning(const char* format, ...)
{
    KORVEL_LOG_WITH(log_stamped(Stamped::Warning, format, args));
}

void log_critical(const char* format, ...)
{
    KORVEL_LOG_WITH(log_stamped(Stamped::Critical, format, args));
}

#undef KORVEL_LOG_WITH

void log_hardware_error(const char* device, const char* format, ...)
{
    char text[kLogMessageBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    text[sizeof(text) - 2] = '\n';
    text[sizeof(text) - 1] = '\0';
    log_warning("HARDWARE ERROR (%s): %s\n", device, text);
}

void print_and_log(const char* text)
{
    std::printf("%s", text);
    if (Logger* logger = g_logger.load())
        logger->write(text);
}

void console_write_colored(int level, const char* text, int colored_length)
{
    const uint16_t attribute = level == 0   ? platform::kConsolePlain
                               : level == 2 ? platform::kConsoleRed
                               : level == 3 ? platform::kConsoleYellow
                                            : platform::kConsoleWhite;
    const size_t length = std::strlen(text);
    const size_t colored =
        colored_length < 0 ? length : std::min(length, static_cast<size_t>(colored_length));
    ::flockfile(stderr);
    platform::set_console_attribute(attribute);
    std::fwrite(text, 1, colored, stderr);
    platform::set_console_attribute(platform::kConsoleDefault);
    std::fwrite(text + colored, 1, length - colored, stderr);
    ::funlockfile(stderr);
}

size_t format_timestamp(char* buffer, int64_t time_us)
{
    const std::string text = format_time_us("%Y%m%d %H:%M:%S ", time_us, false);
    const size_t length = std::min(text.size(), kTimestampBufferSize - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

void format_suppressed_count(char* text, size_t capacity, int result)
{
    if (result == 0 || result == kSuppressPass)
        return;
    size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '\n')
        text[length - 1] = ' ';
    std::snprintf(text + length, capacity - length, "(%i messages suppressed)\n", result);
}

int suppress_duplicate_message(const char* message, uint64_t now)
{
    flush_partial_line(now);
    const int32_t key = string_hash(message);

    SuppressionState& state = suppression();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (now > state.last_purge + kMinute) {
        state.last_purge = now;
        for (auto it = state.entries.begin(); it != state.entries.end();) {
            const SuppressionEntry& entry = it->second;
            if (std::max(entry.window_start, entry.suppress_start) + 2 * kHour < now)
                it = state.entries.erase(it);
            else
                ++it;
        }
    }

    SuppressionEntry& entry = state.entries[key];
    if (entry.suppress_start == 0) {
        // The hour is counted from the first message of the window.
        if (entry.window_start + kHour < now) {
            entry.window_start = now;
            entry.window_count = 0;
        }
        if (++entry.window_count <= kMessagesPerHour)
            return kSuppressPass;
        entry.suppress_start = now;
        entry.suppress_count = 0;
        entry.suppressed = 1;
        entry.last_report = now;
        return kSuppressDrop;
    }

    const int32_t seen = ++entry.suppress_count;
    if (entry.suppress_start + kHour < now) {
        entry.suppress_count = 0;
        if (seen <= kMessagesPerHour) {
            entry.suppress_start = 0;
            entry.last_report = 0;
            entry.window_start = now;
            entry.window_count = 1;
            return kSuppressPass;
        }
        entry.suppress_start = now;
    }
    if (entry.last_report + kMinute < now) {
        const int dropped = entry.suppressed;
        entry.last_report = now;
        entry.suppressed = 0;
        return dropped;
    }
    ++entry.suppressed;
    return kSuppressDrop;
}

void buffer_partial_line(const char* text)
{
    if (g_logger.load() == nullptr || *text == '\0')
        return;
    std::string line;
    {
        PartialLineState& state = partial_line();
        std::lock_guard<std::mutex> lock(state.mutex);
        state.text += text;
        if (state.text.back() == '\n' || state.text.size() >= kLogMessageBufferSize)
            line = take_pending_line(state);
        else if (state.pending_since == 0)
            state.pending_since = static_cast<uint64_t>(now_us());
    }
    if (!line.empty())
        notify_line(line);
}

void flush_partial_line(uint64_t now)
{
    if (g_logger.load() == nullptr)
        return;
    std::string line;
    {
        PartialLineState& state = partial_line();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.pending_since == 0)
            return;
        if (state.text.empty())
            state.pending_since = 0;
        else if (state.pending_since + 1000000 < now)
            line = take_pending_line(state);
    }
    if (!line.empty())
        notify_line(line);
}

void set_logger(Logger* logger)
{
    g_logger.store(logger);
}

Logger* get_logger()
{
    return g_logger.load();
}

void set_logger_line(const std::string& text)
{
    if (Logger* logger = g_logger.load()) {
        GlobalLoggerLock lock;
        logger->head_line = text + "\n";
    }
}

void stop_logger()
{
    if (Logger* logger = g_logger.load())
        logger->stop();
}

void sleep_us(uint64_t us)
{
    using std::chrono::steady_clock;
    const auto start = steady_clock::now();
    // A steady deadline, so a clock set back never stretches the sleep; one too
    // far out for the clock waits as long as it can.
    const auto room = std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::time_point::max() - start);
    const steady_clock::time_point deadline =
        us >= static_cast<uint64_t>(room.count()) ? steady_clock::time_point::max()
                                                  : start + std::chrono::microseconds(us);
    Logger* logger = g_logger.load();
    if (logger == nullptr) {
        std::this_thread::sleep_until(deadline);
        return;
    }
    std::unique_lock<std::mutex> lock(logger->sleep_mutex);
    if (!logger->sleep_flag)
        logger->sleep_condition.wait_until(lock, deadline);
}

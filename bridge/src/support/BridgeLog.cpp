#include "support/BridgeLog.h"

#include "support/ConnectionSettings.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

// Serialises every call, so the first-write truncation happens once and lines
// from the service, worker and server threads never interleave.
std::mutex g_log_mutex;
std::string g_log_path;
bool g_log_written = false;

} // namespace

void set_log_path(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_log_path = path;
    g_log_written = false;
}

std::string log_path()
{
    std::lock_guard<std::mutex> lock(g_log_mutex);
    return g_log_path;
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

    std::lock_guard<std::mutex> lock(g_log_mutex);
    std::FILE* file = std::fopen(g_log_path.c_str(), g_log_written ? "a" : "w");
    // Set also when the open fails: the next message does not truncate either.
    g_log_written = true;
    if (file == nullptr)
        return;
    std::fputs(text, file);
    std::fclose(file);
}

#include "threads/CFileLog.h"

#include "threads/CCritSectLock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

// Never changed by the library; read without a lock.
std::atomic<uint32_t> log_category_masks[kLogCategoryCount];

const char* level_tag(uint32_t level)
{
    switch (level) {
    case LOG_LEVEL_ERROR: return " [E] ";
    case LOG_LEVEL_WARNING: return " [W] ";
    case LOG_LEVEL_INFO: return " [I] ";
    case LOG_LEVEL_DEBUG: return " [D] ";
    case LOG_LEVEL_IN: return " [<] ";
    case LOG_LEVEL_OUT: return " [>] ";
    default: return " [X] ";
    }
}

// What snprintf put into a buffer of the given size.
size_t stored_length(int formatted, size_t bufferSize)
{
    if (formatted <= 0)
        return 0;
    return static_cast<size_t>(formatted) < bufferSize ? static_cast<size_t>(formatted) : bufferSize - 1;
}

} // namespace

CFileLog::CFileLog() = default;

CFileLog::~CFileLog()
{
    m_enabled = false;
    CCritSectLock lock(m_lock);
    m_stream.reset();
    m_name.clear();
}

int32_t CFileLog::WriteRaw(const char* data, size_t length)
{
    if (!m_stream || length == 0)
        return 0;
    m_stream->write(data, static_cast<std::streamsize>(length));
    return m_stream->good() ? static_cast<int32_t>(length) : 0;
}

int32_t CFileLog::WriteTimestamp()
{
    CCritSectLock lock(m_lock);
    if (!m_stream)
        return 0;
    using namespace std::chrono;
    system_clock::time_point now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    int millis = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char buffer[kPrefixBufferSize];
    int n = std::snprintf(buffer, sizeof buffer, "[%02d/%02d/%02d %02d:%02d:%02d.%03d]", local.tm_mday,
                          local.tm_mon + 1, local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec, millis);
    return WriteRaw(buffer, stored_length(n, sizeof buffer));
}

int32_t CFileLog::WriteLevel(uint32_t level)
{
    CCritSectLock lock(m_lock);
    if (level == 0)
        return 0;
    const char* tag = level_tag(level);
    return WriteRaw(tag, std::char_traits<char>::length(tag));
}

int32_t CFileLog::WriteModule(const char* module)
{
    CCritSectLock lock(m_lock);
    if (module == nullptr)
        return 0;
    char buffer[kPrefixBufferSize];
    int n = std::snprintf(buffer, sizeof buffer, "[%s] ", module);
    return WriteRaw(buffer, stored_length(n, sizeof buffer));
}

int32_t CFileLog::WriteV(uint32_t level, const char* module, const char* format, va_list args)
{
    if (!m_enabled)
        return 0;
    CCritSectLock lock(m_lock);
    int32_t written = WriteTimestamp();
    written += WriteLevel(level);
    written += WriteModule(module);
    if (format != nullptr) {
        char message[kMessageBufferSize];
        int n = std::vsnprintf(message, sizeof message, format, args);
        written += WriteRaw(message, stored_length(n, sizeof message));
    }
    written += WriteRaw("\r\n", 2);
    if (m_stream)
        m_stream->flush();
    return written;
}

bool CFileLog::OpenForTests(const std::string& path)
{
    CCritSectLock lock(m_lock);
    auto stream = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
    if (!stream->is_open())
        return false;
    m_stream = std::move(stream);
    m_name = path;
    m_enabled = true;
    return true;
}

void CFileLog::CloseForTests()
{
    m_enabled = false;
    CCritSectLock lock(m_lock);
    m_stream.reset();
    m_name.clear();
}

void log_printf(uint32_t level, int32_t category, const char* module, int32_t /*unused*/, const char* format, ...)
{
    if (category < 0 || category >= kLogCategoryCount)
        return;
    if ((level & log_category_masks[category].load(std::memory_order_relaxed)) == 0)
        return;
    va_list args;
    va_start(args, format);
    g_fileLog.WriteV(level, module, format, args);
    va_end(args);
}

void set_log_category_mask_for_tests(int32_t category, uint32_t mask)
{
    if (category >= 0 && category < kLogCategoryCount)
        log_category_masks[category].store(mask, std::memory_order_relaxed);
}

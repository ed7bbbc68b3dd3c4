#pragma once

#include "threads/CCritSect.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

// Log levels, one bit each; a category's mask holds the levels it writes.
enum : uint32_t
{
    LOG_LEVEL_ERROR = 1,
    LOG_LEVEL_WARNING = 2,
    LOG_LEVEL_INFO = 4,
    LOG_LEVEL_DEBUG = 8,
    LOG_LEVEL_IN = 16,
    LOG_LEVEL_OUT = 32,
};

constexpr int32_t kLogCategoryCount = 512;

// The library's text log. The library never opens it nor enables a category,
// so as shipped it writes nothing; only tests open a stream.
class CFileLog
{
public:
    CFileLog();
    ~CFileLog();
    CFileLog(const CFileLog&) = delete;
    CFileLog& operator=(const CFileLog&) = delete;

    // One whole line: time stamp, level tag, module tag, message, CR LF.
    // Returns the bytes written; 0 while the log is not enabled.
    int32_t WriteV(uint32_t level, const char* module, const char* format, va_list args);

    // The line's prefixes; each writes only while a stream is open.
    int32_t WriteTimestamp();
    int32_t WriteLevel(uint32_t level);
    int32_t WriteModule(const char* module);

    // Test-only: open (truncate) a file and enable the log; close it again.
    bool OpenForTests(const std::string& path);
    void CloseForTests();

    static constexpr size_t kMessageBufferSize = 8192;
    static constexpr size_t kPrefixBufferSize = 64;

private:
    int32_t WriteRaw(const char* data, size_t length);

    CCritSect m_lock;
    std::unique_ptr<std::ofstream> m_stream;
    std::string m_name;
    std::atomic<bool> m_enabled{false};
};

extern CFileLog g_fileLog;

// Writes to g_fileLog when level shares a bit with the category's mask. A
// category outside 0..511 writes nothing. The fourth argument is not used.
void log_printf(uint32_t level, int32_t category, const char* module, int32_t unused, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

// Test-only: the mask of one category (every mask is 0 otherwise).
void set_log_category_mask_for_tests(int32_t category, uint32_t mask);

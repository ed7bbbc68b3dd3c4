#include "utils/LogFunctions.h"

#include "timeutils/TimeUtils.h"
#include "utils/StringFunctions.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

size_t format_timestamp(char* buffer, int64_t time_us)
{
    const std::string text = format_time_us("%Y%m%d %H:%M:%S ", time_us, false);
    const size_t length = std::min(text.size(), kTimestampBufferSize - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

void log_warning(const char* format, ...)
{
    char buffer[kLogMessageBufferSize];
    size_t length = format_timestamp(buffer, now_us());
    static constexpr char kPrefix[] = "WARNING: ";
    std::memcpy(buffer + length, kPrefix, sizeof(kPrefix));
    length += sizeof(kPrefix) - 1;

    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer + length, sizeof(buffer) - length, format, args);
    va_end(args);
    // A cut message still ends its line.
    buffer[kLogMessageBufferSize - 2] = '\n';
    buffer[kLogMessageBufferSize - 1] = '\0';

    // Duplicate suppression, colour and the process logger join here.
    ::flockfile(stderr);
    std::fputs(buffer, stderr);
    ::funlockfile(stderr);
}

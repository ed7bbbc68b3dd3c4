#pragma once

#include <cstddef>
#include <cstdint>

// Size of the stack buffer each log function formats into; longer messages are cut.
constexpr size_t kLogMessageBufferSize = 65536;
// Room format_timestamp needs at most.
constexpr size_t kTimestampBufferSize = 100;

// "YYYYmmdd HH:MM:SS " of the local time of time_us into a buffer of at least
// kTimestampBufferSize bytes; returns the text's length.
size_t format_timestamp(char* buffer, int64_t time_us);

// Time stamp, "WARNING: " and the message on standard error; a cut message still
// ends its line.
void log_warning(const char* format, ...) __attribute__((format(printf, 1, 2)));

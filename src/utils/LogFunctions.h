#pragma once

// The printf-style log functions: each formats one message, prints it on
// standard error and hands it to the process logger (g_logger) when one is set.
// Time-stamped messages that repeat too often are dropped (duplicate
// suppression); plain texts are gathered into whole lines for the listeners.

#include <cstddef>
#include <cstdint>
#include <string>

class Logger;

// Size of the stack buffer each log function formats into; longer messages are cut.
constexpr size_t kLogMessageBufferSize = 65536;
// Room format_timestamp needs at most.
constexpr size_t kTimestampBufferSize = 100;

// Results of suppress_duplicate_message besides a positive count of dropped messages.
constexpr int kSuppressDrop = -2;
constexpr int kSuppressPass = -1;

// The text as it stands: console (plain), logger file, partial lines.
void log_plain(const char* format, ...) __attribute__((format(printf, 1, 2)));
// As log_plain without the console.
void log_quiet(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Time stamp and message to the logger only (listeners at level 0, then the file).
void log_info_quiet(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Time stamp (highlighted) and message on the console and to the logger at level 0.
void log_info(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Time stamp, "WARNING: " and the message, in yellow; listeners at level 1.
void log_warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Time stamp, "CRITICAL: " and the message, in red; listeners at level 2, then
// the file, then a crash log. Never suppressed.
void log_critical(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A warning "HARDWARE ERROR (device): message".
void log_hardware_error(const char* device, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The text on standard output (no colour) and into the logger file.
void print_and_log(const char* text);

// Writes the text on standard error, its first colored_length bytes coloured by
// level (0 plain, 2 red, 3 yellow, others white) and the rest plain. A negative
// length, or one beyond the text, colours all of it.
void console_write_colored(int level, const char* text, int colored_length);

// "YYYYmmdd HH:MM:SS " of the local time of time_us into a buffer of at least
// kTimestampBufferSize bytes; returns the text's length.
size_t format_timestamp(char* buffer, int64_t time_us);

// For a suppression result other than 0 and kSuppressPass: the final line feed of
// the zero-terminated text in a buffer of capacity bytes becomes a blank, and
// "(N messages suppressed)\n" follows, cut at the buffer's end.
void format_suppressed_count(char* text, size_t capacity, int result);

// Counts the message text at time now_us: kSuppressDrop to drop it, kSuppressPass
// or 0 to print it unchanged, a positive count of dropped messages to print it
// with that note. A text passes 100 times an hour; then one a minute passes until
// an hour has seen at most 100 of it.
int suppress_duplicate_message(const char* message, uint64_t now_us);

// Gathers texts without a final line feed until the line is complete, then hands
// the line to the listeners at level 0. Nothing is kept without a logger.
void buffer_partial_line(const char* text);
// Hands pending text older than a second to the listeners as a line.
void flush_partial_line(uint64_t now_us);

void set_logger(Logger* logger);
Logger* get_logger();
// The logger's head line becomes the text and a line feed; nothing without a logger.
void set_logger_line(const std::string& text);
// Stops the logger, if one is set.
void stop_logger();

// Sleeps that long on the monotonic clock; with a logger set, the logger's sleep
// condition can end the sleep early.
void sleep_us(uint64_t us);

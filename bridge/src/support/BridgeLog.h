#pragma once

#include <string>

// Log levels: a message is written when its level is not above `verbosity`.
constexpr int kLogError = 0;
constexpr int kLogInfo = 1;
constexpr int kLogVerbose = 2;

// Longest text one log_message call writes; longer output is cut to it.
constexpr size_t kLogMessageMaxLength = 4095;

// The service's log file, "korvel-orvanta-client.log" beside the executable.
// Setting it also makes the next written message start the file afresh.
void set_log_path(const std::string& path);
std::string log_path();

// printf-style; writes the text exactly as formatted (no time stamp, no line
// end added). The first message written after set_log_path truncates the file,
// later ones append. Safe from any thread: calls are serialised. A file that
// cannot be opened loses the message.
void log_message(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

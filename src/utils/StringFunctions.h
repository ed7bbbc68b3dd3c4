#pragma once

#include <cstdint>
#include <map>
#include <string>

std::string uint64_to_string(uint64_t value);
// Lower-case hex without prefix.
std::string uint64_to_hex(uint64_t value);

// Multiplicative hash of the text's (signed) bytes; 0 for an empty text.
int32_t string_hash(const std::string& text);
// Low half string_hash of the text, high half that of the text without its first
// byte (0 for an empty text).
uint64_t string_hash64(const std::string& text);

// strftime of a time in microseconds since 1970 UTC (whole seconds, rounded down),
// in UTC or local time; "invalid time" when the time cannot be broken down or
// its year has not four digits.
// Output beyond 1,023 bytes gives an empty text.
std::string format_time_us(const char* format, int64_t time_us, bool utc);

// "key=value;key=value": pieces without '=' are skipped, the last value of a key wins.
std::map<std::string, std::string> parse_key_value_pairs(const std::string& text);

// Dotted decimal, lowest byte first.
std::string ipv4_to_string(uint32_t address);

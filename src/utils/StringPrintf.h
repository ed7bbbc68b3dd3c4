#pragma once

#include <string>

// Longest text string_printf returns; longer output is cut to it.
constexpr size_t kStringPrintfMaxLength = 32767;

// printf-style formatting into a string, through a stack buffer.
std::string string_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

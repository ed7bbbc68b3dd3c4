#include "utils/StringPrintf.h"

#include <cstdarg>
#include <cstdio>

std::string string_printf(const char* format, ...)
{
    char buffer[kStringPrintfMaxLength + 1];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    if (n < 0)
        return std::string();
    // The text up to its first NUL, as a "%c" of zero ends it.
    return std::string(buffer);
}

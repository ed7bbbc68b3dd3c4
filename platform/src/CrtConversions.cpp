#include "platform/CrtConversions.h"

namespace platform {
namespace {

// The C locale's white space.
bool is_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

int32_t crt_atoi(const char* text)
{
    if (text == nullptr)
        return 0;
    const char* p = text;
    while (is_space(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    int64_t value = 0;
    // Saturated, the remaining digits are still read, and change nothing.
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > limit)
            value = limit;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

} // namespace platform

#include "platform/CrtConversions.h"

namespace platform {
namespace {

// The C locale's white space.
bool is_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Value of a digit or letter in bases up to 36; 99 for anything else.
int alnum_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
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

uint32_t crt_strtoul(const char* text, char** end, int base)
{
    auto set_end = [end](const char* p) {
        if (end != nullptr)
            *end = const_cast<char*>(p);
    };
    if (text == nullptr || base < 0 || base == 1 || base > 36) {
        set_end(text);
        return 0;
    }
    const char* p = text;
    while (is_space(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if ((base == 0 || base == 16) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && alnum_digit(p[2]) < 16) {
        p += 2;
        base = 16;
    } else if (base == 0) {
        base = p[0] == '0' ? 8 : 10;
    }
    const char* digits_start = p;
    uint64_t value = 0;
    bool overflow = false;
    for (; alnum_digit(*p) < base; ++p) {
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(alnum_digit(*p));
        if (value > UINT32_MAX) {
            overflow = true;
            value = UINT32_MAX;
        }
    }
    if (p == digits_start) {
        set_end(text);
        return 0;
    }
    set_end(p);
    if (overflow)
        return UINT32_MAX;
    uint32_t result = static_cast<uint32_t>(value);
    return negative ? 0u - result : result;
}

} // namespace platform

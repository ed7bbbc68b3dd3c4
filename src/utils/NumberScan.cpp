#include "utils/NumberScan.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <stdexcept>

uint64_t scan_uint64(const std::string& text)
{
    uint64_t value = 0;
    if (std::sscanf(text.c_str(), "%" SCNu64, &value) != 1)
        throw std::runtime_error("scan_uint64(): cannot convert '" + text + "' to number");
    return value;
}

uint64_t scan_uint64hex(const std::string& text)
{
    uint64_t value = 0;
    if (std::sscanf(text.c_str(), "%" SCNx64, &value) != 1)
        throw std::runtime_error("scan_uint64hex(): cannot convert '" + text + "' to number");
    return value;
}

namespace {

// The "C" locale, made once: its point is '.' whatever setlocale or the streams say.
locale_t c_numeric_locale()
{
    static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

} // namespace

double scan_double(const std::string& text)
{
    std::string copy = text;
    std::replace(copy.begin(), copy.end(), ',', '.');
    const char* begin = copy.c_str();
    char* end = nullptr;
    const double value = ::strtod_l(begin, &end, c_numeric_locale());
    if (end == begin) {
        const auto blank = [](char c) { return ::isspace_l(static_cast<unsigned char>(c), c_numeric_locale()) != 0; };
        if (std::all_of(copy.begin(), copy.end(), blank))
            return 0;
        throw std::runtime_error("scan_double(): cannot convert '" + text + "' to floating number");
    }
    return value;
}

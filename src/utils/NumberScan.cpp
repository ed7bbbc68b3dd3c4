#include "utils/NumberScan.h"

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

#pragma once

#include <cstdint>
#include <string>

// Reads an unsigned 64-bit decimal number as scanf does: leading white space is
// skipped, a sign is accepted (minus negates modulo 2^64), characters after the
// digits are ignored. Throws std::runtime_error when the text holds no number.
uint64_t scan_uint64(const std::string& text);

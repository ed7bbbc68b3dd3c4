#pragma once

#include <cstdint>
#include <string>

// Reads an unsigned 64-bit decimal number as scanf does: leading white space is
// skipped, a sign is accepted (minus negates modulo 2^64), characters after the
// digits are ignored. Throws std::runtime_error when the text holds no number.
uint64_t scan_uint64(const std::string& text);

// Reads an unsigned 64-bit hex number as scanf's "%llx" does: leading white space
// and an optional "0x" are accepted, characters after the digits are ignored.
// Throws std::runtime_error when the text holds no number.
uint64_t scan_uint64hex(const std::string& text);

// Reads a floating number whose decimal point may be '.' or ',', whatever the
// process or stream locale. Leading white space is skipped and text after the
// number ignored; an empty or all-blank text gives 0. Throws std::runtime_error
// when the text holds no number.
double scan_double(const std::string& text);

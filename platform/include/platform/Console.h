#pragma once

#include <cstdint>

namespace platform {

// Windows console text attributes the programs use on standard error.
constexpr uint16_t kConsolePlain = 7;
constexpr uint16_t kConsoleRed = 12;
constexpr uint16_t kConsoleYellow = 14;
constexpr uint16_t kConsoleWhite = 15;
// Written back after each coloured piece.
constexpr uint16_t kConsoleDefault = 0x107;

// Applies a console text attribute to what standard error prints next, as an
// ANSI escape sequence when standard error is a terminal; otherwise nothing is
// written, as the colour calls have no effect without a console. Callers that
// colour a piece of text hold the standard-error lock (flockfile) around both.
void set_console_attribute(uint16_t attribute);

} // namespace platform

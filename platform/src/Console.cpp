#include "platform/Console.h"

#include <unistd.h>

#include <cstdio>

namespace platform {

void set_console_attribute(uint16_t attribute)
{
    if (::isatty(::fileno(stderr)) == 0)
        return;
    const char* sequence = "\033[0m"; // the terminal's own colours
    switch (attribute) {
    case kConsoleRed:
        sequence = "\033[1;31m";
        break;
    case kConsoleYellow:
        sequence = "\033[1;33m";
        break;
    case kConsoleWhite:
        // Bold: bright white cannot be read on a light terminal.
        sequence = "\033[1m";
        break;
    default:
        break;
    }
    std::fputs(sequence, stderr);
}

} // namespace platform

#pragma once

#include <cstdint>

namespace platform {

// atoi as the Windows C runtime has it, on which stored and configured values
// rely: leading white space skipped, an optional sign, then the digits; text
// after them is ignored, text without them gives 0, and values beyond the
// 32-bit range saturate at its limits instead of wrapping. Null gives 0.
int32_t crt_atoi(const char* text);

// strtoul as the Windows C runtime has it, on 32 bits: an overflow gives
// 0xFFFFFFFF, a leading "-" negates modulo 2^32. `end` (may be null) receives
// the first unread character, or `text` when nothing converted. Bases 0 and 2 to 36.
uint32_t crt_strtoul(const char* text, char** end, int base);

} // namespace platform

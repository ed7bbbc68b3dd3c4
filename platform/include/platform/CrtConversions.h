#pragma once

#include <cstdint>

namespace platform {

// atoi as the Windows C runtime has it, on which stored and configured values
// rely: leading white space skipped, an optional sign, then the digits; text
// after them is ignored, text without them gives 0, and values beyond the
// 32-bit range saturate at its limits instead of wrapping. Null gives 0.
int32_t crt_atoi(const char* text);

} // namespace platform

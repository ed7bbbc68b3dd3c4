#pragma once

#include "utils/Assertion.h"

// The bridge's checks name the program rather than the build path, so reports
// read the same on every machine.
#define BRIDGE_SOURCE "korvel/korvel-orvanta-client"

#define BRIDGE_ASSERT(condition) \
    ((condition) ? static_cast<void>(0) : ::assertion_failed(#condition, BRIDGE_SOURCE, __LINE__))

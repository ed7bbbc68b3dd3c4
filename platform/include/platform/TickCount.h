#pragma once

#include <cstdint>

namespace platform {

// Milliseconds of a steady clock, cut to 32 bits: wraps after about 49.7 days,
// so intervals are taken as unsigned differences.
uint32_t tick_count();

// Test-only: added to every later tick_count(), so a test can bring the wrap near.
void set_tick_offset_for_tests(uint32_t offset);

} // namespace platform

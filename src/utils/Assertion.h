#pragma once

// Reports a failed check on standard error ("ASSERTION FAILED at file(line):
// expression"), hands the report to the process logger when one is set and ends
// the process with exit code 1. Allocates nothing, so it works on a broken heap.
[[noreturn]] void assertion_failed(const char* expression, const char* file, int line);

// The check used throughout the program; active in every build. The condition
// is evaluated once. Boost's BOOST_ASSERT reaches the same handler.
#define KORVEL_ASSERT(condition) \
    ((condition) ? static_cast<void>(0) : ::assertion_failed(#condition, __FILE__, __LINE__))

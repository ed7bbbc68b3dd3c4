#pragma once

#include <chrono>
#include <cstdlib>
#include <thread>

// How many times longer a test waits for what it expects: KORVEL_TEST_WAIT_SCALE,
// a whole number set for slow builds (ThreadSanitizer); 1 when unset.
inline int test_wait_scale()
{
    static const int scale = [] {
        const char* text = std::getenv("KORVEL_TEST_WAIT_SCALE");
        const int value = text != nullptr ? std::atoi(text) : 1;
        return value > 0 ? value : 1;
    }();
    return scale;
}

inline std::chrono::milliseconds scaled_wait(std::chrono::milliseconds wait)
{
    return wait * test_wait_scale();
}

// Polls until the condition holds; false when it still does not after the
// limit (scaled as above).
template <class Condition>
bool wait_until(Condition condition, std::chrono::milliseconds limit = std::chrono::milliseconds(5000))
{
    const auto end = std::chrono::steady_clock::now() + scaled_wait(limit);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

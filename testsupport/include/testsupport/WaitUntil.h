#pragma once

#include <chrono>
#include <thread>

// Polls until the condition holds; false when it still does not after the limit.
template <class Condition>
bool wait_until(Condition condition, std::chrono::milliseconds limit = std::chrono::milliseconds(5000))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

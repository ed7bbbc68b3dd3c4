#include "platform/TickCount.h"

#include <atomic>
#include <chrono>

namespace platform {
namespace {

std::atomic<uint32_t> g_offset{0};

} // namespace

uint32_t tick_count()
{
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms)) + g_offset.load(std::memory_order_relaxed);
}

void set_tick_offset_for_tests(uint32_t offset)
{
    g_offset.store(offset, std::memory_order_relaxed);
}

} // namespace platform

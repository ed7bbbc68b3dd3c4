#include "vms/VmsLimits.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<unsigned> g_time_divisor{1};

} // namespace

std::chrono::milliseconds vms_time_limit(std::chrono::milliseconds limit)
{
    return std::max(std::chrono::milliseconds(1), limit / g_time_divisor.load());
}

void set_vms_time_scale_for_tests(unsigned divisor)
{
    g_time_divisor = std::max(1u, divisor);
}

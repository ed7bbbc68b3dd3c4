#include "base/Timeouts.h"

#include <atomic>

namespace {

std::atomic<uint32_t> g_divisor{1};

} // namespace

uint32_t Timeouts::Scaled(uint32_t baseMs)
{
    uint32_t scaled = baseMs / g_divisor.load(std::memory_order_relaxed);
    return scaled == 0 ? 1 : scaled;
}

void Timeouts::SetScaleForTests(uint32_t divisor)
{
    g_divisor.store(divisor == 0 ? 1 : divisor, std::memory_order_relaxed);
}

uint32_t Timeouts::ConnectMs() { return Scaled(5000); }
uint32_t Timeouts::PingIntervalMs() { return Scaled(50000); }
uint32_t Timeouts::PingWaitMs() { return Scaled(5000); }
uint32_t Timeouts::RequestMs() { return Scaled(60000); }
uint32_t Timeouts::LongRequestMs() { return Scaled(600000); }
uint32_t Timeouts::ReconnectCheckMs() { return Scaled(100); }
uint32_t Timeouts::ThreadStopWaitMs() { return Scaled(10000); }

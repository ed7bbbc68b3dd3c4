#pragma once

#include <cstdint>

// The library's time constants in milliseconds. Tests shorten them all at once
// with SetScaleForTests; every accessor then answers base / divisor, at least 1.
class Timeouts
{
public:
    // Connecting to the station.
    static uint32_t ConnectMs();
    // Link check of a connected instance, and the wait for the ping's answer.
    static uint32_t PingIntervalMs();
    static uint32_t PingWaitMs();
    // Answer of an ordinary request, and of event and device-test requests.
    static uint32_t RequestMs();
    static uint32_t LongRequestMs();
    // How often an open but unconnected instance tries again; the worker's wait.
    static uint32_t ReconnectCheckMs();
    // How long a stopping thread is given before the forced-stop line.
    static uint32_t ThreadStopWaitMs();

    // Test-only: divide every time-out by divisor (1, or 0, restores them).
    static void SetScaleForTests(uint32_t divisor);

private:
    static uint32_t Scaled(uint32_t baseMs);
};

#pragma once

// The clock watchdog of a Logger: a thread that notices the system clock jumping
// back and then, for two seconds of clock time, keeps waking the threads that
// sleep on the process logger's condition (sleep_us).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// The stop flag of one watchdog, with a wait that ends as soon as it is set.
class WatchdogControl
{
public:
    void request_stop();
    // True when stopped, at once or within the pause.
    bool wait_for_stop(std::chrono::milliseconds pause);

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_stop = false;
};

// The thread body: reads the clock every 500 ms until stopped.
void logger_clock_screwup_thread(WatchdogControl& control);
// One episode, for a backward jump seen at clock reading t.
void logger_wait_clock_screwup(uint64_t t, WatchdogControl& control);

#pragma once

#include "StationControl.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace stationsim {

// The demo's station: two districts with a few guarded objects and their
// sensors, named in Russian as an operator sees them, and a login for the
// bridge. Once started it sends an event at a steady pace, alarms and
// restores in turn and now and then an object taken off and put back under
// guard, so the levels on the video system's screen keep changing.
class DemoStation
{
public:
    static constexpr const char* kLogin = "demo";
    static constexpr const char* kPassword = "demo";

    // Builds the world through the control's commands. False (with the
    // failing command's answer in `error`) when one is refused.
    static bool Populate(StationControl& control, std::string& error);

    // `out` gets one line per event sent; it may be null.
    DemoStation(StationControl& control, std::FILE* out);
    ~DemoStation();
    DemoStation(const DemoStation&) = delete;
    DemoStation& operator=(const DemoStation&) = delete;

    void StartEvents(std::chrono::milliseconds interval);
    void StopEvents();

    // Sends the next event of the cycle; returns the line it printed.
    std::string SendNextEvent();

private:
    void Run(std::chrono::milliseconds interval);

    StationControl& m_control;
    std::FILE* m_out;
    size_t m_next = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
};

} // namespace stationsim

#include "EventFeed.h"

#include <chrono>
#include <thread>

namespace eventpath {

bool feed_events(const BenchWorld& world, stationsim::ScriptedStation& station, SendLog& sendLog,
                 const VideoClients& clients, const FeedPace& pace, std::string& error)
{
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t i = 0; i < sendLog.Count(); ++i) {
        if (pace.rate > 0)
            std::this_thread::sleep_until(start + std::chrono::nanoseconds(static_cast<int64_t>(
                                                      static_cast<double>(i) * 1e9 / pace.rate)));
        if (pace.window > 0) {
            while (i - clients.LeastMatched() >= pace.window) {
                if (clients.AnyClosed()) {
                    error = "a client lost its connection after " + std::to_string(i) + " events";
                    return false;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        }
        const uint64_t k = sendLog.FirstEvent() + i;
        const CMS_SimpleEventData event = world.MakeEvent(k);
        sendLog.Record(k, now_ns());
        if (station.NotifyEvent(event) != 1) {
            error = "event " + std::to_string(k) + " reached no station connection";
            return false;
        }
    }
    return true;
}

} // namespace eventpath

#pragma once

// Tells from the station's request log when the bridge has loaded its tree:
// the bridge asks for every object's sensors on its first station connection
// and again on each one the library's reconnect brings back, and nothing else
// asks for sensors. The library's own reconnects log in and load its lists,
// but ask for no sensors.

#include "StationSimulator.h"

#include <cstddef>
#include <map>

namespace soak {

class ReloadTracker
{
public:
    explicit ReloadTracker(size_t objects) : m_objects(objects) {}

    // Takes in the requests the simulator has logged since the last call.
    void Poll(const stationsim::StationSimulator& simulator);
    void Take(const stationsim::StationRequest& request);

    // The most sensor requests any connection after `connection` has made
    // (connections count from 1 in the order accepted; 0: any).
    size_t SensorRequestsAfter(int connection) const;
    // Whether some connection after `connection` asked for every object's sensors.
    bool ReloadedAfter(int connection) const { return SensorRequestsAfter(connection) >= m_objects; }
    // Connections on which a whole tree was loaded.
    size_t Reloads() const;

private:
    size_t m_objects;
    size_t m_seen = 0;
    std::map<int, size_t> m_sensorRequests;  // by connection
};

} // namespace soak

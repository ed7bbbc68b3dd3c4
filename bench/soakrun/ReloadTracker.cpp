#include "ReloadTracker.h"

#include "wire/StationRequestCode.h"

#include <algorithm>

namespace soak {

void ReloadTracker::Poll(const stationsim::StationSimulator& simulator)
{
    for (const stationsim::StationRequest& request : simulator.GetRequests(m_seen)) {
        Take(request);
        ++m_seen;
    }
}

void ReloadTracker::Take(const stationsim::StationRequest& request)
{
    if (request.code == kRequestGetObjectSensors)
        ++m_sensorRequests[request.connection];
}

size_t ReloadTracker::SensorRequestsAfter(int connection) const
{
    size_t most = 0;
    for (auto entry = m_sensorRequests.upper_bound(connection); entry != m_sensorRequests.end(); ++entry)
        most = std::max(most, entry->second);
    return most;
}

size_t ReloadTracker::Reloads() const
{
    return static_cast<size_t>(std::count_if(m_sensorRequests.begin(), m_sensorRequests.end(),
                                             [this](const auto& entry) { return entry.second >= m_objects; }));
}

} // namespace soak

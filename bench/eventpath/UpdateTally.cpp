#include "UpdateTally.h"

namespace eventpath {

UpdateTally::UpdateTally(const BenchWorld& world, const SendLog& sendLog, bool keepLatencies)
    : m_world(world), m_sendLog(sendLog), m_keepLatencies(keepLatencies)
{
    m_nextEvent.resize(world.SensorCount());
    for (size_t s = 0; s < m_nextEvent.size(); ++s)
        m_nextEvent[s] = world.FirstEventOf(s, sendLog.FirstEvent());
    if (keepLatencies)
        m_latencies.reserve(sendLog.Count());
}

void UpdateTally::Take(const ElementRecord& record, int64_t arrivalNs)
{
    const long sensor = record.level == LEVEL_SENSOR ? m_world.SensorIndexOf(record.ID) : -1;
    if (sensor < 0) {
        TakeOtherFrame();
        return;
    }
    const uint64_t k = m_nextEvent[static_cast<size_t>(sensor)];
    const int64_t sentAt = m_sendLog.Holds(k) ? m_sendLog.SentAt(k) : 0;
    // An update ahead of its event's send, or with another level, answers none.
    if (sentAt == 0 || record.StateLevel != m_world.LevelOfEvent(k)) {
        TakeOtherFrame();
        return;
    }
    m_nextEvent[static_cast<size_t>(sensor)] = k + m_world.SensorCount();
    if (m_keepLatencies)
        m_latencies.push_back(arrivalNs - sentAt);
    m_matched.fetch_add(1, std::memory_order_release);
}

} // namespace eventpath

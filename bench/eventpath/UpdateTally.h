#pragma once

// What one video-system client received during a phase, each update matched to
// the event that caused it: the j-th update of a sensor answers the j-th event
// of that sensor since the phase began, and must carry the level that event
// gives. Updates that match nothing are counted apart and never matched later.

#include "BenchWorld.h"
#include "SendLog.h"

#include "model/ElementRecord.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace eventpath {

class UpdateTally
{
public:
    // sendLog: the phase's events, from its first; latencies are kept only
    // when keepLatencies is set.
    UpdateTally(const BenchWorld& world, const SendLog& sendLog, bool keepLatencies);

    // One LINK_UPDATE record that arrived at arrivalNs.
    void Take(const ElementRecord& record, int64_t arrivalNs);
    // A frame other than an update.
    void TakeOtherFrame() { m_unexpected.fetch_add(1, std::memory_order_relaxed); }

    // Updates matched to their events; read from any thread.
    uint64_t Matched() const { return m_matched.load(std::memory_order_acquire); }
    // Updates of no sensor, of a level their event does not give, or beyond
    // the events sent, and frames other than updates.
    uint64_t Unexpected() const { return m_unexpected.load(std::memory_order_relaxed); }
    // Send to arrival, in nanoseconds, in the order the updates came.
    const std::vector<int64_t>& Latencies() const { return m_latencies; }

private:
    const BenchWorld& m_world;
    const SendLog& m_sendLog;
    bool m_keepLatencies;
    // Per sensor: the event its next update must answer.
    std::vector<uint64_t> m_nextEvent;
    std::atomic<uint64_t> m_matched{0};
    std::atomic<uint64_t> m_unexpected{0};
    std::vector<int64_t> m_latencies;
};

} // namespace eventpath

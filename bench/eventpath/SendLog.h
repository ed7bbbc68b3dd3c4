#pragma once

// When each event of a phase left the station: written by the feeding thread
// just before the send, read by the client readers when its update arrives.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace eventpath {

// Nanoseconds of the steady clock; one clock for the station and the clients,
// which share this process.
inline int64_t now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class SendLog
{
public:
    // Events firstEvent .. firstEvent + count - 1.
    SendLog(uint64_t firstEvent, uint64_t count)
        : m_first(firstEvent), m_count(count), m_times(new std::atomic<int64_t>[count])
    {
        for (uint64_t i = 0; i < count; ++i)
            m_times[i].store(0, std::memory_order_relaxed);
    }

    uint64_t FirstEvent() const { return m_first; }
    uint64_t Count() const { return m_count; }
    bool Holds(uint64_t k) const { return k >= m_first && k - m_first < m_count; }

    void Record(uint64_t k, int64_t timeNs) { m_times[k - m_first].store(timeNs, std::memory_order_release); }
    // 0 while the event has not been sent.
    int64_t SentAt(uint64_t k) const { return m_times[k - m_first].load(std::memory_order_acquire); }

private:
    uint64_t m_first;
    uint64_t m_count;
    std::unique_ptr<std::atomic<int64_t>[]> m_times;
};

} // namespace eventpath

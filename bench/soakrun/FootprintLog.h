#pragma once

// The bridge's footprint (resident memory, threads, open descriptors) sampled
// at a steady pace over the whole soak, by phase, and the check that it ends
// where it began.

#include "ProcessMemory.h"

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace soak {

struct FootprintMargins
{
    long rssKib = 16384;   // growth allowed; less memory is never a fault
    long threads = 0;      // either way
    long descriptors = 0;  // either way
};

// What is wrong with `end` against `begin`, one text per measure out of its
// margin; empty when all are within.
std::vector<std::string> footprint_excess(const eventpath::ProcessFootprint& begin,
                                          const eventpath::ProcessFootprint& end, const FootprintMargins& margins);

// The figures of one phase: its first and last samples and the most of each
// measure in between.
struct PhaseFootprint
{
    std::string name;
    double seconds = 0;
    size_t samples = 0;
    eventpath::ProcessFootprint first;
    eventpath::ProcessFootprint last;
    eventpath::ProcessFootprint most;
};

class FootprintLog
{
public:
    FootprintLog(pid_t pid, int intervalMs);
    ~FootprintLog();
    FootprintLog(const FootprintLog&) = delete;
    FootprintLog& operator=(const FootprintLog&) = delete;

    // Samples now and from then on at the interval, under the phase's name,
    // until the next phase or Stop.
    void BeginPhase(const std::string& name);
    // One sample now, in the current phase.
    eventpath::ProcessFootprint Sample();
    void Stop();

    std::vector<PhaseFootprint> Phases() const;
    size_t SampleCount() const;

private:
    void Run();
    void Record(const eventpath::ProcessFootprint& footprint);

    pid_t m_pid;
    int m_intervalMs;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::vector<PhaseFootprint> m_phases;
    std::vector<int64_t> m_phaseStartMs;
    size_t m_samples = 0;
    std::thread m_thread;
};

} // namespace soak

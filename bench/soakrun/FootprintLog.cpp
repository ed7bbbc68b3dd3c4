#include "FootprintLog.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace soak {
namespace {

int64_t now_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void check(std::vector<std::string>& excess, const char* measure, long begin, long end, long margin, bool growthOnly)
{
    const long change = end - begin;
    if (change > margin || (!growthOnly && -change > margin))
        excess.push_back(std::string(measure) + " from " + std::to_string(begin) + " to " + std::to_string(end) +
                         " (" + (change >= 0 ? "+" : "") + std::to_string(change) + ", margin " +
                         (growthOnly ? "+" : "±") + std::to_string(margin) + ")");
}

} // namespace

std::vector<std::string> footprint_excess(const eventpath::ProcessFootprint& begin,
                                          const eventpath::ProcessFootprint& end, const FootprintMargins& margins)
{
    if (!begin.known || !end.known)
        return {"the bridge's footprint could not be read"};
    std::vector<std::string> excess;
    check(excess, "VmRSS KiB", begin.rssKib, end.rssKib, margins.rssKib, true);
    check(excess, "threads", begin.threads, end.threads, margins.threads, false);
    check(excess, "descriptors", begin.descriptors, end.descriptors, margins.descriptors, false);
    return excess;
}

FootprintLog::FootprintLog(pid_t pid, int intervalMs) : m_pid(pid), m_intervalMs(std::max(10, intervalMs))
{
    m_thread = std::thread(&FootprintLog::Run, this);
}

FootprintLog::~FootprintLog()
{
    Stop();
}

void FootprintLog::BeginPhase(const std::string& name)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        PhaseFootprint phase;
        phase.name = name;
        m_phases.push_back(phase);
        m_phaseStartMs.push_back(now_ms());
    }
    Sample();
}

eventpath::ProcessFootprint FootprintLog::Sample()
{
    const eventpath::ProcessFootprint footprint = eventpath::read_process_footprint(m_pid);
    Record(footprint);
    return footprint;
}

void FootprintLog::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<PhaseFootprint> FootprintLog::Phases() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_phases;
}

size_t FootprintLog::SampleCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_samples;
}

void FootprintLog::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, std::chrono::milliseconds(m_intervalMs), [this] { return m_stop; })) {
        if (m_phases.empty())
            continue;
        lock.unlock();
        Sample();
        lock.lock();
    }
}

void FootprintLog::Record(const eventpath::ProcessFootprint& footprint)
{
    // A process that is gone has no footprint to compare.
    if (!footprint.known)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_phases.empty())
        return;
    PhaseFootprint& phase = m_phases.back();
    if (phase.samples == 0) {
        phase.first = footprint;
        phase.most = footprint;
    }
    phase.last = footprint;
    phase.most.rssKib = std::max(phase.most.rssKib, footprint.rssKib);
    phase.most.threads = std::max(phase.most.threads, footprint.threads);
    phase.most.descriptors = std::max(phase.most.descriptors, footprint.descriptors);
    phase.seconds = static_cast<double>(now_ms() - m_phaseStartMs.back()) / 1000.0;
    ++phase.samples;
    ++m_samples;
}

} // namespace soak

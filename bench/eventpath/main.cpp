// The whole event path on loopback: the station simulator sends sensor events
// through libArdentis.so into the bridge (the real korvel-orvanta-client,
// started by tools/run-bridge), which sends one update per event to every
// video-system client. Prints events per second to 1, 10 and 100 clients, the
// latency of one event at a fixed rate, and the bridge's memory over the run.

#include "BenchSystem.h"
#include "EventFeed.h"
#include "LatencySummary.h"
#include "SendLog.h"
#include "ThreadCpu.h"
#include "VideoClients.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace eventpath;

const char kLogin[] = "bench";
const char kPassword[] = "bench-pass";

struct Options
{
    uint64_t events = 100000;         // per throughput phase
    std::vector<int> clients{1, 10, 100};
    double latencyRate = 1000;        // events per second
    uint64_t latencyEvents = 10000;
    int latencyClients = 10;
    uint64_t totalEvents = 1000000;   // through the bridge over the whole run
    uint64_t memoryStep = 100000;     // events between memory samples
    int memoryClients = 10;
    uint64_t window = 2000;
    int readers = 4;
    WorldShape shape;
    bool keep = false;
    SystemSettings system{kLogin, kPassword, 1, KORVEL_SOURCE_DIR "/tools/run-bridge",
                          KORVEL_BIN_DIR "/korvel-orvanta-client", KORVEL_BIN_DIR "/libArdentis.so"};
};

const char kUsage[] =
    "usage: eventpath_bench [options]\n"
    "The event path on loopback: station simulator -> libArdentis.so -> korvel-orvanta-client\n"
    "-> video-system clients. Prints events per second, the latency at a fixed rate and the\n"
    "bridge's memory over the run.\n"
    "  --events N           events per throughput phase (100000)\n"
    "  --clients A,B,...    client counts of the throughput phases (1,10,100)\n"
    "  --latency-rate R     events per second of the latency phase (1000)\n"
    "  --latency-events N   events of the latency phase (10000)\n"
    "  --latency-clients N  clients of the latency phase (10)\n"
    "  --total-events N     events through the bridge over the run (1000000)\n"
    "  --memory-clients N   clients while the run is filled up to the total (10)\n"
    "  --memory-step N      events between memory samples (100000)\n"
    "  --window N           events in flight at most (2000)\n"
    "  --readers N          client reading threads (4)\n"
    "  --keep               keep the run folder\n";

// Client counts of at least 1, separated by commas; false for anything else.
bool client_counts(const std::string& text, std::vector<int>& counts)
{
    counts.clear();
    std::stringstream in(text);
    std::string item;
    int count = 0;
    while (std::getline(in, item, ',')) {
        if (!take_number(item, 1, count))
            return false;
        counts.push_back(count);
    }
    return !counts.empty() && text.back() != ',';
}

CommandLine parse_options(int argc, char** argv, Options& options, std::string& error)
{
    const auto flag = [&options](const std::string& name) {
        if (name != "--keep")
            return false;
        options.keep = true;
        return true;
    };
    const auto option = [&options](const std::string& name, const std::string& value, bool& bad) {
        // Every count is at least 1, the window and the step included.
        const auto set = [&](auto& target) { bad = !take_number(value, 1, target); };
        if (name == "--events")
            set(options.events);
        else if (name == "--clients")
            bad = !client_counts(value, options.clients);
        else if (name == "--latency-rate") {
            char* end = nullptr;
            options.latencyRate = std::strtod(value.c_str(), &end);
            bad = end == value.c_str() || *end != '\0' || !(options.latencyRate > 0);
        } else if (name == "--latency-events")
            set(options.latencyEvents);
        else if (name == "--latency-clients")
            set(options.latencyClients);
        else if (name == "--total-events")
            set(options.totalEvents);
        else if (name == "--memory-step")
            set(options.memoryStep);
        else if (name == "--memory-clients")
            set(options.memoryClients);
        else if (name == "--window")
            set(options.window);
        else if (name == "--readers")
            set(options.readers);
        else
            return false;
        return true;
    };
    return parse_arguments(argc, argv, options.system, options.shape, flag, option, error);
}

double seconds_between(int64_t fromNs, int64_t toNs)
{
    return static_cast<double>(toNs - fromNs) / 1e9;
}

double ms(int64_t ns)
{
    return static_cast<double>(ns) / 1e6;
}

struct MemorySample
{
    uint64_t events = 0;
    ProcessMemory memory;
};

class EventPathBench
{
public:
    EventPathBench(const Options& options, std::string folder)
        : m_options(options), m_system(options.shape, std::move(folder)), m_world(m_system.world),
          m_station(m_system.station), m_bridge(m_system.bridge)
    {
    }

    int Run()
    {
        if (!Start())
            return 1;
        std::printf("bridge: pid %d, verbosity %d; world: %d groups, %zu objects, %zu sensors; window %llu events\n",
                    static_cast<int>(m_bridge.Pid()), m_options.system.verbosity, m_options.shape.groups,
                    static_cast<size_t>(m_options.shape.groups) * static_cast<size_t>(m_options.shape.objectsPerGroup),
                    m_world.SensorCount(), static_cast<unsigned long long>(m_options.window));
        Sample();
        if (!Latency())
            return Fail();
        std::printf("\nthroughput, every update counted and matched at every client\n");
        std::printf("%8s %10s %9s %11s %12s %10s  %s\n", "clients", "events", "seconds", "events/s", "updates/s",
                    "unmatched", "busiest bridge threads (% of one core)");
        for (int count : m_options.clients) {
            if (!Throughput(count, m_options.events))
                return Fail();
        }
        if (!FillUp())
            return Fail();
        return Finish();
    }

private:
    struct PhaseResult
    {
        double seconds = 0;
        uint64_t unmatched = 0;
        std::vector<ThreadShare> threads;
    };

    bool Start()
    {
        std::string error;
        if (!m_system.Start(m_options.system, error)) {
            std::fprintf(stderr, "%s\n%s", error.c_str(), m_bridge.Log().c_str());
            return false;
        }
        // The tree is in and the bridge waits for events; a thread caught
        // outside its wait is named on a later look.
        for (int look = 0; look < 10; ++look) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            for (const auto& role : idle_thread_roles(m_bridge.Pid())) {
                std::string& known = m_threadRoles[role.first];
                if (known.empty() || role.second == "worker" || role.second == "io")
                    known = role.second;
            }
        }
        return true;
    }

    // One phase: `count` clients take `events` events, paced by the window or
    // a rate; the phase ends when every client has matched every update.
    bool Phase(int count, uint64_t events, const FeedPace& pace, bool keepLatencies, VideoClients& clients,
               PhaseResult& result)
    {
        SendLog log(m_sent, events);
        std::string error;
        if (!clients.Open(count, m_options.readers, log, keepLatencies, error)) {
            std::fprintf(stderr, "%d clients: %s\n", count, error.c_str());
            return false;
        }
        std::atomic<bool> feeding{true};
        std::thread sampler([&] { SampleWhileFeeding(clients, log.FirstEvent(), feeding); });
        const auto threadsBefore = read_thread_ticks(m_bridge.Pid());
        const bool fed = feed_events(m_world, m_station, log, clients, pace, error);
        const bool delivered = fed && clients.WaitMatched(events, 120000);
        const int64_t done = now_ns();
        const auto threadsAfter = read_thread_ticks(m_bridge.Pid());
        feeding = false;
        sampler.join();
        if (!fed) {
            std::fprintf(stderr, "%d clients: %s\n", count, error.c_str());
            return false;
        }
        if (!delivered) {
            std::fprintf(stderr, "%d clients: only %llu of %llu updates arrived at the slowest client%s\n", count,
                         static_cast<unsigned long long>(clients.LeastMatched()),
                         static_cast<unsigned long long>(events), clients.AnyClosed() ? " (connection lost)" : "");
            return false;
        }
        m_sent += events;
        Sample();
        result.seconds = seconds_between(log.SentAt(log.FirstEvent()), done);
        result.unmatched = clients.TotalUnexpected() + (events * static_cast<uint64_t>(count) - clients.TotalMatched());
        result.threads = thread_shares(threadsBefore, threadsAfter, result.seconds);
        m_failed = m_failed || result.unmatched != 0;
        return true;
    }

    std::string DescribeThreads(const std::vector<ThreadShare>& threads) const
    {
        std::string text;
        for (size_t i = 0; i < threads.size() && i < 4; ++i) {
            const auto role = m_threadRoles.find(threads[i].tid);
            const std::string& name = role != m_threadRoles.end() ? role->second : threads[i].name;
            char entry[96];
            std::snprintf(entry, sizeof(entry), "%s%s %.0f", i == 0 ? "" : ", ", name.c_str(), threads[i].percent);
            text += entry;
        }
        return text;
    }

    bool Latency()
    {
        VideoClients clients(m_world, m_bridge.LocalPort(), kLogin, kPassword);
        FeedPace pace;
        pace.window = 0;
        pace.rate = m_options.latencyRate;
        PhaseResult result;
        if (!Phase(m_options.latencyClients, m_options.latencyEvents, pace, true, clients, result))
            return false;
        const LatencySummary summary = summarize_latencies(clients.Latencies());
        std::printf("\nlatency, station send to arrival at a client, at %.0f events/s to %d clients "
                    "(%zu updates, %llu unmatched)\n",
                    m_options.latencyRate, m_options.latencyClients, summary.count,
                    static_cast<unsigned long long>(result.unmatched));
        std::printf("  median %.3f ms   p99 %.3f ms   max %.3f ms\n", ms(summary.median), ms(summary.p99),
                    ms(summary.max));
        return true;
    }

    bool Throughput(int count, uint64_t events)
    {
        VideoClients clients(m_world, m_bridge.LocalPort(), kLogin, kPassword);
        FeedPace pace;
        pace.window = m_options.window;
        PhaseResult result;
        if (!Phase(count, events, pace, false, clients, result))
            return false;
        std::printf("%8d %10llu %9.2f %11.0f %12.0f %10llu  %s\n", count, static_cast<unsigned long long>(events),
                    result.seconds, static_cast<double>(events) / result.seconds,
                    static_cast<double>(events) * count / result.seconds,
                    static_cast<unsigned long long>(result.unmatched), DescribeThreads(result.threads).c_str());
        return true;
    }

    // Sends the rest of the run's events, to show whether memory follows them.
    bool FillUp()
    {
        if (m_sent >= m_options.totalEvents)
            return true;
        const uint64_t events = m_options.totalEvents - m_sent;
        // Compared from where this phase begins.
        m_fillStart = m_samples.size() - 1;
        VideoClients clients(m_world, m_bridge.LocalPort(), kLogin, kPassword);
        FeedPace pace;
        pace.window = m_options.window;
        PhaseResult result;
        if (!Phase(m_options.memoryClients, events, pace, false, clients, result))
            return false;
        std::printf("\nrest of the run: %llu events to %d clients in %.2f s (%.0f events/s, %llu unmatched)\n",
                    static_cast<unsigned long long>(events), m_options.memoryClients, result.seconds,
                    static_cast<double>(events) / result.seconds, static_cast<unsigned long long>(result.unmatched));
        return true;
    }

    void Sample() { Sample(m_sent); }

    void Sample(uint64_t events)
    {
        std::lock_guard<std::mutex> lock(m_samplesMutex);
        if (!m_samples.empty() && m_samples.back().events == events)
            return;
        MemorySample sample;
        sample.events = events;
        sample.memory = m_bridge.Memory();
        m_samples.push_back(sample);
    }

    // At every memoryStep events of the whole run, the bridge's memory.
    void SampleWhileFeeding(const VideoClients& clients, uint64_t firstEvent, const std::atomic<bool>& feeding)
    {
        const uint64_t step = m_options.memoryStep;
        uint64_t next = (firstEvent / step + 1) * step;
        while (feeding) {
            const uint64_t done = firstEvent + clients.LeastMatched();
            if (done >= next) {
                Sample(done);
                next = (done / step + 1) * step;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    int Finish()
    {
        std::printf("\nbridge memory in KiB (VmRSS now, VmHWM the most so far)\n");
        std::printf("%10s %10s %10s\n", "events", "VmRSS", "VmHWM");
        for (const MemorySample& sample : m_samples)
            std::printf("%10llu %10ld %10ld\n", static_cast<unsigned long long>(sample.events), sample.memory.rssKib,
                        sample.memory.peakKib);
        const MemorySample& last = m_samples.back();
        std::printf("after %llu events: VmRSS %ld KiB; peak VmHWM %ld KiB\n",
                    static_cast<unsigned long long>(last.events), last.memory.rssKib, last.memory.peakKib);
        // Growth while the run is filled up with one set of clients: the first
        // sample of that phase against the last.
        if (m_fillStart + 1 < m_samples.size()) {
            const MemorySample& first = m_samples[m_fillStart];
            std::printf("VmRSS from %llu to %llu events: %+ld KiB\n", static_cast<unsigned long long>(first.events),
                        static_cast<unsigned long long>(last.events), last.memory.rssKib - first.memory.rssKib);
        }
        const int code = m_bridge.Stop(15000);
        if (code != 0) {
            std::fprintf(stderr, "the bridge ended with %d\n", code);
            m_failed = true;
        }
        if (m_failed)
            std::fprintf(stderr, "some updates did not match their events\n");
        return m_failed ? 1 : 0;
    }

    int Fail()
    {
        std::fprintf(stderr, "--- bridge output\n%s--- bridge log (end)\n%s\n", m_bridge.Output().c_str(),
                     m_system.LogEnd(4000).c_str());
        m_bridge.Stop(15000);
        return 1;
    }

    const Options& m_options;
    BenchSystem m_system;
    const BenchWorld& m_world;
    stationsim::ScriptedStation& m_station;
    BridgeRun& m_bridge;
    uint64_t m_sent = 0;
    bool m_failed = false;
    std::mutex m_samplesMutex;
    std::vector<MemorySample> m_samples;
    size_t m_fillStart = 0;
    std::map<pid_t, std::string> m_threadRoles;
};

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    const CommandLine parsed = parse_options(argc, argv, options, error);
    const int status = command_line_status(parsed, "eventpath_bench", std::string(kUsage) + kSystemOptionsUsage, error);
    if (status >= 0)
        return status;
    return run_in_temporary_folder("korvel-eventpath", options.keep, [&options](const std::string& folder) {
        EventPathBench bench(options, folder);
        return bench.Run();
    });
}

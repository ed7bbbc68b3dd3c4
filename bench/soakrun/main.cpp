// The soak run: the station simulator, the real bridge (korvel-orvanta-client,
// started by tools/run-bridge with libArdentis.so) and video-system clients on
// loopback, through three phases that each check what they promise:
//   events   every event reaches every client as one matched update;
//   drops    the station link is cut at random points, mid-frame included, and
//            the bridge loads its tree afresh on each link the library
//            restores, so the clients see what changed while it was down;
//   clients  clients that never read and connections that come and go, while
//            a well-behaved client still gets every update.
// The bridge's memory, threads and descriptors are sampled throughout and must
// end where they began. Exits 1 when a check fails.

#include "BenchSystem.h"
#include "EventFeed.h"
#include "LatencySummary.h"
#include "SendLog.h"
#include "VideoClients.h"
#include "VideoLink.h"

#include "FootprintLog.h"
#include "HostileClients.h"
#include "LevelWatcher.h"
#include "ReloadTracker.h"

#include "model/AlarmLevels.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace eventpath;
using soak::LevelWatcher;

const char kLogin[] = "soak";
const char kPassword[] = "soak-pass";

constexpr int16_t kIgnoredEventType = 1;  // neither object nor sensor: the bridge applies nothing
constexpr uint8_t kSensorStateAtRest = 0;  // level 1 at load
constexpr uint8_t kSensorStateAlarm = 1;   // level 2 at load

struct Options
{
    uint64_t events = 1000000;
    int clients = 20;
    int drops = 1000;
    int silent = 200;
    uint64_t cycles = 5000;
    uint64_t hostileEvents = 50000;
    std::vector<std::string> phases{"events", "drops", "clients"};
    WorldShape shape;
    uint64_t window = 2000;
    int readers = 4;
    int sampleMs = 1000;
    int reloadTimeoutMs = 30000;
    bool strayEvents = true;
    unsigned seed = 1;
    soak::FootprintMargins margins;
    bool keep = false;
    SystemSettings system{kLogin, kPassword, 1, KORVEL_SOURCE_DIR "/tools/run-bridge",
                          KORVEL_BIN_DIR "/korvel-orvanta-client", KORVEL_BIN_DIR "/libArdentis.so"};
};

const char kUsage[] =
    "usage: soak_run [options]\n"
    "Event counts are rounded up to whole rounds of alarm and restore, so that every\n"
    "sensor ends a phase at rest.\n"
    "  --phases A,B,...     phases to run in the order given, each as often as named\n"
    "                       (events,drops,clients)\n"
    "  --events N           events of the events phase (1000000)\n"
    "  --clients N          clients of the events phase (20)\n"
    "  --drops N            station link drops (1000)\n"
    "  --silent N           clients that never read (200)\n"
    "  --cycles N           connect/disconnect cycles (5000)\n"
    "  --hostile-events N   events to the well-behaved client meanwhile (50000)\n"
    "  --window N           events in flight at most (2000)\n"
    "  --readers N          client reading threads (4)\n"
    "  --sample-ms N        footprint sampling interval (1000)\n"
    "  --rss-margin KIB     VmRSS growth allowed from start to end (16384)\n"
    "  --thread-margin N    threads allowed either way (0)\n"
    "  --fd-margin N        open descriptors allowed either way (0)\n"
    "  --reload-timeout MS  for one reconnect and reload (30000)\n"
    "  --quiet-station      no events the bridge ignores while the link comes back\n"
    "                       and until the reload begins (one every 100 ms otherwise)\n"
    "  --seed N             of the random drop points (1)\n"
    "  --keep               keep the run folder\n";

std::vector<std::string> items(const std::string& text)
{
    std::vector<std::string> values;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        values.push_back(item);
    return values;
}

CommandLine parse_options(int argc, char** argv, Options& options, std::string& error)
{
    const auto flag = [&options](const std::string& name) {
        if (name == "--keep")
            options.keep = true;
        else if (name == "--quiet-station")
            options.strayEvents = false;
        else
            return false;
        return true;
    };
    const auto option = [&options](const std::string& name, const std::string& value, bool& bad) {
        // Counts that may be 0 leave their phase's part out.
        const auto set = [&](auto& target, long long low = 0) { bad = !take_number(value, low, target); };
        if (name == "--phases") {
            const std::set<std::string> known{"events", "drops", "clients"};
            options.phases = items(value);
            bad = options.phases.empty() ||
                  !std::all_of(options.phases.begin(), options.phases.end(),
                               [&known](const std::string& phase) { return known.count(phase) != 0; });
        } else if (name == "--events")
            set(options.events);
        else if (name == "--clients")
            set(options.clients, 1);
        else if (name == "--drops")
            set(options.drops);
        else if (name == "--silent")
            set(options.silent);
        else if (name == "--cycles")
            set(options.cycles);
        else if (name == "--hostile-events")
            set(options.hostileEvents);
        else if (name == "--window")
            set(options.window, 1);
        else if (name == "--readers")
            set(options.readers, 1);
        else if (name == "--sample-ms")
            set(options.sampleMs, 1);
        else if (name == "--rss-margin")
            set(options.margins.rssKib);
        else if (name == "--thread-margin")
            set(options.margins.threads);
        else if (name == "--fd-margin")
            set(options.margins.descriptors);
        else if (name == "--reload-timeout")
            set(options.reloadTimeoutMs);
        else if (name == "--seed")
            set(options.seed);
        else
            return false;
        return true;
    };
    const CommandLine parsed = parse_arguments(argc, argv, options.system, options.shape, flag, option, error);
    // A cut into a reload needs two objects at least.
    const WorldShape& shape = options.shape;
    if (parsed == CommandLine::Run && static_cast<long long>(shape.groups) * shape.objectsPerGroup < 2) {
        error = "--sensors needs two objects at least, for the drops into a reload";
        return CommandLine::Wrong;
    }
    return parsed;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Polls `done` every few milliseconds, calling `meanwhile` every 100 ms,
// until it holds (true) or timeoutMs passes (false).
bool wait_for(const std::function<bool()>& done, int timeoutMs, const std::function<void()>& meanwhile = {})
{
    const auto start = std::chrono::steady_clock::now();
    auto nextCall = start;
    while (!done()) {
        const auto now = std::chrono::steady_clock::now();
        if (now - start >= std::chrono::milliseconds(timeoutMs))
            return false;
        if (meanwhile && now >= nextCall) {
            meanwhile();
            nextCall = now + std::chrono::milliseconds(100);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Where the station link is cut.
enum class DropPoint
{
    Idle,         // nothing under way
    MidFrame,     // after part of an event's frame
    AfterEvents,  // right behind a burst of events
    MidReload,    // while the bridge loads its tree after the previous drop
};
const char* const kDropPointNames[] = {"idle", "mid-frame", "after events", "mid-reload"};

class Soak
{
public:
    Soak(const Options& options, std::string folder)
        : m_options(options), m_system(options.shape, std::move(folder)), m_world(m_system.world),
          m_simulator(m_system.simulator), m_station(m_system.station), m_bridge(m_system.bridge),
          m_random(options.seed)
    {
    }

    int Run()
    {
        if (!Start())
            return Fail("start");
        m_footprint.reset(new soak::FootprintLog(m_bridge.Pid(), m_options.sampleMs));
        m_footprint->BeginPhase("start");
        const eventpath::ProcessFootprint begin = m_footprint->Sample();
        std::printf("bridge: pid %d, verbosity %d; world: %d groups, %zu objects, %zu sensors\n",
                    static_cast<int>(m_bridge.Pid()), m_options.system.verbosity, m_options.shape.groups, Objects(),
                    m_world.SensorCount());
        std::printf("at start: VmRSS %ld KiB, %ld threads, %ld descriptors\n", begin.rssKib, begin.threads,
                    begin.descriptors);
        for (const std::string& phase : m_options.phases) {
            if (phase == "events")
                Phase(phase, [this] { return EventsPhase(); });
            else if (phase == "drops")
                Phase(phase, [this] { return DropsPhase(); });
            else
                Phase(phase, [this] { return ClientsPhase(); });
        }
        return Finish(begin);
    }

private:
    size_t Objects() const
    {
        return static_cast<size_t>(m_options.shape.groups) * static_cast<size_t>(m_options.shape.objectsPerGroup);
    }

    // Events in whole rounds of alarm and restore, so that every sensor ends at rest.
    uint64_t WholeRounds(uint64_t events) const
    {
        const uint64_t round = 2 * m_world.SensorCount();
        return (events + round - 1) / round * round;
    }

    bool Start()
    {
        std::string error;
        if (!m_system.Start(m_options.system, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
        // The probes' connections are gone on the bridge's side too before the
        // footprint is first taken.
        long last = -1;
        wait_for(
            [&] {
                const long now = m_bridge.Footprint().descriptors;
                const bool steady = now == last;
                last = now;
                return steady;
            },
            5000, {});
        return true;
    }

    void Phase(const std::string& name, const std::function<bool()>& body)
    {
        std::printf("\n== %s\n", name.c_str());
        m_footprint->BeginPhase(name);
        bool passed = body();
        if (!m_bridge.Running()) {
            std::printf("the bridge is no longer running\n");
            passed = false;
        }
        m_footprint->Sample();
        Verdict(name + " phase", passed);
        if (!passed)
            DumpLogEnd();
    }

    void Verdict(const std::string& check, bool passed)
    {
        m_verdicts.emplace_back(check, passed);
        m_failed = m_failed || !passed;
    }

    // ---- events: every update matched at every client -------------------------

    bool EventsPhase()
    {
        const uint64_t events = WholeRounds(m_options.events);
        std::printf("%llu events to %d clients, every update matched to its event\n",
                    static_cast<unsigned long long>(events), m_options.clients);
        VideoClients clients(m_world, m_bridge.LocalPort(), kLogin, kPassword);
        SendLog log(m_sent, events);
        std::string error;
        if (!clients.Open(m_options.clients, m_options.readers, log, false, error)) {
            std::printf("clients: %s\n", error.c_str());
            return false;
        }
        FeedPace pace;
        pace.window = m_options.window;
        const auto start = std::chrono::steady_clock::now();
        const bool fed = feed_events(m_world, m_station, log, clients, pace, error);
        const bool delivered = fed && clients.WaitMatched(events, 120000);
        const double seconds = seconds_since(start);
        m_sent += events;
        const uint64_t expected = events * static_cast<uint64_t>(m_options.clients);
        std::printf("%.1f s, %.0f events/s; updates matched %llu of %llu, unexpected %llu\n", seconds,
                    static_cast<double>(events) / seconds, static_cast<unsigned long long>(clients.TotalMatched()),
                    static_cast<unsigned long long>(expected),
                    static_cast<unsigned long long>(clients.TotalUnexpected()));
        if (!fed)
            std::printf("%s\n", error.c_str());
        return delivered && clients.TotalMatched() == expected && clients.TotalUnexpected() == 0;
    }

    // ---- drops: a reload on the restored link after every cut -----------------

    CMS_SimpleEventData SensorEvent(size_t sensor, int16_t subType)
    {
        const BenchSensor& entry = m_world.Sensor(sensor);
        CMS_SimpleEventData event;
        event.ID = static_cast<int32_t>(++m_extraEvents);
        event.Type = BenchWorld::kSensorEvent;
        event.SubType = subType;
        event.ObjectID = entry.objectId;
        event.ObjectGroupID = entry.groupId;
        event.ObjectNumber = entry.objectId;
        event.ObjectState = 1;
        event.SensorNumber = entry.number;
        return event;
    }

    size_t RandomSensor() { return std::uniform_int_distribution<size_t>(0, m_world.SensorCount() - 1)(m_random); }

    int16_t RandomSubType()
    {
        return std::uniform_int_distribution<int>(0, 1)(m_random) ? BenchWorld::kAlarmSubType
                                                                  : BenchWorld::kRestoreSubType;
    }

    DropPoint RandomDropPoint() { return static_cast<DropPoint>(std::uniform_int_distribution<int>(0, 3)(m_random)); }

    // An event the bridge applies to nothing, sent while the link comes back:
    // events then arrive around the reload, which they must not disturb.
    void SendStrayEvent()
    {
        if (!m_options.strayEvents)
            return;
        CMS_SimpleEventData event;
        event.ID = static_cast<int32_t>(++m_extraEvents);
        event.Type = kIgnoredEventType;
        m_station.NotifyEvent(event);
    }

    // The levels a client must show once the bridge has loaded the station's
    // present states: those of the start, each sensor as its state gives it.
    std::map<LevelWatcher::Key, int32_t> ExpectedLevels(const std::map<LevelWatcher::Key, int32_t>& start,
                                                        const std::vector<uint8_t>& states) const
    {
        std::map<LevelWatcher::Key, int32_t> expected = start;
        for (size_t s = 0; s < states.size(); ++s)
            expected[LevelWatcher::Key(LEVEL_SENSOR, m_world.Sensor(s).id)] = level_from_state(states[s]);
        return expected;
    }

    static std::string Differences(const std::map<LevelWatcher::Key, int32_t>& expected,
                                   const std::map<LevelWatcher::Key, int32_t>& seen)
    {
        std::string text;
        int shown = 0;
        for (const auto& entry : expected) {
            const auto found = seen.find(entry.first);
            const int32_t level = found == seen.end() ? -1 : found->second;
            if (level != entry.second && shown++ < 5)
                text += " element " + std::to_string(entry.first.second) + " (depth " +
                        std::to_string(entry.first.first) + ") shows " + std::to_string(level) + " instead of " +
                        std::to_string(entry.second) + ";";
        }
        return text;
    }

    bool DropsPhase()
    {
        const int drops = m_options.drops;
        std::printf("%d station link drops at random points; after each the bridge must load its tree on the "
                    "restored link and show a client what changed while the link was down\n",
                    drops);
        LevelWatcher watcher;
        std::string error;
        if (!watcher.Open(m_bridge.LocalPort(), kLogin, kPassword, error)) {
            std::printf("watching client: %s\n", error.c_str());
            return false;
        }
        const std::map<LevelWatcher::Key, int32_t> startLevels = watcher.Levels();
        std::vector<uint8_t> states(m_world.SensorCount(), kSensorStateAtRest);
        soak::ReloadTracker tracker(Objects());
        tracker.Poll(m_simulator);
        const size_t reloadsBefore = tracker.Reloads();

        int counts[4] = {0, 0, 0, 0};
        std::vector<int64_t> reloadNs;
        int lastConnection = 0;
        DropPoint point = DropPoint::Idle;
        const auto start = std::chrono::steady_clock::now();
        for (int drop = 0; drop < drops; ++drop) {
            if (point == DropPoint::MidReload) {
                // Into the reload that follows the previous drop, at a random request.
                const size_t cut = std::uniform_int_distribution<size_t>(1, Objects() - 1)(m_random);
                if (!wait_for(
                        [&] {
                            tracker.Poll(m_simulator);
                            return tracker.SensorRequestsAfter(lastConnection) >= cut;
                        },
                        m_options.reloadTimeoutMs)) {
                    std::printf("drop %d: the reload did not get to object %zu\n", drop + 1, cut);
                    return false;
                }
            }
            // Changed without notice: only a reload shows it.
            const size_t flipped = RandomSensor();
            states[flipped] = states[flipped] == kSensorStateAtRest ? kSensorStateAlarm : kSensorStateAtRest;
            m_station.SetSensorState(m_world.Sensor(flipped).objectId, m_world.Sensor(flipped).number,
                                     states[flipped]);
            lastConnection = static_cast<int>(m_simulator.GetAcceptedConnections());
            if (point == DropPoint::MidFrame) {
                const std::vector<uint8_t> frames = m_station.EventFrames(SensorEvent(RandomSensor(), RandomSubType()));
                const size_t cut = std::uniform_int_distribution<size_t>(1, frames.size() - 1)(m_random);
                m_simulator.SendRawBytes(std::vector<uint8_t>(frames.begin(), frames.begin() + cut));
            } else if (point == DropPoint::AfterEvents) {
                const int burst = std::uniform_int_distribution<int>(1, 50)(m_random);
                for (int e = 0; e < burst; ++e)
                    m_station.NotifyEvent(SensorEvent(RandomSensor(), RandomSubType()));
            }
            m_simulator.CloseConnections();
            const DropPoint cutAt = point;
            ++counts[static_cast<int>(cutAt)];
            const auto droppedAt = std::chrono::steady_clock::now();

            // The next drop may cut the reload that follows this one; then only
            // its start is awaited, and the check falls to the reload after.
            point = drop + 1 < drops ? RandomDropPoint() : DropPoint::Idle;
            const bool check = point != DropPoint::MidReload;
            const std::map<LevelWatcher::Key, int32_t> expected = ExpectedLevels(startLevels, states);
            std::map<LevelWatcher::Key, int32_t> seen;
            const bool reloaded = wait_for(
                [&] {
                    tracker.Poll(m_simulator);
                    if (!check)
                        return tracker.SensorRequestsAfter(lastConnection) > 0;
                    if (!tracker.ReloadedAfter(lastConnection))
                        return false;
                    seen = watcher.Levels();
                    return seen == expected;
                },
                m_options.reloadTimeoutMs, [&] {
                    if (tracker.SensorRequestsAfter(lastConnection) == 0)
                        SendStrayEvent();
                });
            if (!reloaded || !watcher.Connected()) {
                std::string reason;
                if (!watcher.Connected())
                    reason = "the bridge closed the watching client";
                else if (check && !tracker.ReloadedAfter(lastConnection))
                    reason = "no whole reload within the time-out (" +
                             std::to_string(tracker.SensorRequestsAfter(lastConnection)) + " of " +
                             std::to_string(Objects()) + " objects' sensors asked for)";
                else if (check)
                    reason = "the client's levels differ:" + Differences(expected, seen);
                else
                    reason = "no reload began within the time-out";
                std::printf("drop %d (%s): %s\n", drop + 1, kDropPointNames[static_cast<int>(cutAt)], reason.c_str());
                return false;
            }
            if (check)
                reloadNs.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                       std::chrono::steady_clock::now() - droppedAt)
                                       .count());
            if ((drop + 1) % 50 == 0 || drop + 1 == drops) {
                const eventpath::ProcessFootprint now = m_bridge.Footprint();
                std::printf("  %d drops, %.0f s, VmRSS %ld KiB, %ld threads, %ld descriptors\n", drop + 1,
                            seconds_since(start), now.rssKib, now.threads, now.descriptors);
            }
        }
        const size_t reloads = tracker.Reloads() - reloadsBefore;
        std::printf("drops: %d idle, %d mid-frame, %d after events, %d mid-reload; %zu whole reloads\n", counts[0],
                    counts[1], counts[2], counts[3], reloads);
        if (!reloadNs.empty()) {
            const LatencySummary summary = summarize_latencies(reloadNs);
            std::printf("drop to the client showing the reloaded levels: median %.2f s, p99 %.2f s, max %.2f s "
                        "(%zu checked)\n",
                        static_cast<double>(summary.median) / 1e9, static_cast<double>(summary.p99) / 1e9,
                        static_cast<double>(summary.max) / 1e9, summary.count);
        }
        // Back at rest, station and bridge alike, for the phases after.
        for (size_t s = 0; s < states.size(); ++s) {
            if (states[s] == kSensorStateAtRest)
                continue;
            states[s] = kSensorStateAtRest;
            m_station.SetSensorState(m_world.Sensor(s).objectId, m_world.Sensor(s).number, kSensorStateAtRest);
            m_station.NotifyEvent(SensorEvent(s, BenchWorld::kRestoreSubType));
        }
        if (!wait_for([&] { return watcher.Levels() == startLevels; }, 10000)) {
            std::printf("the sensors did not come back to rest:%s\n",
                        Differences(startLevels, watcher.Levels()).c_str());
            return false;
        }
        // Every drop of the last reload counts a whole one; a mid-reload cut does not.
        return reloads >= static_cast<size_t>(drops - counts[static_cast<int>(DropPoint::MidReload)]);
    }

    // ---- clients: silent clients and churn beside a well-behaved one ----------

    bool ClientsPhase()
    {
        const uint64_t events = WholeRounds(m_options.hostileEvents);
        std::printf("%d clients that log in, ask for the state and never read; %llu connect/disconnect cycles; "
                    "meanwhile %llu events to one well-behaved client\n",
                    m_options.silent, static_cast<unsigned long long>(m_options.cycles),
                    static_cast<unsigned long long>(events));
        bool passed = true;
        soak::SilentClients silent;
        std::string error;
        if (!silent.Open(m_bridge.LocalPort(), m_options.silent, kLogin, kPassword, error)) {
            std::printf("%s\n", error.c_str());
            passed = false;
        }
        std::atomic<bool> stopChurn{false};
        soak::ChurnFigures churn;
        double churnSeconds = 0;
        std::thread churner([&] {
            const auto start = std::chrono::steady_clock::now();
            churn = soak::churn_connections(m_bridge.LocalPort(), m_options.cycles, kLogin, kPassword, stopChurn);
            churnSeconds = seconds_since(start);
        });

        VideoClients wellBehaved(m_world, m_bridge.LocalPort(), kLogin, kPassword);
        SendLog log(m_sent, events);
        const auto start = std::chrono::steady_clock::now();
        bool delivered = wellBehaved.Open(1, 1, log, false, error);
        if (delivered) {
            FeedPace pace;
            pace.window = m_options.window;
            delivered = feed_events(m_world, m_station, log, wellBehaved, pace, error) &&
                        wellBehaved.WaitMatched(events, 120000);
        }
        const double seconds = seconds_since(start);
        m_sent += events;
        std::printf("well-behaved client: %llu of %llu updates matched, %llu unexpected, in %.1f s%s%s\n",
                    static_cast<unsigned long long>(wellBehaved.TotalMatched()),
                    static_cast<unsigned long long>(events),
                    static_cast<unsigned long long>(wellBehaved.TotalUnexpected()), seconds,
                    delivered ? "" : "; ", delivered ? "" : error.c_str());
        passed = passed && delivered && wellBehaved.TotalMatched() == events && wellBehaved.TotalUnexpected() == 0;
        if (!delivered)
            stopChurn = true;
        churner.join();
        std::printf("churn: %llu cycles in %.2f s, %llu connections refused\n",
                    static_cast<unsigned long long>(churn.cycles), churnSeconds,
                    static_cast<unsigned long long>(churn.refused));
        passed = passed && churn.cycles == m_options.cycles && churn.refused == 0;
        const eventpath::ProcessFootprint held = m_footprint->Sample();
        std::printf("with the silent clients still there: VmRSS %ld KiB, %ld descriptors; the bridge closed %zu "
                    "of the %zu silent clients\n",
                    held.rssKib, held.descriptors, silent.ClosedByPeer(), silent.Count());
        silent.Close();
        wellBehaved.Close();

        // The bridge still serves a newcomer the whole, right state.
        VideoLink probe;
        std::vector<ElementRecord> records;
        if (!probe.Open(m_bridge.LocalPort(), kLogin, kPassword, error) || !probe.RequestState(records, error) ||
            !(error = m_world.CheckState(records, m_sent)).empty()) {
            std::printf("a new client after the phase: %s\n", error.c_str());
            passed = false;
        }
        return passed;
    }

    // ---- the end ----------------------------------------------------------------

    int Finish(const eventpath::ProcessFootprint& begin)
    {
        m_footprint->BeginPhase("end");
        // Connections closed by the phases take a moment to go on the bridge's side.
        eventpath::ProcessFootprint end;
        wait_for([&] { return footprint_excess(begin, m_bridge.Footprint(), m_options.margins).empty(); }, 15000);
        end = m_footprint->Sample();
        m_footprint->Stop();

        std::printf("\n== the bridge's footprint by phase (%zu samples, every %d ms)\n", m_footprint->SampleCount(),
                    m_options.sampleMs);
        std::printf("%-8s %8s  %27s  %14s  %14s\n", "phase", "seconds", "VmRSS KiB first/most/last",
                    "threads f/m/l", "fds f/m/l");
        for (const soak::PhaseFootprint& phase : m_footprint->Phases()) {
            char rss[64];
            char threads[32];
            char fds[32];
            std::snprintf(rss, sizeof(rss), "%ld/%ld/%ld", phase.first.rssKib, phase.most.rssKib, phase.last.rssKib);
            std::snprintf(threads, sizeof(threads), "%ld/%ld/%ld", phase.first.threads, phase.most.threads,
                          phase.last.threads);
            std::snprintf(fds, sizeof(fds), "%ld/%ld/%ld", phase.first.descriptors, phase.most.descriptors,
                          phase.last.descriptors);
            std::printf("%-8s %8.1f  %27s  %14s  %14s\n", phase.name.c_str(), phase.seconds, rss, threads, fds);
        }
        const std::vector<std::string> excess = footprint_excess(begin, end, m_options.margins);
        std::printf("from start to end: VmRSS %+ld KiB (margin +%ld), threads %+ld (margin ±%ld), "
                    "descriptors %+ld (margin ±%ld)\n",
                    end.rssKib - begin.rssKib, m_options.margins.rssKib, end.threads - begin.threads,
                    m_options.margins.threads, end.descriptors - begin.descriptors, m_options.margins.descriptors);
        for (const std::string& text : excess)
            std::printf("  out of margin: %s\n", text.c_str());
        Verdict("footprint back where it began", excess.empty());

        std::printf("the bridge's log: %zu bytes\n", m_bridge.Log().size());
        const int code = m_bridge.Stop(15000);
        if (code != 0)
            std::printf("the bridge ended with %d\n", code);
        Verdict("the bridge stops cleanly", code == 0);

        std::printf("\n== checks\n");
        for (const auto& verdict : m_verdicts)
            std::printf("  %-32s %s\n", verdict.first.c_str(), verdict.second ? "passed" : "FAILED");
        return m_failed ? 1 : 0;
    }

    void DumpLogEnd() const
    {
        std::printf("--- the bridge's log (end)\n%s\n---\n", m_system.LogEnd(3000).c_str());
    }

    int Fail(const char* what)
    {
        std::fprintf(stderr, "the soak could not %s\n--- bridge output\n%s", what, m_bridge.Output().c_str());
        DumpLogEnd();
        m_bridge.Stop(15000);
        return 1;
    }

    const Options& m_options;
    BenchSystem m_system;
    const BenchWorld& m_world;
    stationsim::StationSimulator& m_simulator;
    stationsim::ScriptedStation& m_station;
    BridgeRun& m_bridge;
    std::mt19937 m_random;
    std::unique_ptr<soak::FootprintLog> m_footprint;
    uint64_t m_sent = 0;
    uint64_t m_extraEvents = 0;
    bool m_failed = false;
    std::vector<std::pair<std::string, bool>> m_verdicts;
};

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    const CommandLine parsed = parse_options(argc, argv, options, error);
    const int status = command_line_status(parsed, "soak_run", std::string(kUsage) + kSystemOptionsUsage, error);
    if (status >= 0)
        return status;
    return run_in_temporary_folder("korvel-soak", options.keep, [&options](const std::string& folder) {
        Soak soak(options, folder);
        return soak.Run();
    });
}

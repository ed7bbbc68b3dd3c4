#include "station/StationWorker.h"

#include "model/AlarmLevels.h"
#include "model/ElementModel.h"
#include "model/ElementRecord.h"
#include "model/EventDictionary.h"
#include "model/StationListReader.h"
#include "station/CMSC_Client.h"
#include "station/CMSC_ClientProxy.h"
#include "support/BridgeAssert.h"
#include "support/BridgeLog.h"
#include "support/ConnectionSettings.h"
#include "support/TextCodec.h"
#include "vms/VmsServer.h"

#include "platform/Event.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

std::atomic<bool> g_worker_stop{false};

namespace {

// The library's texts are Windows-1251; the log is UTF-8 like everything else
// the bridge writes.
std::string station_text(const std::string& text)
{
    return to_utf8("Windows-1251", text);
}

std::string last_error(CMSC_Client& client)
{
    return station_text(client.GetLastError());
}

using Clock = std::chrono::steady_clock;

std::function<void(std::chrono::milliseconds)>& reconnect_pause()
{
    static std::function<void(std::chrono::milliseconds)> pause;
    return pause;
}

std::atomic<int64_t> g_link_restore_wait_ms{kLinkRestoreWait.count()};

// Without a wake event, a wait looks again this often.
constexpr std::chrono::milliseconds kWakePollStep{100};

// Manual-reset. Set by a stop and by each report on the link; the worker
// clears it before it looks at what woke it.
platform::WaitHandle wake_event()
{
    static const platform::WaitHandle event = platform::create_event(true, false);
    return event;
}

// Waits until `done` holds, the service stops or the time is up; true when
// done. Each wake-up looks again.
template <typename Done>
bool wait_for_wake(std::chrono::milliseconds limit, Done done)
{
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        // Cleared before the look: the stop and the reports set their flags
        // before the event, so one that comes after it ends the wait below.
        platform::reset_event(wake_event());
        if (g_worker_stop)
            return false;
        if (done())
            return true;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        if (wake_event() != platform::kInvalidWaitHandle)
            platform::wait_for_single(wake_event(), static_cast<uint32_t>(left.count()));
        else
            std::this_thread::sleep_for(std::min(left, kWakePollStep));
    }
}

void pause_before_reconnect()
{
    if (reconnect_pause())
        reconnect_pause()(kReconnectPause);
    else
        wait_for_wake(kReconnectPause, [] { return false; });
}

// After a loss: until the library reports the link back. Losses reported
// until then are all made good by the reload that follows.
bool wait_for_link(CMSC_Client& client)
{
    log_message(kLogError, "Connection to Korvel server lost\n");
    const bool back = wait_for_wake(std::chrono::milliseconds(g_link_restore_wait_ms.load()), [&] {
        return client.LinkUp() && client.IsConnected() == MSC_OK;
    });
    if (back) {
        client.TakeConnectionLost();
        log_message(kLogError, "Connection to Korvel server restored\n");
    } else if (!g_worker_stop) {
        log_message(kLogError, "Connection to Korvel server not restored within %lld ms\n",
                    static_cast<long long>(g_link_restore_wait_ms.load()));
    }
    return back;
}

// The worker's station client while it may call the station, for the stopping
// thread to close.
std::mutex g_client_mutex;
std::condition_variable g_client_released;
CMSC_Client* g_active_client = nullptr;

class ActiveClient
{
public:
    explicit ActiveClient(CMSC_Client& client)
    {
        std::lock_guard<std::mutex> lock(g_client_mutex);
        g_active_client = &client;
    }
    ~ActiveClient()
    {
        {
            std::lock_guard<std::mutex> lock(g_client_mutex);
            g_active_client = nullptr;
        }
        g_client_released.notify_all();
    }
    ActiveClient(const ActiveClient&) = delete;
    ActiveClient& operator=(const ActiveClient&) = delete;
};

// An element's place in the tree: depth (1 group, 2 object, 3 sensor) and the
// ids of the group, object and sensor on its path (0 below its depth).
using ElementPath = std::tuple<uint8_t, int32_t, int32_t, int32_t>;

// Calls fn(path, element) for every element of the group map, depth first.
// Under the model mutex.
template <typename Fn>
void for_each_element(Fn fn)
{
    for (const auto& group : g_group_map) {
        if (!group.second)
            continue;
        fn(ElementPath{LEVEL_GROUP, group.first, 0, 0}, group.second);
        for (const auto& object : group.second->children) {
            if (!object.second)
                continue;
            fn(ElementPath{LEVEL_OBJECT, group.first, object.first, 0}, object.second);
            for (const auto& sensor : object.second->children) {
                if (sensor.second)
                    fn(ElementPath{LEVEL_SENSOR, group.first, object.first, sensor.first}, sensor.second);
            }
        }
    }
}

// The level each element was last sent to the clients with, by its path: the
// worker's thread alone reads and writes it. An entry is written only once the
// update has been handed over, so a change whose update failed (the cycle ends
// on the exception) is still told apart by the next load, and the entries of a
// group that left the tree wait for its return. Bounded by the elements ever
// loaded.
std::map<ElementPath, int32_t> g_sent_levels;

// After the update of the element at the path has been handed over.
void note_sent(const ElementPath& path, const KorvelElement& element)
{
    g_sent_levels[path] = element.StateLevel;
}

// Sends an update for every element of the tree whose level differs from the
// one last sent for it: events of the time the link was down are never
// delivered, so the clients would keep showing levels that no longer hold. An
// element seen for the first time is taken as the clients have it, in the
// state they fetch.
void broadcast_reload_changes()
{
    std::vector<std::pair<ElementPath, KorvelElementPtr>> changed;
    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        for_each_element([&](const ElementPath& path, const KorvelElementPtr& element) {
            const auto sent = g_sent_levels.emplace(path, element->StateLevel);
            if (!sent.second && sent.first->second != element->StateLevel)
                changed.emplace_back(path, element);
        });
    }
    // The list mutex is never taken under the model mutex. Levels change on
    // this thread alone, so each is read here as it was sent.
    for (const auto& update : changed) {
        broadcast_update(update.second, std::get<0>(update.first));
        note_sent(update.first, *update.second);
    }
}

// A query failed because the link is gone or the service stops: the load is
// then broken off, and what it has not reached (groups included) stays as it
// was until the link is back.
bool link_gone(CMSC_Client& client)
{
    return g_worker_stop || client.ConnectionLost() || client.IsConnected() != MSC_OK;
}

// Fetches one object with its sensors and puts it into its group. False when
// a query failed with the link gone.
bool load_object(CMSC_Client& client, int32_t id)
{
    std::string text;
    if (client.GetObjectByID(id, text) != MSC_OK) {
        if (link_gone(client))
            return false;
        log_message(kLogInfo, "GetObjectByID (%i) failed (%s)\n", id, last_error(client).c_str());
        return true;
    }
    ElementMap objects;
    if (!parse_element_list(text, "objectlist", objects) || objects.empty() || objects.begin()->first != id) {
        log_message(kLogInfo, "Object %i info could not be parsed\n", id);
        return true;
    }
    const KorvelElementPtr object = objects.begin()->second;
    object->StateLevel = object_level_from_state(object->State);

    std::string sensors;
    if (client.GetObjectSensors(id, sensors) != MSC_OK) {
        if (link_gone(client))
            return false;
        log_message(kLogInfo, "GetObjectSensors (%i) failed (%s)\n", id, last_error(client).c_str());
        return true;
    }
    // The object and its sensors are not in the tree yet: no lock needed.
    if (!parse_element_list(sensors, "sensorlist", object->children))
        log_message(kLogInfo, "Sensors for object %i could not be parsed\n", id);
    for (const auto& entry : object->children) {
        const KorvelElementPtr& sensor = entry.second;
        sensor->Group = object->Group;
        sensor->StateLevel = level_from_state(sensor->State);
    }

    std::lock_guard<std::mutex> lock(g_model_mutex);
    KorvelElementPtr& group = g_group_map[object->Group];
    if (!group) {
        // Until its group document fills it, the group is known only by its id.
        group = std::make_shared<KorvelElement>();
        group->ID = object->Group;
        group->Group = object->Group;
    }
    group->children[id] = object;
    group->StateLevel = 1;
    return true;
}

// Fills the group elements from their documents; a group that cannot be
// fetched or read leaves the tree with its objects. False when a query failed
// with the link gone.
bool load_groups(CMSC_Client& client)
{
    std::vector<int32_t> group_ids;
    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        for (const auto& entry : g_group_map)
            group_ids.push_back(entry.first);
    }
    for (const int32_t id : group_ids) {
        std::string text;
        if (client.GetObjetGroupByID(id, text) != MSC_OK) {
            if (link_gone(client))
                return false;
            log_message(kLogInfo, "GetObjetGroupByID (id=%i) failed (%s)\n", id, last_error(client).c_str());
            std::lock_guard<std::mutex> lock(g_model_mutex);
            g_group_map.erase(id);
        }
        std::lock_guard<std::mutex> lock(g_model_mutex);
        if (!parse_element_list(text, "objectgrouplist", g_group_map)) {
            log_message(kLogInfo, "Unable to parse Group info:\n%s\n", station_text(text).c_str());
            g_group_map.erase(id);
        }
    }
    return true;
}

enum class TreeLoad {
    Loaded,
    // The station refused the object list on a sound link.
    ListFailed,
    LinkLost,
    Stopped,
};

TreeLoad broken_off()
{
    return g_worker_stop ? TreeLoad::Stopped : TreeLoad::LinkLost;
}

// Loads the tree over the existing group map and sends the levels it changed.
TreeLoad load_tree(CMSC_Client& client)
{
    std::vector<int32_t> ids;
    if (client.GetObjectList(ids) != MSC_OK) {
        // A query the stop or a lost link ended is no fault of the station's.
        if (link_gone(client))
            return broken_off();
        log_message(kLogError, "GetObjectList failed (%s)\n", last_error(client).c_str());
        return TreeLoad::ListFailed;
    }
    TreeLoad result = TreeLoad::Loaded;
    for (const int32_t id : ids) {
        if (g_worker_stop || client.ConnectionLost() || !load_object(client, id)) {
            result = broken_off();
            break;
        }
    }
    if (result == TreeLoad::Loaded && !load_groups(client))
        result = broken_off();
    // What a load broken off by a lost link did fetch holds all the same.
    if (result != TreeLoad::Stopped)
        broadcast_reload_changes();
    return result;
}

// Why a cycle ended early; a line that finds no memory either is lost rather
// than ending the worker.
void log_cycle_failure(const char* what) noexcept
{
    try {
        log_message(kLogError, "station worker cycle ended: %s\n", what);
    } catch (...) {
    }
}

// Reads and applies events until the queue is empty; false when the service
// stops meanwhile.
bool read_events(CMSC_Client& client, std::vector<char>& buffer, std::string& document)
{
    for (;;) {
        buffer[0] = '\0';
        if (client.ReadEvent(buffer.data(), static_cast<int32_t>(buffer.size())) != MSC_OK)
            return true;
        const size_t length = strnlen(buffer.data(), buffer.size());
        // The library cuts a longer text to the buffer without telling.
        if (length + 1 >= buffer.size())
            log_message(kLogError, "Event document cut to %i bytes\n", static_cast<int>(length));
        document.assign(buffer.data(), length);
        apply_event_document(document);
        if (g_worker_stop)
            return false;
    }
}

// After a loss, whether the event loop or a load noticed it: the events queued
// until then go before the next load, since applied after it they would put
// back levels older than those it finds.
bool read_events_before_reload(CMSC_Client& client)
{
    std::vector<char> buffer(static_cast<size_t>(kEventBufferSize), '\0');
    std::string document;
    return read_events(client, buffer, document);
}

// One connection cycle on an opened client. A link the library reports lost
// and then back is followed on: the tree is loaded again on it.
void run_cycle(CMSC_Client& client)
{
    const int result = client.Open(host, port, login, password);
    if (result != MSC_OK) {
        if (g_worker_stop)
            return;
        log_message(kLogError, "Could not create connection to %s:%i, ret = %i (%s)\n", host.c_str(), port, result,
                    last_error(client).c_str());
        return;
    }
    log_message(kLogError, "Successfully connected to Korvel server %s:%i\n", host.c_str(), port);
    for (;;) {
        const TreeLoad loaded = load_tree(client);
        if (loaded == TreeLoad::Stopped || loaded == TreeLoad::ListFailed)
            return;
        if (loaded == TreeLoad::Loaded && event_loop(client) != EventLoopEnd::LinkLost)
            return;
        if (!read_events_before_reload(client) || !wait_for_link(client))
            return;
    }
}

} // namespace

void set_reconnect_pause_for_tests(std::function<void(std::chrono::milliseconds)> pause)
{
    reconnect_pause() = std::move(pause);
}

void set_link_restore_wait_for_tests(std::chrono::milliseconds wait)
{
    g_link_restore_wait_ms = wait.count();
}

void apply_event_document(const std::string& text)
{
    KorvelEventList events;
    if (!parse_event_list(text, events))
        return;
    for (const KorvelEventPtr& event : events) {
        if (!lookup_event_text(*event))
            log_message(kLogInfo, "Unknown event type = %i, subtype = %i\n", event->Type, event->SubType);
        if (event->Type == EVENT_TYPE_SENSOR) {
            std::vector<KorvelElementPtr> changed;
            apply_sensor_event(event, changed);
            for (const KorvelElementPtr& sensor : changed) {
                broadcast_update(sensor, LEVEL_SENSOR);
                // A sensor's key in its object is its ID.
                note_sent(ElementPath{LEVEL_SENSOR, event->ObjectGroupID, event->ObjectID, sensor->ID}, *sensor);
            }
            // The document is converted only for a line that is written.
            if (changed.empty() && kLogVerbose <= verbosity)
                log_message(kLogVerbose, "Unprocessed sensor events received: \n%s\n", station_text(text).c_str());
        } else if (event->Type == EVENT_TYPE_OBJECT) {
            KorvelElementPtr changed_element;
            if (apply_object_event(*event, changed_element, true)) {
                BRIDGE_ASSERT(changed_element);
                broadcast_update(changed_element, LEVEL_OBJECT);
                note_sent(ElementPath{LEVEL_OBJECT, event->ObjectGroupID, event->ObjectID, 0}, *changed_element);
            } else if (kLogVerbose <= verbosity) {
                log_message(kLogVerbose, "Unprocessed object event received: \n%s\n", station_text(text).c_str());
            }
        }
    }
}

EventLoopEnd event_loop(CMSC_Client& client)
{
    std::vector<char> buffer(static_cast<size_t>(kEventBufferSize), '\0');
    // Keeps its room from one event to the next.
    std::string document;
    for (;;) {
        if (g_worker_stop)
            return EventLoopEnd::Stopped;
        if (client.TakeConnectionLost())
            return EventLoopEnd::LinkLost;
        log_message(kLogVerbose, ".");
        const int waited = client.WaitEvent(kEventWaitMs, worker_wake_handle());
        if (waited == MSC_WAIT_TIMEOUT)
            continue;
        if (waited == MSC_USER_HANDLE_SIGNALED) {
            // A stop or a report on the link, looked at above. The flags are
            // set before the event, so clearing it here loses neither.
            platform::reset_event(wake_event());
            continue;
        }
        if (waited != MSC_OK)
            return EventLoopEnd::WaitFailed;
        if (g_worker_stop || !read_events(client, buffer, document))
            return EventLoopEnd::Stopped;
    }
}

intptr_t worker_wake_handle()
{
    // 0 stands for no handle at the library's interface.
    const platform::WaitHandle event = wake_event();
    return event > 0 ? static_cast<intptr_t>(event) : 0;
}

void stop_station_worker(std::thread& worker)
{
    g_worker_stop = true;
    platform::set_event(wake_event());
    {
        std::unique_lock<std::mutex> lock(g_client_mutex);
        // A client registered after this first look is registered after the
        // flag was set, which the worker tests before its first call.
        do {
            if (g_active_client != nullptr)
                g_active_client->Close();
        } while (!g_client_released.wait_for(lock, kStopCloseInterval, [] { return g_active_client == nullptr; }));
    }
    if (worker.joinable())
        worker.join();
}

void station_worker()
{
    // Left set by an earlier worker's stop; this one tests the flag first.
    platform::reset_event(wake_event());
    // Each worker learns from its first load what the clients are shown.
    g_sent_levels.clear();
    try {
        CMSC_ClientProxy proxy;
        if (!proxy.Load("Ardentis.dll")) {
            log_message(kLogError, "CMSC init failed\n");
            log_message(kLogError, "%s\n", proxy.GetLoadFailure().c_str());
            return;
        }
        std::unique_ptr<CMSC_Client> client = proxy.CreateClient();
        if (!client) {
            log_message(kLogError, "CMSC client creation failed");
            proxy.Unload();
            return;
        }
        client->SetLinkReportEvent(worker_wake_handle());
        {
            const ActiveClient active(*client);
            while (!g_worker_stop) {
                // A cycle that throws (an update that finds no memory, say)
                // ends as any other: closed, paused and begun again.
                try {
                    // Reports made before this cycle's connection are no news to it.
                    client->ClearLinkReports();
                    run_cycle(*client);
                } catch (const std::exception& e) {
                    log_cycle_failure(e.what());
                } catch (...) {
                    log_cycle_failure("unknown exception");
                }
                // Also after a failed open.
                if (client->Close() != MSC_OK)
                    log_message(kLogError, "Disconnection failed (%s)\n", last_error(*client).c_str());
                if (g_worker_stop)
                    break;
                pause_before_reconnect();
                log_message(kLogError, "Reconnect to Korvel server\n");
            }
        }
        client.reset();
        proxy.Unload();
    } catch (const std::exception& e) {
        // Nothing may escape the thread; the service goes on serving what it has.
        log_message(kLogError, "station worker ended: %s\n", e.what());
    }
}

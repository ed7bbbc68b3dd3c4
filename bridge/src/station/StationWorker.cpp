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

std::function<void(std::chrono::milliseconds)>& reconnect_pause()
{
    static std::function<void(std::chrono::milliseconds)> pause;
    return pause;
}

// Manual-reset: once set, every later wait of the worker ends at once.
platform::WaitHandle stop_event()
{
    static const platform::WaitHandle event = platform::create_event(true, false);
    return event;
}

void pause_before_reconnect()
{
    if (reconnect_pause())
        reconnect_pause()(kReconnectPause);
    else if (stop_event() != platform::kInvalidWaitHandle)
        platform::wait_for_single(stop_event(), static_cast<uint32_t>(kReconnectPause.count()));
    else
        std::this_thread::sleep_for(kReconnectPause);
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

std::map<ElementPath, int32_t> snapshot_levels()
{
    std::map<ElementPath, int32_t> levels;
    std::lock_guard<std::mutex> lock(g_model_mutex);
    for_each_element([&](const ElementPath& path, const KorvelElementPtr& element) {
        levels.emplace(path, element->StateLevel);
    });
    return levels;
}

// Sends an update for every element that was in the tree before the reload
// with another level: events of the time the link was down are never
// delivered, so the clients would keep showing levels that no longer hold.
void broadcast_reload_changes(const std::map<ElementPath, int32_t>& before)
{
    std::vector<std::pair<KorvelElementPtr, uint8_t>> changed;
    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        for_each_element([&](const ElementPath& path, const KorvelElementPtr& element) {
            const auto old = before.find(path);
            if (old != before.end() && old->second != element->StateLevel)
                changed.emplace_back(element, std::get<0>(path));
        });
    }
    // The list mutex is never taken under the model mutex.
    for (const auto& update : changed)
        broadcast_update(update.first, update.second);
}

// Fetches one object with its sensors and puts it into its group.
void load_object(CMSC_Client& client, int32_t id)
{
    std::string text;
    if (client.GetObjectByID(id, text) != MSC_OK) {
        log_message(kLogInfo, "GetObjectByID (%i) failed (%s)\n", id, last_error(client).c_str());
        return;
    }
    ElementMap objects;
    if (!parse_element_list(text, "objectlist", objects) || objects.empty() || objects.begin()->first != id) {
        log_message(kLogInfo, "Object %i info could not be parsed\n", id);
        return;
    }
    const KorvelElementPtr object = objects.begin()->second;
    object->StateLevel = object_level_from_state(object->State);

    std::string sensors;
    if (client.GetObjectSensors(id, sensors) != MSC_OK) {
        log_message(kLogInfo, "GetObjectSensors (%i) failed (%s)\n", id, last_error(client).c_str());
        return;
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
}

// Fills the group elements from their documents; a group that cannot be
// fetched or read leaves the tree with its objects.
void load_groups(CMSC_Client& client)
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
}

// Loads the tree over the existing group map. False when the object list
// cannot be fetched; the cycle then skips its event loop.
bool load_tree(CMSC_Client& client)
{
    const std::map<ElementPath, int32_t> before = snapshot_levels();
    std::vector<int32_t> ids;
    if (client.GetObjectList(ids) != MSC_OK) {
        // A query the stop ended is no fault of the station's.
        if (!g_worker_stop)
            log_message(kLogError, "GetObjectList failed (%s)\n", last_error(client).c_str());
        return false;
    }
    for (const int32_t id : ids) {
        if (g_worker_stop)
            return false;
        load_object(client, id);
    }
    load_groups(client);
    broadcast_reload_changes(before);
    return true;
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

// One connection cycle on an opened client.
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
    if (load_tree(client))
        event_loop(client);
}

} // namespace

void set_reconnect_pause_for_tests(std::function<void(std::chrono::milliseconds)> pause)
{
    reconnect_pause() = std::move(pause);
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
            for (const KorvelElementPtr& sensor : changed)
                broadcast_update(sensor, LEVEL_SENSOR);
            // The document is converted only for a line that is written.
            if (changed.empty() && kLogVerbose <= verbosity)
                log_message(kLogVerbose, "Unprocessed sensor events received: \n%s\n", station_text(text).c_str());
        } else if (event->Type == EVENT_TYPE_OBJECT) {
            KorvelElementPtr changed_element;
            if (apply_object_event(*event, changed_element, true)) {
                BRIDGE_ASSERT(changed_element);
                broadcast_update(changed_element, LEVEL_OBJECT);
            } else if (kLogVerbose <= verbosity) {
                log_message(kLogVerbose, "Unprocessed object event received: \n%s\n", station_text(text).c_str());
            }
        }
    }
}

void event_loop(CMSC_Client& client)
{
    std::vector<char> buffer(static_cast<size_t>(kEventBufferSize), '\0');
    // Keeps its room from one event to the next.
    std::string document;
    for (;;) {
        if (g_worker_stop)
            return;
        // Checked only with the queue drained, so the events read before the
        // loss are applied before the tree is loaded afresh.
        if (client.ConnectionLost()) {
            log_message(kLogError, "Connection to Korvel server lost\n");
            return;
        }
        log_message(kLogVerbose, ".");
        const int waited = client.WaitEvent(kEventWaitMs, worker_stop_handle());
        if (waited == MSC_WAIT_TIMEOUT)
            continue;
        if (waited != MSC_OK || g_worker_stop)
            return;
        for (;;) {
            buffer[0] = '\0';
            if (client.ReadEvent(buffer.data(), kEventBufferSize) != MSC_OK)
                break;
            const size_t length = strnlen(buffer.data(), buffer.size());
            // The library cuts a longer text to the buffer without telling.
            if (length + 1 >= buffer.size())
                log_message(kLogError, "Event document cut to %i bytes\n", static_cast<int>(length));
            document.assign(buffer.data(), length);
            apply_event_document(document);
            if (g_worker_stop)
                return;
        }
    }
}

intptr_t worker_stop_handle()
{
    // 0 stands for no handle at the library's interface.
    const platform::WaitHandle event = stop_event();
    return event > 0 ? static_cast<intptr_t>(event) : 0;
}

void stop_station_worker(std::thread& worker)
{
    g_worker_stop = true;
    platform::set_event(stop_event());
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
    platform::reset_event(stop_event());
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
        {
            const ActiveClient active(*client);
            while (!g_worker_stop) {
                // A cycle that throws (an update that finds no memory, say)
                // ends as any other: closed, paused and begun again.
                try {
                    // A loss reported before this cycle's connection is no news to it.
                    client->ClearConnectionLost();
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

// The station worker against the scripted stand-in library: the worker runs on
// the test's own thread, and the script ends it by setting the stop flag.

#include "station/StationWorker.h"

#include "FakeArdentisLibrary.h"
#include "LinkTestClient.h"
#include "model/ElementModel.h"
#include "model/ElementRecord.h"
#include "model/EventDictionary.h"
#include "service/ServiceProgram.h"
#include "StationDocuments.h"
#include "support/BridgeLog.h"
#include "support/ConnectionSettings.h"
#include "testsupport/ChildProcess.h"
#include "testsupport/WaitUntil.h"
#include "vms/UpdateFanOut.h"
#include "vms/VmsServer.h"

#include "platform/Event.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using testsupport::document;
using testsupport::read_file;
using testsupport::record;

namespace {

std::string object_doc(int32_t id, int32_t group, int32_t state, const std::string& name = "object")
{
    return document("objectlist", {record("object", {{"ID", std::to_string(id)},
                                                     {"Type", "1"},
                                                     {"Name", name},
                                                     {"Group", std::to_string(group)},
                                                     {"ObjectID", std::to_string(id)},
                                                     {"State", std::to_string(state)},
                                                     {"Number", std::to_string(id % 1000)}})});
}

struct Sensor
{
    int32_t id;
    int32_t number;
    int32_t state;
};

std::string sensor_record(const Sensor& s)
{
    return record("sensor", {{"ID", std::to_string(s.id)},
                             {"Type", "4"},
                             {"Name", "sensor " + std::to_string(s.number)},
                             {"ObjectID", "0"},
                             {"State", std::to_string(s.state)},
                             {"Number", std::to_string(s.number)}});
}

std::string sensors_doc(const std::vector<Sensor>& sensors)
{
    std::vector<std::string> records;
    for (const Sensor& s : sensors)
        records.push_back(sensor_record(s));
    return document("sensorlist", records);
}

std::string group_doc(int32_t id, const std::string& name)
{
    return document("objectgrouplist", {record("objectgroup", {{"ID", std::to_string(id)},
                                                               {"Name", name},
                                                               {"Number", std::to_string(id)}})});
}

struct Event
{
    int32_t type;
    int32_t sub_type;
    int32_t group;
    int32_t object;
    int32_t sensor_number;
};

std::string events_doc(const std::vector<Event>& events)
{
    std::vector<std::string> records;
    int32_t id = 1;
    for (const Event& e : events) {
        records.push_back(record("event", {{"ID", std::to_string(id++)},
                                           {"Type", std::to_string(e.type)},
                                           {"SubType", std::to_string(e.sub_type)},
                                           {"DeviceID", "0"},
                                           {"ObjectID", std::to_string(e.object)},
                                           {"SensorNumber", std::to_string(e.sensor_number)},
                                           {"ObjectGroupID", std::to_string(e.group)},
                                           {"ObjectState", "0"}}));
    }
    return document("eventlist", records);
}

// The document with a comment field added to its first event.
std::string with_comment(std::string text, const std::string& comment)
{
    text.insert(text.find("</event>"), "\t\t<var name=\"Comment\">" + comment + "</var>\r\n");
    return text;
}

// The station's lists as the library answers its queries; a query for an id
// without a document fails.
struct StationScript
{
    bool object_list_fails = false;
    std::vector<int32_t> object_ids;
    std::map<int32_t, std::string> objects;
    std::map<int32_t, std::string> sensors;
    std::map<int32_t, std::string> groups;

    int32_t Answer(int32_t command, const void* input, int32_t inputSize, void* output, int32_t outputSize,
                   int32_t* outLength) const
    {
        if (command == MSC_IOCTL_GET_OBJECT_IDS) {
            if (object_list_fails || static_cast<size_t>(outputSize) < 4 * object_ids.size())
                return MSC_ERROR;
            std::memcpy(output, object_ids.data(), 4 * object_ids.size());
            *outLength = static_cast<int32_t>(4 * object_ids.size());
            return MSC_OK;
        }
        if (inputSize != 4)
            return MSC_BAD_ARGUMENT;
        int32_t id = 0;
        std::memcpy(&id, input, 4);
        const std::map<int32_t, std::string>* table = nullptr;
        if (command == MSC_IOCTL_GET_OBJECT_BY_ID)
            table = &objects;
        else if (command == MSC_IOCTL_GET_OBJECT_SENSORS)
            table = &sensors;
        else if (command == MSC_IOCTL_GET_GROUP_BY_ID)
            table = &groups;
        if (table == nullptr || table->count(id) == 0)
            return MSC_ERROR;
        // Cut to the block, the full length + 1 reported, as the library does.
        const std::string& text = table->at(id);
        const size_t n = std::min(text.size(), static_cast<size_t>(outputSize) - 1);
        std::memcpy(output, text.data(), n);
        static_cast<char*>(output)[n] = '\0';
        *outLength = static_cast<int32_t>(text.size() + 1);
        return MSC_OK;
    }
};

KorvelElementPtr find_element(int32_t group, int32_t object = -1, int32_t sensor = -1)
{
    std::lock_guard<std::mutex> lock(g_model_mutex);
    const auto g = g_group_map.find(group);
    if (g == g_group_map.end())
        return nullptr;
    if (object < 0)
        return g->second;
    const auto o = g->second->children.find(object);
    if (o == g->second->children.end())
        return nullptr;
    if (sensor < 0)
        return o->second;
    const auto s = o->second->children.find(sensor);
    return s == o->second->children.end() ? nullptr : s->second;
}

int level_of(int32_t group, int32_t object = -1, int32_t sensor = -1)
{
    const KorvelElementPtr e = find_element(group, object, sensor);
    if (!e)
        return -100;
    std::lock_guard<std::mutex> lock(g_model_mutex);
    return e->StateLevel;
}

size_t count_of(const std::string& haystack, const std::string& needle)
{
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
        ++count;
    return count;
}

class StationWorkerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved_log = log_path();
        set_log_path(m_library.folder() / "korvel-orvanta-client.log");
        verbosity = kLogVerbose;
        host = "station.test";
        port = 5000;
        login = "pelto";
        password = "secret";
        g_worker_stop = false;
        clear_model();
        EventsDictionary = {{3, {{5, "Sensor restored"}, {2, "Sensor alarm"}}}};

        // A pause the test did not plan for ends the worker.
        set_reconnect_pause_for_tests([this](std::chrono::milliseconds pause) {
            m_pauses.push_back(pause);
            // A worker that keeps reconnecting ends all the same.
            if (m_pauses.size() >= 5)
                g_worker_stop = true;
            else if (m_on_pause)
                m_on_pause();
            else
                g_worker_stop = true;
        });
        set_link_restore_wait_for_tests(std::chrono::milliseconds(100));
        state().ioctrl = [this](int32_t command, const void* input, int32_t inputSize, void* output,
                                int32_t outputSize, int32_t* outLength) {
            if (m_on_query && !m_on_query(command))
                return static_cast<int32_t>(MSC_ERROR);
            return m_station.Answer(command, input, inputSize, output, outputSize, outLength);
        };
        // Each wait runs the next step of the script; once it is used up, the
        // service stops and the wait times out.
        state().waitEvent = [this](uint32_t, intptr_t) {
            if (m_waits.empty()) {
                g_worker_stop = true;
                return static_cast<int32_t>(MSC_WAIT_TIMEOUT);
            }
            const std::function<int32_t()> step = m_waits.front();
            m_waits.pop_front();
            return step();
        };
        state().readEvent = [this](char* buffer, int32_t size) {
            if (m_events.empty())
                return static_cast<int32_t>(MSC_NO_EVENT);
            const std::string text = m_events.front();
            m_events.pop_front();
            const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
            std::memcpy(buffer, text.data(), n);
            buffer[n] = '\0';
            if (m_after_read)
                m_after_read();
            return static_cast<int32_t>(MSC_OK);
        };
    }

    void TearDown() override
    {
        stop_vms_server();
        set_reconnect_pause_for_tests(nullptr);
        set_link_restore_wait_for_tests();
        g_worker_stop = false;
        clear_model();
        EventsDictionary.clear();
        reset_config();
        set_log_path(m_saved_log);
    }

    static void clear_model()
    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        g_group_map.clear();
    }

    FakeArdentisState& state() { return m_library.state; }
    std::string log() const { return read_file(m_library.folder() / "korvel-orvanta-client.log"); }

    size_t calls_of(const std::string& name, int32_t command = -1)
    {
        size_t n = 0;
        for (const FakeArdentisCall& call : state().calls)
            n += call.name == name && (command < 0 || call.command == command) ? 1 : 0;
        return n;
    }

    // The library's report on the station link, as its worker thread makes it.
    void report_link(int32_t code) { state().callback(state().instances.at(0), code, nullptr, 0, 0, 0, 0); }
    void link_lost_and_back()
    {
        report_link(MSC_NOTIFY_DISCONNECTED);
        report_link(MSC_NOTIFY_CONNECTED);
    }

    // A wait that delivers the documents.
    void wait_delivers(std::vector<std::string> documents)
    {
        m_waits.push_back([this, documents]() {
            m_events.insert(m_events.end(), documents.begin(), documents.end());
            return static_cast<int32_t>(MSC_OK);
        });
    }

    // One group 10 ("Склад" in Windows-1251) holding object 100 with three sensors.
    void script_small_station(int32_t object_state = 5, int32_t sensor_state = 3)
    {
        m_station.object_ids = {100};
        m_station.objects[100] = object_doc(100, 10, object_state);
        m_station.sensors[100] = sensors_doc({{1001, 1, sensor_state}, {1002, 2, sensor_state}, {1003, 3, 13}});
        m_station.groups[10] = group_doc(10, "\xD1\xEA\xEB\xE0\xE4");
    }

    // A video client logged in and holding the state, before the worker runs.
    void connect_video_client()
    {
        local_port = 0;
        ASSERT_TRUE(start_vms_server()) << log();
        ASSERT_TRUE(m_client.Connect(vms_server_port()));
        ASSERT_TRUE(m_client.Login(login, password));
        ASSERT_TRUE(m_client.SendFrame(LINK_GET_STATE));
        LinkFrameReader::Frame frame;
        ASSERT_EQ(m_client.ReadFrame(frame), LinkTestClient::Read::Frame);
        ASSERT_EQ(frame.command, LINK_STATE);
    }

    using Updates = std::vector<std::pair<int32_t, int>>;
    // Every update the client has been sent, as (ID, level), up to a marker.
    Updates updates_sent()
    {
        auto marker = std::make_shared<KorvelElement>();
        marker->ID = 77777;
        broadcast_update(marker, LEVEL_SENSOR);
        Updates received;
        for (;;) {
            LinkFrameReader::Frame frame;
            size_t offset = 0;
            ElementRecord r;
            if (m_client.ReadFrame(frame) != LinkTestClient::Read::Frame || frame.command != LINK_UPDATE
                || !read_element_record(frame.payload.data(), frame.payload.size(), offset, r)) {
                ADD_FAILURE() << "no update up to the marker";
                return received;
            }
            if (r.ID == marker->ID)
                return received;
            received.emplace_back(r.ID, r.StateLevel);
        }
    }

    FakeArdentisLibrary m_library;
    LinkTestClient m_client;
    StationScript m_station;
    std::deque<std::function<int32_t()>> m_waits;
    std::deque<std::string> m_events;
    std::function<void()> m_after_read;
    std::function<void()> m_on_pause;
    // Before each query; false fails it.
    std::function<bool(int32_t command)> m_on_query;
    std::vector<std::chrono::milliseconds> m_pauses;
    std::string m_saved_log;
};

TEST_F(StationWorkerTest, LoadsObjectsSensorsAndGroupsWithTheirLevels)
{
    m_station.object_ids = {100, 101, 102, 200, 201, 300, 400, 401, 500};
    // Object levels from the state word: unguarded bits give 0, any other
    // non-zero state 1, state 0 gives 0.
    m_station.objects[100] = object_doc(100, 10, 0x100000);
    m_station.objects[101] = object_doc(101, 10, 5);
    m_station.objects[102] = object_doc(102, 10, 0);
    m_station.objects[200] = object_doc(200, 20, 5); // its sensors cannot be fetched
    m_station.objects[201] = object_doc(201, 10, 5); // its sensor list breaks off
    m_station.objects[300] = object_doc(300, 30, 5); // its group cannot be fetched
    // 400 cannot be fetched at all; 401 answers with another object.
    m_station.objects[401] = object_doc(402, 10, 5);
    m_station.objects[500] = object_doc(500, 50, 5); // its group document is broken

    // Sensor levels from the low four bits of the state word.
    m_station.sensors[100] = sensors_doc({{1001, 1, 0x10D}, {1002, 2, 1}, {1003, 3, 3}});
    m_station.sensors[101] = sensors_doc({});
    m_station.sensors[102] = sensors_doc({{1021, 1, 9}});
    m_station.sensors[201] = document(
        "sensorlist", {sensor_record({2011, 1, 2}), record("sensor", {{"ID", "2012"}, {"State", "4294967296"}})});
    m_station.sensors[300] = sensors_doc({{3001, 1, 0}});
    m_station.sensors[500] = sensors_doc({{5001, 1, 0}});
    m_station.groups[10] = group_doc(10, "\xD1\xEA\xEB\xE0\xE4");
    m_station.groups[50] = "<objectgrouplist><objectgroup>";
    state().lastError = "no answer";

    station_worker();

    EXPECT_EQ(level_of(10), 1);
    EXPECT_EQ(find_element(10)->Name, u8"Склад");
    struct Expected
    {
        int32_t object;
        int32_t sensor;
        int level;
    };
    const Expected expected[] = {
        {100, -1, 0}, {100, 1001, 0}, {100, 1002, 2}, {100, 1003, 1}, {101, -1, 1}, {102, -1, 0},
        {102, 1021, 1}, {201, -1, 1}, {201, 2011, 2},
    };
    for (const Expected& e : expected)
        EXPECT_EQ(level_of(10, e.object, e.sensor), e.level) << e.object << "/" << e.sensor;
    EXPECT_EQ(find_element(10, 201)->children.size(), 1u);
    EXPECT_EQ(find_element(10, 100, 1002)->Group, 10) << "sensors take their object's group";
    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        std::set<int32_t> groups, objects;
        for (const auto& g : g_group_map) {
            groups.insert(g.first);
            for (const auto& o : g.second->children)
                objects.insert(o.first);
        }
        EXPECT_EQ(groups, (std::set<int32_t>{10}));
        EXPECT_EQ(objects, (std::set<int32_t>{100, 101, 102, 201}));
    }

    const std::string text = log();
    for (const char* line : {
             "Successfully connected to Korvel server station.test:5000\n",
             "GetObjectByID (400) failed (no answer)\n",
             "Object 401 info could not be parsed\n",
             "GetObjectSensors (200) failed (no answer)\n",
             "Sensors for object 201 could not be parsed\n",
             "GetObjetGroupByID (id=30) failed (no answer)\nUnable to parse Group info:\n\n",
             "Unable to parse Group info:\n<objectgrouplist><objectgroup>\n",
         })
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n--- log:\n" << text;
    // The first load sends no updates: nothing was shown before it.
    EXPECT_EQ(text.find("send update"), std::string::npos) << text;
    // The service stopped in the event loop: closed, no pause, nothing left loaded.
    EXPECT_TRUE(m_pauses.empty());
    EXPECT_EQ(text.find("Reconnect to Korvel server"), std::string::npos);
    EXPECT_EQ(state().unloads, 1);
    const std::vector<std::string> names = state().callNames();
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()),
              (std::vector<std::string>{"msc_Close", "msc_Close", "msc_Finalize"}));
}


TEST_F(StationWorkerTest, ObjectReloadedInALaterCycleReplacesTheEarlierOne)
{
    script_small_station();
    // Loaded earlier: an object the station no longer lists stays.
    auto group = std::make_shared<KorvelElement>();
    auto old_object = std::make_shared<KorvelElement>();
    auto gone = std::make_shared<KorvelElement>();
    group->ID = 10;
    group->children[100] = old_object;
    group->children[999] = gone;
    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        g_group_map[10] = group;
    }
    station_worker();
    EXPECT_EQ(find_element(10), group) << "groups are updated in place";
    EXPECT_NE(find_element(10, 100), old_object);
    EXPECT_EQ(find_element(10, 100)->children.size(), 3u);
    EXPECT_EQ(find_element(10, 999), gone);
}

TEST_F(StationWorkerTest, FailedObjectListSkipsTheEventLoopAndReconnects)
{
    m_station.object_list_fails = true;
    state().lastError = "list refused";
    station_worker();
    const std::string text = log();
    EXPECT_NE(text.find("GetObjectList failed (list refused)\n"), std::string::npos) << text;
    EXPECT_EQ(calls_of("msc_WaitEvent"), 0u);
    EXPECT_EQ(m_pauses, (std::vector<std::chrono::milliseconds>{kReconnectPause}));
    // The pause ended with the stop flag set: the line is written, no new cycle begins.
    EXPECT_NE(text.find("Reconnect to Korvel server\n"), std::string::npos);
    EXPECT_EQ(calls_of("msc_Open"), 1u);
}

TEST_F(StationWorkerTest, FailedOpenIsClosedAndRetriedAfterThePause)
{
    script_small_station();
    state().openResult = MSC_ERROR;
    state().closeResult = MSC_ERROR;
    state().lastError = "no route";
    m_on_pause = [this]() {
        state().openResult = MSC_OK;
        state().closeResult = MSC_OK;
    };
    station_worker();

    const std::string text = log();
    const size_t failed = text.find("Could not create connection to station.test:5000, ret = 1 (no route)\n");
    const size_t disconnect = text.find("Disconnection failed (no route)\n");
    const size_t reconnect = text.find("Reconnect to Korvel server\n");
    const size_t connected = text.find("Successfully connected to Korvel server station.test:5000\n");
    ASSERT_NE(failed, std::string::npos) << text;
    ASSERT_NE(connected, std::string::npos) << text;
    EXPECT_LT(failed, disconnect);
    EXPECT_LT(disconnect, reconnect);
    EXPECT_LT(reconnect, connected);
    EXPECT_EQ(m_pauses.size(), 1u);
    EXPECT_EQ(calls_of("msc_Open"), 2u);
    // Closed after the failed open, after the second cycle, and by the client's end.
    EXPECT_EQ(calls_of("msc_Close"), 3u);
    EXPECT_EQ(level_of(10, 100), 1);
}

TEST_F(StationWorkerTest, BindingFailuresEndTheWorker)
{
    struct Case
    {
        const char* variant;
        int32_t create_result;
        std::string log;
        size_t finalizes;
    };
    const Case cases[] = {
        {KORVEL_FAKE_ARDENTIS_WITHOUT_MSC_GETINFO, MSC_OK, "CMSC init failed\nno export msc_GetInfo in ", 1},
        {KORVEL_FAKE_ARDENTIS_WHOLE, MSC_ERROR, "CMSC client creation failed", 1},
    };
    for (const Case& c : cases) {
        FakeArdentisLibrary library(c.variant);
        set_log_path(library.folder() / "korvel-orvanta-client.log");
        library.state.createResult = c.create_result;
        station_worker();
        EXPECT_EQ(read_file(library.folder() / "korvel-orvanta-client.log").substr(0, c.log.size()), c.log);
        const std::vector<std::string> names = library.state.callNames();
        EXPECT_EQ(std::count(names.begin(), names.end(), "msc_Finalize"), static_cast<long>(c.finalizes));
        EXPECT_EQ(std::count(names.begin(), names.end(), "msc_Open"), 0);
        EXPECT_EQ(library.state.loads, library.state.unloads);
    }
}

TEST_F(StationWorkerTest, EventsAreAppliedAndEachChangeBroadcast)
{
    script_small_station();
    m_station.object_ids = {100, 101};
    m_station.objects[101] = object_doc(101, 10, 5);
    m_station.sensors[101] = sensors_doc({{1011, 1, 3}, {1012, 2, 13}, {1013, 3, 1}});

    m_waits.push_back([]() { return static_cast<int32_t>(MSC_WAIT_TIMEOUT); });
    const std::string same_level = events_doc({{3, 5, 10, 100, 3}});
    wait_delivers({
        // Sensor 1 of object 100 goes to alarm, then the object to level 2
        // (the object subtype has no text in the dictionary).
        events_doc({{3, 2, 10, 100, 1}, {2, 22, 10, 100, 0}}),
        "not a document",
        // Sensor 3 is at level 0 already.
        same_level,
        // Every sensor of object 101 to alarm: the one at level 0 stays.
        events_doc({{3, 2, 10, 101, 0xFFFF}}),
        // A type the bridge does not act on.
        events_doc({{7, 1, 10, 100, 1}}),
    });
    wait_delivers({events_doc({{2, 6, 10, 101, 0}})});
    station_worker();

    EXPECT_EQ(level_of(10, 100, 1001), 2);
    EXPECT_EQ(level_of(10, 100), 2);
    EXPECT_EQ(level_of(10, 100, 1003), 0);
    EXPECT_EQ(level_of(10, 101, 1011), 2);
    EXPECT_EQ(level_of(10, 101, 1012), 0);
    EXPECT_EQ(level_of(10, 101, 1013), 2) << "already at 2, so not changed";
    EXPECT_EQ(level_of(10, 101), 1);

    const std::string text = log();
    const std::vector<std::string> updates = {
        "send update 2(3) level 3, group 10, object 1001, sensor 1\n",
        "send update 2(5) level 2, group 10, object 100, sensor 100\n",
        "send update 2(3) level 3, group 10, object 1011, sensor 1\n",
    };
    size_t at = 0;
    for (const std::string& update : updates) {
        at = text.find(update, at);
        EXPECT_NE(at, std::string::npos) << update << "\n--- log:\n" << text;
    }
    EXPECT_EQ(count_of(text, "send update"), updates.size()) << text;
    EXPECT_NE(text.find("event for group id 10, object object (id 100), sensor sensor 1 (1): Sensor alarm\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(count_of(text, "Unknown event type = 2, subtype = 22\n"), 1u);
    EXPECT_EQ(count_of(text, "Unknown event type = 7, subtype = 1\n"), 1u);
    EXPECT_NE(text.find("same state 0 for type 3, subtype 5\n"), std::string::npos);
    EXPECT_NE(text.find("Unprocessed sensor events received: \n" + same_level + "\n"), std::string::npos);
    EXPECT_NE(text.find("Unprocessed object event received: \n"), std::string::npos);
    // The timed-out wait, two deliveries, and the last one.
    EXPECT_EQ(calls_of("msc_WaitEvent"), 4u);
    EXPECT_TRUE(m_events.empty());
    for (const FakeArdentisCall& call : state().calls) {
        if (call.name == "msc_ReadEvent") {
            EXPECT_EQ(call.number, kEventBufferSize);
        }
    }
}

// A cycle that throws (an update that finds no memory, say) ends as one whose
// wait fails: closed, paused, connected and loaded again.
TEST_F(StationWorkerTest, FailedWaitOrAnExceptionEndsTheCycleAndTheTreeIsLoadedAgain)
{
    script_small_station();
    m_waits.push_back([]() -> int32_t { throw std::runtime_error("no memory for an update"); });
    m_waits.push_back([]() { return static_cast<int32_t>(MSC_NOT_CONNECTED); });
    m_on_pause = []() {};
    station_worker();
    EXPECT_EQ(m_pauses.size(), 2u);
    EXPECT_EQ(calls_of("msc_Open"), 3u);
    // Closed after each cycle and by the client's end.
    EXPECT_EQ(calls_of("msc_Close"), 4u);
    EXPECT_EQ(calls_of("msc_IOCtrl", MSC_IOCTL_GET_OBJECT_IDS), 3u);
    const std::string text = log();
    EXPECT_LT(text.find("station worker cycle ended: no memory for an update\n"),
              text.find("Reconnect to Korvel server\n"))
        << text;
}

TEST_F(StationWorkerTest, StopWhileReadingClosesWithoutThePause)
{
    script_small_station();
    wait_delivers({events_doc({{3, 2, 10, 100, 1}}), events_doc({{3, 2, 10, 100, 2}})});
    m_after_read = []() { g_worker_stop = true; };
    station_worker();
    // The first text is applied, the second stays queued.
    EXPECT_EQ(level_of(10, 100, 1001), 2);
    EXPECT_EQ(level_of(10, 100, 1002), 1);
    EXPECT_EQ(m_events.size(), 1u);
    EXPECT_TRUE(m_pauses.empty());
    EXPECT_EQ(log().find("Reconnect to Korvel server"), std::string::npos);
    EXPECT_EQ(state().unloads, 1);
}

TEST_F(StationWorkerTest, StopSeenAfterAWaitReadsNothing)
{
    script_small_station();
    m_waits.push_back([this]() {
        m_events.push_back(events_doc({{3, 2, 10, 100, 1}}));
        g_worker_stop = true;
        return static_cast<int32_t>(MSC_OK);
    });
    station_worker();
    EXPECT_EQ(calls_of("msc_ReadEvent"), 0u);
    EXPECT_TRUE(m_pauses.empty());
}

TEST_F(StationWorkerTest, LargeEventsFitAndADocumentFillingTheBufferIsReportedCut)
{
    script_small_station();
    // Far beyond the 32,000 bytes of old, well within the buffer.
    const std::string large = with_comment(events_doc({{3, 2, 10, 100, 1}}), std::string(600 * 1024, 'x'));
    const std::string too_large = with_comment(events_doc({{3, 2, 10, 100, 2}}), std::string(kEventBufferSize, 'y'));
    wait_delivers({large, too_large});
    station_worker();
    EXPECT_EQ(level_of(10, 100, 1001), 2);
    EXPECT_EQ(level_of(10, 100, 1002), 1) << "a cut document does not parse";
    const std::string text = log();
    EXPECT_EQ(count_of(text, "Event document cut to 1048575 bytes\n"), 1u) << text.substr(0, 2000);
}

// The library reports the station link lost and back: the tree is loaded anew on
// the same connection, every element whose level differs is sent to the video
// clients, and events are applied as events before and after.
TEST_F(StationWorkerTest, ALinkLostAndBackIsReloadedOnTheSameConnectionAndTheChangedLevelsSent)
{
    ASSERT_NO_FATAL_FAILURE(connect_video_client());
    script_small_station(5, 3);
    // Queued before the loss: applied before the tree is reloaded.
    wait_delivers({events_doc({{3, 2, 10, 100, 2}})});
    m_waits.push_back([this]() {
        // While the link is down, object 100 is unguarded and sensor 1 restored.
        m_station.objects[100] = object_doc(100, 10, 0x200005);
        m_station.sensors[100] = sensors_doc({{1001, 1, 13}, {1002, 2, 2}, {1003, 3, 13}});
        link_lost_and_back();
        return static_cast<int32_t>(MSC_WAIT_TIMEOUT);
    });
    // An alarm of sensor 1 queued while the reload runs, read after it.
    m_on_query = [this](int32_t command) {
        if (command == MSC_IOCTL_GET_GROUP_BY_ID && calls_of("msc_IOCtrl", MSC_IOCTL_GET_OBJECT_IDS) == 2)
            m_events.push_back(events_doc({{3, 2, 10, 100, 1}}));
        return true;
    };
    m_waits.push_back([]() { return static_cast<int32_t>(MSC_OK); });
    station_worker();

    EXPECT_EQ(calls_of("msc_IOCtrl", MSC_IOCTL_GET_OBJECT_IDS), 2u);
    EXPECT_EQ(calls_of("msc_Open"), 1u);
    EXPECT_TRUE(m_pauses.empty());
    EXPECT_NE(log().find("Connection to Korvel server lost\nConnection to Korvel server restored\n"), std::string::npos)
        << log();
    EXPECT_EQ(level_of(10, 100), 0);

    // The event's update for sensor 2, then the reload's: object 100 (1 to 0) and
    // sensor 1 (1 to 0); sensor 2 was at 2 before and after, sensor 3 at 0; then
    // the event that came during the reload.
    EXPECT_EQ(updates_sent(), (Updates{{1002, 2}, {100, 0}, {1001, 0}, {1001, 2}}));
}

// A cycle ends when an event's first update finds no memory; the next load
// sends the changes it left in the tree unsent.
TEST_F(StationWorkerTest, ChangesWhoseUpdatesFailedAreSentByTheNextLoad)
{
    ASSERT_NO_FATAL_FAILURE(connect_video_client());
    script_small_station(5, 3);
    m_waits.push_back([this]() {
        g_update_fan_out.FailNextPushesForTests(1);
        script_small_station(5, 2);
        m_events.push_back(events_doc({{3, 2, 10, 100, 0xFFFF}}));
        return static_cast<int32_t>(MSC_OK);
    });
    m_on_pause = []() {};
    station_worker();

    EXPECT_NE(log().find("station worker cycle ended: std::bad_alloc\n"), std::string::npos) << log();
    EXPECT_EQ(updates_sent(), (Updates{{1001, 2}, {1002, 2}}));
}

// A group that left the tree and comes back is sent the levels changed meanwhile.
TEST_F(StationWorkerTest, AGroupThatLeftTheTreeIsSentItsChangesWhenItComesBack)
{
    ASSERT_NO_FATAL_FAILURE(connect_video_client());
    script_small_station(5, 3);
    m_waits.push_back([this]() {
        m_station.groups.erase(10);
        link_lost_and_back();
        return static_cast<int32_t>(MSC_WAIT_TIMEOUT);
    });
    int level_while_gone = 0;
    m_waits.push_back([this, &level_while_gone]() {
        level_while_gone = level_of(10);
        script_small_station(0, 2);
        link_lost_and_back();
        return static_cast<int32_t>(MSC_WAIT_TIMEOUT);
    });
    station_worker();

    EXPECT_EQ(level_while_gone, -100) << "the group was out of the tree";
    EXPECT_EQ(updates_sent(), (Updates{{100, 0}, {1001, 2}, {1002, 2}}));
}

// Lost again while the reload runs: the reload breaks off, leaving what it has
// not reached (its groups) as they were, and runs once more on the next link;
// an event queued before that loss is applied before that load, not over it.
TEST_F(StationWorkerTest, ALinkLostDuringTheReloadIsReloadedAgainAndKeepsItsGroups)
{
    script_small_station();
    KorvelElementPtr group;
    int sensor_level = -1;
    m_waits.push_back([&]() {
        group = find_element(10);
        sensor_level = level_of(10, 100, 1001);
        return static_cast<int32_t>(MSC_WAIT_TIMEOUT);
    });
    m_waits.push_back([this]() {
        link_lost_and_back();
        return static_cast<int32_t>(MSC_USER_HANDLE_SIGNALED);
    });
    bool dropped = false;
    m_on_query = [&](int32_t command) {
        if (command != MSC_IOCTL_GET_GROUP_BY_ID || dropped || calls_of("msc_IOCtrl", MSC_IOCTL_GET_OBJECT_IDS) != 2)
            return true;
        dropped = true;
        m_events.push_back(events_doc({{3, 2, 10, 100, 1}}));
        link_lost_and_back();
        return false;
    };
    m_waits.push_back([]() { return static_cast<int32_t>(MSC_OK); });
    station_worker();

    EXPECT_EQ(calls_of("msc_IOCtrl", MSC_IOCTL_GET_OBJECT_IDS), 3u);
    EXPECT_EQ(calls_of("msc_Open"), 1u);
    EXPECT_TRUE(m_pauses.empty());
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(find_element(10), group) << "the group stayed in the tree";
    EXPECT_EQ(log().find("GetObjetGroupByID"), std::string::npos) << log();
    EXPECT_EQ(level_of(10, 100, 1001), sensor_level) << "as the last load found it";
}

// A link the library does not bring back ends the cycle as any other.
TEST_F(StationWorkerTest, ALinkThatDoesNotComeBackEndsTheCycleAndALossBetweenCyclesIsNotCounted)
{
    script_small_station();
    m_waits.push_back([this]() {
        report_link(MSC_NOTIFY_DISCONNECTED);
        return static_cast<int32_t>(MSC_WAIT_TIMEOUT);
    });
    // A loss reported between two cycles belongs to the closed one.
    m_on_pause = [this]() { report_link(MSC_NOTIFY_DISCONNECTED); };
    station_worker();
    EXPECT_EQ(calls_of("msc_Open"), 2u);
    EXPECT_EQ(m_pauses.size(), 1u);
    EXPECT_EQ(count_of(log(), "Connection to Korvel server lost\n"), 1u);
    EXPECT_NE(log().find("Connection to Korvel server not restored within 100 ms\nReconnect to Korvel server\n"),
              std::string::npos)
        << log();
}

// Stopped from another thread, as the service stops it: the wait ends on its
// extra handle at once, as the library's does, and nothing more is logged.
TEST_F(StationWorkerTest, AStopFromAnotherThreadEndsTheEventWaitAtOnce)
{
    script_small_station();
    std::atomic<bool> waiting{false};
    std::atomic<uint32_t> woken{0};
    state().waitEvent = [&](uint32_t timeout, intptr_t extra) {
        waiting = true;
        woken = platform::wait_for_single(static_cast<platform::WaitHandle>(extra), timeout);
        return static_cast<int32_t>(woken == platform::kWaitObject0 ? MSC_USER_HANDLE_SIGNALED : MSC_WAIT_TIMEOUT);
    };
    std::thread worker(station_worker);
    const bool in_wait = wait_until([&] { return waiting.load(); });
    stop_station_worker(worker);
    ASSERT_TRUE(in_wait);
    EXPECT_EQ(woken.load(), platform::kWaitObject0);
    EXPECT_EQ(state().unloads, 1);
    EXPECT_EQ(log(), "Successfully connected to Korvel server station.test:5000\n.");
}

} // namespace

// The binding with the built station library, found beside a pretended
// executable as the bridge finds it, against the in-process station simulator.

#include "model/StationListReader.h"
#include "RealArdentisLibrary.h"
#include "station/CMSC_Client.h"
#include "station/CMSC_ClientProxy.h"
#include "support/TextCodec.h"
#include "testsupport/WaitUntil.h"

#include "base/StringHelpers.h"
#include "ScriptedStation.h"
#include "wire/StationNotifyCode.h"

#include "platform/Event.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using stationsim::ScriptedStation;
using stationsim::StationSimulator;

constexpr char kLogin[] = "operator";
constexpr char kPassword[] = "secret";
constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\r\n";
constexpr uint32_t kWaitMs = 5000;
// The bridge's buffer for one event document.
constexpr int32_t kEventBufferSize = 32000;
// A fixed 64 KiB buffer, which large answers outgrow.
constexpr int32_t kFixedBufferSize = 65536;

// The station's texts are in the library's code page.
std::string ansi(const char* utf8)
{
    std::string text = utf8;
    utf8_to_ansi(text);
    return text;
}

std::string utf8(const std::string& ansiText)
{
    return to_utf8("Windows-1251", ansiText);
}

CMS_ObjectGroupData make_group(int32_t id, const char* name)
{
    CMS_ObjectGroupData group;
    group.ID = id;
    group.Number = id + 10;
    group.Name = ansi(name);
    return group;
}

CMS_ObjectData make_object(int32_t id, const char* name = "Объект")
{
    CMS_ObjectData object;
    object.ID = id;
    object.Number = id + 100;
    object.Group = 1;
    object.State = 2;
    object.Name = ansi(name);
    return object;
}

CMS_ObjectSensorData make_sensor(int32_t objectId, int32_t number, const std::string& name)
{
    CMS_ObjectSensorData sensor;
    sensor.ID = objectId * 1000 + number;
    sensor.ObjectID = objectId;
    sensor.Number = number;
    sensor.Type = 1;
    sensor.State = static_cast<uint8_t>(number % 4);
    sensor.Name = ansi(name.c_str());
    return sensor;
}

CMS_SimpleEventData make_sensor_event(int32_t id, int32_t objectId, int16_t sensorNumber)
{
    CMS_SimpleEventData event;
    event.ID = id;
    event.Type = 3;
    event.SubType = 1;
    event.ObjectID = objectId;
    event.ObjectGroupID = 1;
    event.SensorNumber = sensorNumber;
    return event;
}

class RealLibraryBindingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(simulator.Start());
        station.AddAccount(kLogin, kPassword);
        station.AddGroup(make_group(1, "Центральный пост"));
        ASSERT_TRUE(proxy.Load("Ardentis.dll"));
        client = proxy.CreateClient();
        ASSERT_NE(client, nullptr);
    }

    int Open(const char* password = kPassword)
    {
        return client->Open("127.0.0.1", simulator.GetPort(), kLogin, password);
    }

    // Reads what the queue holds into event records, as the station worker does.
    void ReadEvents(CMSC_Client& reader, KorvelEventList& events)
    {
        std::vector<char> buffer(kEventBufferSize);
        while (reader.ReadEvent(buffer.data(), kEventBufferSize) == MSC_OK) {
            const std::string text(buffer.data());
            EXPECT_TRUE(parse_event_list(text, events)) << text;
        }
    }

    // Gone in this order: the client, the library, the station, the folder.
    RealArdentisLibrary library;
    StationSimulator simulator;
    ScriptedStation station{simulator};
    CMSC_ClientProxy proxy;
    std::unique_ptr<CMSC_Client> client;
};

TEST_F(RealLibraryBindingTest, LoadsTheLibraryBesideTheExecutableAndCreatesInstances)
{
    EXPECT_TRUE(proxy.IsLoaded());
    const std::string info = utf8(proxy.GetInfoText());
    EXPECT_EQ(info.rfind(kDeclaration, 0), 0u) << info;
    EXPECT_NE(info.find("<var name=\"Name\">ArdentisLib</var>"), std::string::npos) << info;
    EXPECT_NE(info.find("<var name=\"Description\">Библиотека клиента ПЦН KORVEL</var>"), std::string::npos)
        << info;
    EXPECT_NE(info.find("<var name=\"Version\">5.2</var>"), std::string::npos) << info;

    // Handles count from 0; the instance keeps its settings in the host's folder.
    EXPECT_EQ(client->GetHandle(), 0);
    const std::unique_ptr<CMSC_Client> second = proxy.CreateClient();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->GetHandle(), 1);
    EXPECT_EQ(second->IsConnected(), MSC_NOT_CONNECTED);
    EXPECT_TRUE(std::filesystem::exists(library.folder() / "ardentis.ini"));
}

TEST_F(RealLibraryBindingTest, OpenLogsInAndCloseDisconnects)
{
    ASSERT_EQ(Open(), MSC_OK);
    EXPECT_EQ(client->IsConnected(), MSC_OK);
    EXPECT_EQ(simulator.GetOpenConnections(), 1u);

    EXPECT_EQ(client->Close(), MSC_OK);
    EXPECT_EQ(client->IsConnected(), MSC_NOT_CONNECTED);
    EXPECT_TRUE(simulator.WaitForOpenConnections(0, kWaitMs));
    // The worker closes again after a failed or ended cycle.
    EXPECT_EQ(client->Close(), MSC_OK);

    // The next cycle opens the same instance again.
    ASSERT_EQ(Open(), MSC_OK);
    EXPECT_EQ(client->GetHandle(), 0);
    EXPECT_EQ(simulator.GetAcceptedConnections(), 2u);

    // Deleting the client closes its connection; the library stays loaded.
    client.reset();
    EXPECT_TRUE(simulator.WaitForOpenConnections(0, kWaitMs));
    EXPECT_TRUE(proxy.IsLoaded());
}

TEST_F(RealLibraryBindingTest, UnboundOrStaleHandlesNeverReachAStation)
{
    std::vector<int32_t> ids{-7};
    std::string text = "untouched";

    // Open passes a handle of -1 on and gets the library's answer; the rest stop short.
    CMSC_Client unbound(&proxy);
    EXPECT_EQ(unbound.Open("127.0.0.1", simulator.GetPort(), kLogin, kPassword), MSC_BAD_HANDLE);
    EXPECT_EQ(unbound.Close(), -1);
    EXPECT_EQ(unbound.GetObjectList(ids), -1);
    EXPECT_EQ(unbound.GetObjectByID(1, text), -1);
    EXPECT_EQ(unbound.GetLastError(), "");

    // A handle the library never gave out is refused by the library itself.
    CMSC_Client stale(&proxy, 7);
    EXPECT_EQ(stale.Open("127.0.0.1", simulator.GetPort(), kLogin, kPassword), MSC_BAD_HANDLE);
    EXPECT_EQ(stale.IsConnected(), MSC_BAD_HANDLE);
    EXPECT_EQ(stale.WaitEvent(0), MSC_BAD_HANDLE);
    EXPECT_EQ(stale.GetObjectList(ids), MSC_BAD_HANDLE);
    EXPECT_EQ(stale.GetObjectSensors(1, text), MSC_BAD_HANDLE);
    EXPECT_EQ(stale.GetLastError(), "");

    EXPECT_EQ(ids, std::vector<int32_t>{-7});
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(simulator.GetAcceptedConnections(), 0u);
}

TEST_F(RealLibraryBindingTest, LastErrorCarriesTheReasonOfAFailure)
{
    // A refused login: the station's own text, in the library's code page.
    EXPECT_EQ(Open("wrong"), MSC_NOT_CONNECTED);
    EXPECT_NE(utf8(client->GetLastError()).find("Неверное имя пользователя или пароль"), std::string::npos)
        << utf8(client->GetLastError());
    EXPECT_EQ(client->Close(), MSC_OK);

    // No station at all.
    StationSimulator gone;
    ASSERT_TRUE(gone.Start());
    const int32_t closedPort = gone.GetPort();
    gone.Stop();
    EXPECT_EQ(client->Open("127.0.0.1", closedPort, kLogin, kPassword), MSC_NOT_CONNECTED);
    const std::string unreachable = client->GetLastError();
    EXPECT_FALSE(unreachable.empty());
    EXPECT_EQ(utf8(unreachable).find("Неверное имя"), std::string::npos) << utf8(unreachable);
    EXPECT_EQ(client->Close(), MSC_OK);

    // A refused query fails, leaves the caller's text and tells why.
    station.AddObject(make_object(1));
    station.RefuseSensorsOf(1, ansi("Объект 1 недоступен"));
    ASSERT_EQ(Open(), MSC_OK);
    std::string text = "untouched";
    EXPECT_EQ(client->GetObjectSensors(1, text), MSC_ERROR);
    EXPECT_EQ(text, "untouched");
    EXPECT_NE(utf8(client->GetLastError()).find("Объект 1 недоступен"), std::string::npos)
        << utf8(client->GetLastError());
}


TEST_F(RealLibraryBindingTest, MoreIdentifiersThanAFixedBufferHolds)
{
    // 20,000 identifiers need 80,000 bytes.
    constexpr int32_t kObjects = 20000;
    for (int32_t id = 1; id <= kObjects; ++id)
        station.AddObject(make_object(id));
    ASSERT_EQ(Open(), MSC_OK);

    std::vector<int32_t> fixed(kFixedBufferSize / 4);
    int32_t outLength = -1;
    EXPECT_EQ(client->IOCtrl(MSC_IOCTL_GET_OBJECT_IDS, nullptr, 0, fixed.data(), kFixedBufferSize, &outLength),
              MSC_ERROR);
    EXPECT_EQ(outLength, 0);

    std::vector<int32_t> ids;
    ASSERT_EQ(client->GetObjectList(ids), MSC_OK);
    ASSERT_EQ(ids.size(), static_cast<size_t>(kObjects));
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids.front(), 1);
    EXPECT_EQ(ids.back(), kObjects);
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
}


TEST_F(RealLibraryBindingTest, SensorsOfAnObjectComeWholeAlsoPastAFixedBuffer)
{
    const struct
    {
        int32_t objectId;
        int32_t sensors;
        size_t nameLength;
    } cases[] = {
        {1, 3, 0},
        // Several hundred sensors with long names: a document of well over 64 KiB.
        {2, 400, 120},
    };
    for (const auto& c : cases) {
        station.AddObject(make_object(c.objectId));
        for (int32_t number = 1; number <= c.sensors; ++number)
            station.AddSensor(make_sensor(c.objectId, number,
                                          "Датчик " + std::to_string(number) + std::string(c.nameLength, '+')));
    }
    ASSERT_EQ(Open(), MSC_OK);

    for (const auto& c : cases) {
        SCOPED_TRACE("object " + std::to_string(c.objectId));
        std::string text;
        ASSERT_EQ(client->GetObjectSensors(c.objectId, text), MSC_OK);
        EXPECT_EQ(text.rfind(kDeclaration, 0), 0u);
        EXPECT_EQ(text.substr(text.size() - std::strlen("</sensorlist>\r\n")), "</sensorlist>\r\n");

        ElementMap sensors;
        ASSERT_TRUE(parse_element_list(text, "sensorlist", sensors));
        ASSERT_EQ(sensors.size(), static_cast<size_t>(c.sensors));
        for (int32_t number : {1, c.sensors}) {
            const KorvelElement& sensor = *sensors.at(c.objectId * 1000 + number);
            EXPECT_EQ(sensor.ObjectID, c.objectId);
            EXPECT_EQ(sensor.Number, number);
            EXPECT_EQ(sensor.State, number % 4);
            EXPECT_EQ(sensor.Name, "Датчик " + std::to_string(number) + std::string(c.nameLength, '+'));
        }

        // A fixed buffer gets the document cut, with its whole length reported.
        if (text.size() >= static_cast<size_t>(kFixedBufferSize)) {
            std::vector<char> fixed(kFixedBufferSize);
            int32_t outLength = 0;
            EXPECT_EQ(client->IOCtrl(MSC_IOCTL_GET_OBJECT_SENSORS, &c.objectId, 4, fixed.data(), kFixedBufferSize,
                                     &outLength),
                      MSC_OK);
            EXPECT_EQ(outLength, static_cast<int32_t>(text.size() + 1));
            EXPECT_EQ(std::string(fixed.data()), text.substr(0, kFixedBufferSize - 1));
        }
    }
    // The large case did outgrow the fixed buffer.
    std::string large;
    ASSERT_EQ(client->GetObjectSensors(2, large), MSC_OK);
    EXPECT_GT(large.size(), static_cast<size_t>(kFixedBufferSize));
}


TEST_F(RealLibraryBindingTest, EventsArriveThroughWaitEventAndReadEvent)
{
    station.AddObject(make_object(7));
    ASSERT_EQ(Open(), MSC_OK);
    EXPECT_EQ(client->WaitEvent(0), MSC_WAIT_TIMEOUT);

    ASSERT_EQ(station.NotifyEvent(make_sensor_event(900, 7, 2)), 1);
    ASSERT_EQ(station.NotifyEvent(make_sensor_event(901, 7, -1)), 1);
    KorvelEventList events;
    while (events.size() < 2) {
        ASSERT_EQ(client->WaitEvent(kWaitMs), MSC_OK);
        ReadEvents(*client, events);
    }
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]->ID, 900);
    EXPECT_EQ(events[0]->Type, 3);
    EXPECT_EQ(events[0]->SubType, 1);
    EXPECT_EQ(events[0]->ObjectID, 7);
    EXPECT_EQ(events[0]->ObjectGroupID, 1);
    EXPECT_EQ(events[0]->SensorNumber, 2);
    EXPECT_EQ(events[1]->ID, 901);
    // An int16 of -1 is written unsigned: the bridge's "all sensors".
    EXPECT_EQ(events[1]->SensorNumber, ALL_SENSORS);

    std::vector<char> buffer(kEventBufferSize, 'x');
    EXPECT_EQ(client->ReadEvent(buffer.data(), kEventBufferSize), MSC_NO_EVENT);
    EXPECT_EQ(buffer[0], 'x');

    // The bridge's own handle ends a wait too. A wake-up may stand for several
    // events, so one may still be pending for events already read: take it first.
    client->WaitEvent(0);
    const platform::WaitHandle extra = platform::create_event(true, true);
    ASSERT_NE(extra, platform::kInvalidWaitHandle);
    EXPECT_EQ(client->WaitEvent(kWaitMs, extra), MSC_USER_HANDLE_SIGNALED);
    platform::close_event(extra);
}

TEST_F(RealLibraryBindingTest, LostLinkReachesTheClientThroughTheCallback)
{
    ASSERT_EQ(Open(), MSC_OK);
    EXPECT_FALSE(client->ConnectionLost());

    simulator.CloseConnections();
    // The library reports it on its worker thread with the client's address as the
    // user value, and reconnects by itself.
    EXPECT_TRUE(wait_until([&] { return client->ConnectionLost(); }));
    EXPECT_TRUE(wait_until([&] { return simulator.GetAcceptedConnections() == 2; }));
    EXPECT_TRUE(wait_until([&] { return client->IsConnected() == MSC_OK; }));
}

TEST_F(RealLibraryBindingTest, NotificationsForADeletedClientAreDropped)
{
    const int32_t handle = client->GetHandle();
    client.reset();

    // The instance outlives its client and keeps calling back with the deleted
    // client's address. Opened again under another client, it hears of a record
    // and of a lost link.
    CMSC_Client again(&proxy, handle);
    ASSERT_EQ(again.Open("127.0.0.1", simulator.GetPort(), kLogin, kPassword), MSC_OK);

    // The worker handles the station's messages in order and calls back on its
    // own thread, so once an event sent after them is queued, those callbacks
    // have returned.
    ASSERT_EQ(station.NotifyObject(kNotifyObjectAdded, make_object(31)), 1);
    ASSERT_EQ(station.NotifyEvent(make_sensor_event(902, 31, 1)), 1);
    ASSERT_EQ(again.WaitEvent(kWaitMs), MSC_OK);
    std::string text;
    EXPECT_EQ(again.GetObjectByID(31, text), MSC_OK) << "the record notification was handled";

    simulator.CloseConnections();
    ASSERT_TRUE(wait_until([&] { return simulator.GetAcceptedConnections() == 2; }));
    ASSERT_TRUE(wait_until([&] { return again.IsConnected() == MSC_OK; }));
    ASSERT_EQ(station.NotifyEvent(make_sensor_event(903, 31, 1)), 1);
    ASSERT_EQ(again.WaitEvent(kWaitMs), MSC_OK);

    // The lost link went to the deleted client's address, not to the live client.
    EXPECT_FALSE(again.ConnectionLost());
    EXPECT_EQ(again.Close(), MSC_OK);
}

TEST_F(RealLibraryBindingTest, TextInCommandsReachTheLibraryWithTheirTerminator)
{
    station.AddObject(make_object(7));
    station.AddEvent(make_sensor_event(950, 7, 3));
    ASSERT_EQ(Open(), MSC_OK);

    // The library takes a text only when its block ends in the terminator.
    std::string list;
    ASSERT_EQ(client->GetEvents("ObjectID=7", list, kFixedBufferSize), MSC_OK);
    KorvelEventList events;
    ASSERT_TRUE(parse_event_list(list, events)) << list;
    EXPECT_EQ(events.front()->ID, 950);

    std::string document;
    ASSERT_EQ(client->GetObjectByID(7, document), MSC_OK);
    const std::string oldName = "<var name=\"Name\">" + ansi("Объект") + "</var>";
    const std::string newName = "<var name=\"Name\">" + ansi("Новый объект") + "</var>";
    ASSERT_NE(document.find(oldName), std::string::npos) << document;
    document.replace(document.find(oldName), oldName.size(), newName);

    int32_t newId = -1;
    ASSERT_EQ(client->AddObject(document, newId), MSC_OK);
    EXPECT_NE(newId, -1);
    bool added = false;
    for (const auto& object : station.GetObjects())
        added = added || (object->ID == newId && utf8(object->Name) == "Новый объект");
    EXPECT_TRUE(added);
}

} // namespace

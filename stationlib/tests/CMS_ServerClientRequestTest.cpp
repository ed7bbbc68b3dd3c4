// The station connection's requests, login and notifications against the
// scripted station on loopback. The simulator logs every request with its body
// unscrambled, so a body that arrives as expected was scrambled whole with the
// connection's key, and a code that arrives as expected travelled in clear.

#include "client/CMS_ServerClient.h"

#include "base/StringHelpers.h"
#include "client/CMS_HelperServer.h"
#include "connection/LanClientError.h"
#include "dictionaries/CMS_ConstAdapters.h"
#include "dictionaries/CMS_ConstDevices.h"
#include "dictionaries/LibraryGlobals.h"
#include "RecordBuilders.h"
#include "ScriptedStation.h"
#include "WaitableList.h"
#include "wire/CLanPacket.h"
#include "wire/CLanPacketHelper.h"
#include "wire/PayloadScrambler.h"
#include "wire/StationMessageType.h"
#include "wire/StationNotifyCode.h"
#include "wire/StationRequestCode.h"
#include "WireBytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using stationsim::ScriptedStation;
using stationsim::StationReply;
using stationsim::StationRequest;
using stationsim::StationSimulator;

constexpr uint32_t kWaitMs = 5000;

CMS_ObjectSensorData make_sensor(int32_t id, int32_t objectId, int32_t number, uint8_t state = 0)
{
    CMS_ObjectSensorData sensor;
    sensor.ID = id;
    sensor.ObjectID = objectId;
    sensor.Number = number;
    sensor.State = state;
    return sensor;
}

// The owner of the connection: keeps every notification it is handed.
class RecordingOwner : public CMS_HelperServer
{
public:
    struct Packet
    {
        int32_t code;
        std::vector<uint8_t> rest;
        CMS_ServerClient* connection;
    };

    int32_t OnPacket(CMS_ServerClient* connection, int32_t code, CByteStream& stream) override
    {
        Packet packet{code, std::vector<uint8_t>(static_cast<size_t>(stream.GetRemaining())), connection};
        stream.ReadBytes(packet.rest.data(), stream.GetRemaining());
        packets.Add(std::move(packet));
        return 1;
    }

    WaitableList<Packet> packets;
};

class StationRequestTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(simulator.Start());
        station.AddAccount("operator", "secret");
        client.Init(&owner);
        client.SetHost("127.0.0.1");
        client.SetPort(simulator.GetPort());
        ASSERT_TRUE(client.Connect(5));
        ASSERT_TRUE(simulator.WaitForOpenConnections(1, kWaitMs));
    }

    void TearDown() override
    {
        client.Disconnect();
        simulator.Stop();
    }

    bool LogIn(int32_t clientType = 6) { return client.Login(clientType, -1, 0, "operator", "secret"); }

    std::vector<int32_t> RequestCodes()
    {
        std::vector<int32_t> codes;
        for (const StationRequest& request : simulator.GetRequests())
            codes.push_back(request.code);
        return codes;
    }

    StationRequest LastRequest()
    {
        const std::vector<StationRequest> requests = simulator.GetRequests();
        EXPECT_FALSE(requests.empty());
        return requests.empty() ? StationRequest{} : requests.back();
    }

    // A small world: group 1 with objects 1 and 2, a pin each, one device.
    void FillStation()
    {
        station.AddGroup(make_group(1, "north"));
        station.AddObject(make_object(1, "bank"));
        station.AddObject(make_object(2, "shop"));
        station.AddPin(make_pin(11, 1));
        station.AddPin(make_pin(12, 2));
        station.AddDevice(make_device(5, "panel"));
    }

    StationSimulator simulator;
    ScriptedStation station{simulator};
    RecordingOwner owner;
    CMS_ServerClient client;
};

// ---- Login ---------------------------------------------------------------------

TEST_F(StationRequestTest, TheLoginBodyIsOneScrambledStringOfLines)
{
    station.AddAccount("guard", "");
    struct Case
    {
        int32_t clientType;
        int32_t a;
        int32_t b;
        const char* user;
        const char* password;
        const char* text;
    };
    const Case cases[] = {
        {6, -1, 0, "operator", "secret", "operator\r\nsecret\r\n6\r\n327682"},
        {6, -1, 0, "guard", "", "guard\r\n\r\n6\r\n327682"},
        {12, 4, 5, "operator", "secret", "operator\r\nsecret\r\n12\r\n327682"},
        {3, -1, 0, "operator", "secret", "operator\r\nsecret\r\n3\r\n327682\r\n-1\r\n0"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(client.Login(c.clientType, c.a, c.b, c.user, c.password)) << c.text;
        const StationRequest request = LastRequest();
        EXPECT_EQ(request.code, kRequestLogin);
        EXPECT_EQ(request.body, text_body(c.text)) << c.text;
    }
}

TEST_F(StationRequestTest, ALoginTakesTheAnswersFirstWord)
{
    EXPECT_EQ(client.GetLoginValue(), 0);
    station.SetLoginAnswer(77, 5, "welcome");
    ASSERT_TRUE(LogIn());
    EXPECT_EQ(client.GetLoginValue(), 77);

    // An answer without its two words fails and keeps the value.
    simulator.SetHandler(kRequestLogin, [](const StationRequest&) { return StationReply::Success(words({9})); });
    EXPECT_FALSE(LogIn());
    EXPECT_EQ(client.GetLoginValue(), 77);
}

TEST_F(StationRequestTest, ARefusedLoginEndsLoginAndLoadBeforeAnyList)
{
    FillStation();
    client.AddCachedObject(make_object(1, "stale"), nullptr);
    client.AddCachedPin(make_pin(1, 1), nullptr);
    client.AddCachedDevice(make_device(1, "stale"), nullptr);
    client.AddCachedGroup(make_group(1, "stale"), nullptr);
    StationItem item;
    client.AddCachedItem(item, nullptr);

    EXPECT_FALSE(client.LoginAndLoad(6, -1, 0, "operator", "wrong"));
    EXPECT_EQ(RequestCodes(), (std::vector<int32_t>{kRequestLogin}));
    EXPECT_EQ(client.GetObjectCount(), 0);
    EXPECT_EQ(client.GetPinCount(), 0);
    EXPECT_EQ(client.GetDeviceCount(), 0);
    EXPECT_EQ(client.GetGroupCount(), 0);
    EXPECT_EQ(client.GetItemCount(), 1);  // items are the notifications' alone
    EXPECT_EQ(client.GetLoginValue(), 0);
    EXPECT_EQ(client.GetLastError(), kLanErrorRefused);
    std::string text = client.GetLastErrorText();
    ansi_to_utf8(text);
    EXPECT_EQ(text, "Неверное имя пользователя или пароль");
}

TEST_F(StationRequestTest, LoginAndLoadAsksForTheListsInOrder)
{
    FillStation();
    station.SetConstDocuments(kRequestLoadConstDevices,
                              {"<Root><General><Typ>41</Typ><Name>Panel</Name></General></Root>"});
    ASSERT_TRUE(client.LoginAndLoad(6, -1, 0, "operator", "secret"));
    EXPECT_EQ(RequestCodes(), (std::vector<int32_t>{kRequestLogin, kRequestLoadObjects, kRequestLoadAllPins,
                                                    kRequestLoadDevices, kRequestLoadConstDevices,
                                                    kRequestLoadConstAdapters, kRequestLoadConstDictionaries,
                                                    kRequestLoadGroups}));
    EXPECT_EQ(client.GetObjectCount(), 2);
    EXPECT_EQ(client.GetPinCount(), 2);
    EXPECT_EQ(client.GetDeviceCount(), 1);
    EXPECT_EQ(client.GetGroupCount(), 1);
    EXPECT_NE(const_devices().FindByType(41), nullptr);

    // A second login reloads rather than adds.
    ASSERT_TRUE(client.LoginAndLoad(6, -1, 0, "operator", "secret"));
    EXPECT_EQ(client.GetObjectCount(), 2);
    EXPECT_EQ(client.GetPinCount(), 2);
    EXPECT_EQ(client.GetGroupCount(), 1);
}

TEST_F(StationRequestTest, ClientType3LoadsUsersAndPersonsInsteadOfTheConstantDocuments)
{
    FillStation();
    station.AddUser(CMS_UserData());
    CMS_PersonData person;
    person.ID = 3;
    station.AddPerson(person);
    ASSERT_TRUE(client.LoginAndLoad(3, -1, 0, "operator", "secret"));
    EXPECT_EQ(RequestCodes(), (std::vector<int32_t>{kRequestLogin, kRequestLoadObjects, kRequestLoadAllPins,
                                                    kRequestLoadDevices, kRequestLoadUsers, kRequestLoadPersons,
                                                    kRequestLoadGroups}));
    EXPECT_EQ(client.GetUserCount(), 1);
    EXPECT_EQ(client.GetPersonCount(), 1);
}

TEST_F(StationRequestTest, AFailingListLeavesTheListsAfterItEmpty)
{
    FillStation();
    simulator.SetFault(kRequestLoadDevices, stationsim::RequestFault::Refuse, "busy");
    EXPECT_FALSE(client.LoginAndLoad(6, -1, 0, "operator", "secret"));
    EXPECT_EQ(RequestCodes().back(), kRequestLoadDevices);
    EXPECT_EQ(client.GetObjectCount(), 2);
    EXPECT_EQ(client.GetDeviceCount(), 0);
    EXPECT_EQ(client.GetGroupCount(), 0);
}

// ---- Lists into the caches -----------------------------------------------------

TEST_F(StationRequestTest, ObjectRecordsAreReadUntilOneDoesNotLoad)
{
    const std::vector<uint8_t> three =
        bytes_of(make_object(1, "a")) + bytes_of(make_object(2, "b")) + bytes_of(make_object(3, "c"));
    const std::vector<uint8_t> cut = bytes_of(make_object(4, "d"));
    struct Case
    {
        const char* what;
        std::vector<uint8_t> body;
    };
    const Case cases[] = {
        {"three records then nothing", three},
        {"a truncated fourth", three + std::vector<uint8_t>(cut.begin(), cut.begin() + 30)},
        {"a fourth cut inside its first word", three + std::vector<uint8_t>(cut.begin(), cut.begin() + 3)},
    };
    for (const Case& c : cases) {
        client.ClearObjects();
        const std::vector<uint8_t> body = c.body;
        simulator.SetHandler(kRequestLoadObjects, [body](const StationRequest&) { return StationReply::Success(body); });
        ASSERT_TRUE(client.LoadObjects()) << c.what;
        ASSERT_EQ(client.GetObjectCount(), 3) << c.what;
        CMS_ObjectData object;
        ASSERT_TRUE(client.GetObjectAt(2, object));
        EXPECT_EQ(object.Name, "c") << c.what;
    }
}

TEST_F(StationRequestTest, ACacheLoadAppendsAndAFailedOneKeepsTheCache)
{
    FillStation();
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(client.LoadObjects());
    ASSERT_TRUE(client.LoadObjects());
    EXPECT_EQ(client.GetObjectCount(), 4);

    simulator.SetFault(kRequestLoadObjects, stationsim::RequestFault::Refuse, "no");
    EXPECT_FALSE(client.LoadObjects());
    EXPECT_EQ(client.GetObjectCount(), 4);
}

TEST_F(StationRequestTest, RequestsBeforeTheLoginAreRefusedByTheStation)
{
    FillStation();
    EXPECT_FALSE(client.LoadObjects());
    EXPECT_EQ(client.GetLastError(), kLanErrorRefused);
    EXPECT_EQ(client.GetObjectCount(), 0);
}

// ---- Lists into the caller's list ----------------------------------------------

TEST_F(StationRequestTest, SensorsComeInPriorityThenNumberOrder)
{
    struct Sensor
    {
        int32_t id;
        int32_t number;
        uint8_t state;
    };
    struct Case
    {
        const char* what;
        std::vector<Sensor> arriving;
        std::vector<int32_t> expectedIds;
    };
    const Case cases[] = {
        {"numbers 5, 2, 9", {{1, 5, 0}, {2, 2, 0}, {3, 9, 0}}, {2, 1, 3}},
        {"a priority sensor last goes first", {{1, 5, 0}, {2, 2, 0}, {3, 9, 0}, {4, 7, 4}}, {4, 2, 1, 3}},
        {"an equal number goes before the earlier", {{1, 5, 0}, {2, 5, 0}, {3, 1, 0}}, {3, 2, 1}},
        {"each class by number", {{1, 3, 5}, {2, 1, 0}, {3, 2, 17}, {4, 1, 200}, {5, 9, 31}}, {3, 1, 5, 4, 2}},
        {"equal numbers in both classes", {{1, 5, 4}, {2, 5, 0}, {3, 5, 4}, {4, 5, 0}}, {3, 1, 4, 2}},
    };
    ASSERT_TRUE(LogIn());
    int32_t objectId = 100;
    for (const Case& c : cases) {
        ++objectId;
        for (const Sensor& s : c.arriving)
            station.AddSensor(make_sensor(s.id, objectId, s.number, s.state));
        RecordList<CMS_ObjectSensorData> list;
        ASSERT_TRUE(client.GetObjectSensors(objectId, list)) << c.what;
        EXPECT_EQ(LastRequest().body, words({objectId, -1}));
        std::vector<int32_t> ids;
        for (const auto& sensor : list)
            ids.push_back(sensor->ID);
        EXPECT_EQ(ids, c.expectedIds) << c.what;
    }
}

TEST_F(StationRequestTest, ACallersListIsEmptiedOnlyAfterASuccessfulRequest)
{
    ASSERT_TRUE(LogIn());
    station.AddSensor(make_sensor(1, 7, 1));
    RecordList<CMS_ObjectSensorData> sensors;
    sensors.push_back(std::make_unique<CMS_ObjectSensorData>(make_sensor(99, 0, 0)));

    simulator.SetFault(kRequestGetObjectSensors, stationsim::RequestFault::Refuse, "no");
    EXPECT_FALSE(client.GetObjectSensors(7, sensors));
    ASSERT_EQ(sensors.size(), 1u);
    EXPECT_EQ(sensors[0]->ID, 99);

    simulator.ClearFaults();
    ASSERT_TRUE(client.GetObjectSensors(7, sensors));
    ASSERT_EQ(sensors.size(), 1u);
    EXPECT_EQ(sensors[0]->ID, 1);
}

TEST_F(StationRequestTest, FilteredListsSendTheirTextAndAppend)
{
    ASSERT_TRUE(LogIn());
    for (int32_t id : {1, 2})
        station.AddEvent(make_queued_event(id, 7));
    CMS_ObjectImageData image;
    image.ObjectID = 5;
    image.Name = "plan";
    station.AddImage(image);
    CMS_ObjectImageData other;
    other.ObjectID = 6;
    station.AddImage(other);
    CMS_DeviceTest test;
    test.ChannelId = 12;
    station.AddDeviceTest(test);
    CMS_ShiftData shift;
    shift.Descr = "night";
    station.AddShift(shift);

    RecordList<CMS_SimpleEventData> events;
    events.push_back(std::make_unique<CMS_SimpleEventData>());
    ASSERT_TRUE(client.GetEvents("event_type=2", events));
    EXPECT_EQ(LastRequest().code, kRequestGetEvents);
    EXPECT_EQ(LastRequest().body, text_body("event_type=2"));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2]->ID, 2);

    std::vector<uint8_t> raw;
    ASSERT_TRUE(client.GetEventsRaw("event_type=2", raw));
    EXPECT_EQ(raw, bytes_of(make_queued_event(1, 7)) + bytes_of(make_queued_event(2, 7)));

    RecordList<CMS_ObjectImageData> images;
    ASSERT_TRUE(client.GetObjectImages("object_id=5", images));
    EXPECT_EQ(LastRequest().body, text_body("object_id=5") + words({0}));
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0]->Name, "plan");

    RecordList<CMS_DeviceTest> tests;
    ASSERT_TRUE(client.GetDeviceTests("channel_id=12", tests));
    EXPECT_EQ(LastRequest().body, text_body("channel_id=12"));
    ASSERT_EQ(tests.size(), 1u);
    EXPECT_EQ(tests[0]->ChannelId, 12);

    RecordList<CMS_ShiftData> shifts;
    ASSERT_TRUE(client.GetShifts(shifts));
    ASSERT_TRUE(client.GetShifts(shifts));
    ASSERT_EQ(shifts.size(), 2u);
    EXPECT_EQ(shifts[1]->Descr, "night");
}

TEST_F(StationRequestTest, AFilterTravelsUpToItsFirstNul)
{
    ASSERT_TRUE(LogIn());
    RecordList<CMS_DeviceTest> tests;
    ASSERT_TRUE(client.GetDeviceTests(std::string("abcde\0xyz", 9), tests));
    EXPECT_EQ(LastRequest().body, text_body("abcde"));
}

// ---- Users and persons ---------------------------------------------------------

TEST_F(StationRequestTest, ADefaultUserInTheStationFormIs53BytesAndLoads)
{
    ASSERT_EQ(ScriptedStation::UserStationForm(CMS_UserData()).size(), 53u);
    CMS_UserData named;
    named.ID = 8;
    named.Name = "duty";
    named.EventFilter = "all";
    station.AddUser(CMS_UserData());
    station.AddUser(named);
    ASSERT_TRUE(LogIn());

    RecordList<CMS_UserData> users;
    ASSERT_TRUE(client.LoadUsers(users));
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0]->Descr, "0");
    EXPECT_EQ(users[0]->ClientTyp, -1);
    EXPECT_EQ(users[0]->OriginServerId, -1);
    EXPECT_EQ(users[1]->ID, 8);
    EXPECT_EQ(users[1]->Name, "duty");
    EXPECT_EQ(users[1]->EventFilter, "all");

    ASSERT_TRUE(client.LoadUsers());
    EXPECT_EQ(client.GetUserCount(), 2);
}

// ---- Additions, changes, removals ----------------------------------------------

TEST_F(StationRequestTest, AdditionsReturnTheStationsNewId)
{
    FillStation();
    ASSERT_TRUE(LogIn());

    int32_t id = 0;
    ASSERT_TRUE(client.AddObject(make_object(0, "kiosk"), id));
    EXPECT_EQ(id, 3);
    ASSERT_TRUE(client.AddDevice(make_device(0, "relay"), id));
    EXPECT_EQ(id, 6);
    ASSERT_TRUE(client.AddGroup(make_group(0, "south"), id));
    EXPECT_EQ(id, 2);
    EXPECT_EQ(station.GetObjects().back()->Name, "kiosk");
    EXPECT_EQ(station.GetDevices().back()->Name, "relay");
    EXPECT_EQ(station.GetGroups().back()->Name, "south");

    StationItem item;
    item.Text1 = "note";
    ASSERT_TRUE(client.PostItem(item));
    EXPECT_EQ(item.ID, 1);
    ASSERT_TRUE(client.PostItem(item));
    EXPECT_EQ(item.ID, 2);
    EXPECT_EQ(station.GetItems().back().Text1, "note");

    // An answer without the ID fails the addition.
    simulator.SetHandler(kRequestAddObject, [](const StationRequest&) { return StationReply::Success(); });
    id = -5;
    EXPECT_FALSE(client.AddObject(make_object(0, "x"), id));
    EXPECT_EQ(id, -5);
}

TEST_F(StationRequestTest, TransactHandsTheAnswerBodyOver)
{
    ASSERT_TRUE(LogIn());
    const uint8_t data[] = {1, 2, 3, 0, 255};
    std::vector<uint8_t> answer;
    ASSERT_TRUE(client.Transact(10, 20, data, sizeof data, answer));
    EXPECT_EQ(LastRequest().body, words({10, 20, -1}) + std::vector<uint8_t>(data, data + sizeof data));
    EXPECT_EQ(answer, std::vector<uint8_t>(data, data + sizeof data));
}

TEST_F(StationRequestTest, TheConstantDocumentsFillTheGivenContainers)
{
    station.SetConstDocuments(kRequestLoadConstAdapters,
                              {"<Root><General><Typ>1</Typ><Name>A</Name></General></Root>",
                               "<Root><General><Typ>2</Typ><Name>B</Name></General></Root>"});
    ASSERT_TRUE(LogIn());
    CMS_ConstAdapters adapters;
    ASSERT_TRUE(client.LoadConstAdapters(adapters));
    EXPECT_EQ(adapters.GetDocuments().size(), 2u);
    EXPECT_EQ(adapters.GetNamesByType().at(2), "B");

    // A document list cut short fails the request.
    simulator.SetHandler(kRequestLoadConstDevices,
                         [](const StationRequest&) { return StationReply::Success(words({2}) + text_body("<Root/>")); });
    CMS_ConstDevices devices;
    EXPECT_FALSE(client.LoadConstDevices(devices));
}

// ---- Notifications -------------------------------------------------------------

// One unscrambled frame of the message type with the given data.
std::vector<uint8_t> raw_message(int32_t type, const std::vector<uint8_t>& data)
{
    CLanPacket packet;
    EXPECT_TRUE(packet.Create(type, 0, data.data(), static_cast<int32_t>(data.size())));
    CLanPacketHelper helper;
    std::vector<uint8_t> frame(8192);
    int32_t size = 0;
    EXPECT_NE(helper.BuildFrame(packet, 0, frame.data(), static_cast<int32_t>(frame.size()), size), 0);
    frame.resize(static_cast<size_t>(size));
    return frame;
}

std::vector<uint8_t> scrambled(std::vector<uint8_t> bytes)
{
    ScramblePayload(bytes.data(), static_cast<int32_t>(bytes.size()), kStationKeyWord);
    return bytes;
}

TEST_F(StationRequestTest, NotificationsReachTheOwnerUnscrambled)
{
    const CMS_ObjectData object = make_object(9, "depot");
    ASSERT_EQ(station.NotifyObject(kNotifyObjectAdded, object), 1);
    ASSERT_EQ(station.NotifyObjectMoved(9, 4), 1);
    ASSERT_TRUE(owner.packets.WaitForCount(2));

    const std::vector<RecordingOwner::Packet> packets = owner.packets.Items();
    EXPECT_EQ(packets[0].code, kNotifyObjectAdded);
    EXPECT_EQ(packets[0].connection, &client);
    EXPECT_EQ(packets[0].rest, bytes_of(object));
    EXPECT_EQ(packets[1].code, kNotifyObjectGroupMoved);
    EXPECT_EQ(packets[1].rest, words({9, 0, 4, 0, 0}));
}

TEST_F(StationRequestTest, MessagesThatAreNoNotificationAreNotPassedOn)
{
    // Empty data has no code; a message of another type is not a notification.
    ASSERT_EQ(simulator.SendRawBytes(raw_message(kMessageRequest, {})), 1);
    ASSERT_EQ(simulator.SendRawBytes(raw_message(kMessageIgnored4, scrambled(words({kNotifyEvent})))), 1);
    ASSERT_EQ(simulator.SendRawBytes(raw_message(kMessageRequest, scrambled({1, 2, 3}))), 1);
    // The stream is in order: once this one arrives, the others were handled.
    ASSERT_EQ(simulator.SendNotification(kNotifyReserved, {}), 1);
    ASSERT_TRUE(owner.packets.WaitForCount(1));

    const std::vector<RecordingOwner::Packet> packets = owner.packets.Items();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].code, kNotifyReserved);
    EXPECT_TRUE(packets[0].rest.empty());
}

TEST(StationRequestOwnerTest, WithoutAnOwnerNotificationsAreDropped)
{
    StationSimulator simulator;
    ASSERT_TRUE(simulator.Start());
    CMS_ServerClient client;
    client.Init(nullptr);
    client.SetHost("127.0.0.1");
    client.SetPort(simulator.GetPort());
    ASSERT_TRUE(client.Connect(5));
    ASSERT_TRUE(simulator.WaitForOpenConnections(1, kWaitMs));
    EXPECT_EQ(simulator.SendNotification(kNotifyEvent, words({1})), 1);
    // Still connected and answering afterwards.
    simulator.SetHandler(kRequestSendControl, [](const StationRequest&) { return StationReply::Success(); });
    EXPECT_TRUE(client.SendControl(1, 2, 3));
    client.Disconnect();
    simulator.Stop();
}

} // namespace

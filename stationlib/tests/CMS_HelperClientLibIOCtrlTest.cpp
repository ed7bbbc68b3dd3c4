// The IOCtrl commands of a client instance, against the station simulator: the
// checks on the caller's blocks, the output forms, the assembled documents and
// the requests that reach the station.

#include "client/CMS_HelperClientLib.h"

#include "base/CByteStream.h"
#include "base/StringHelpers.h"
#include "base/Timeouts.h"
#include "ConfigTestFolder.h"
#include "RecordBuilders.h"
#include "ScriptedStation.h"
#include "StationRecordSupport.h"
#include "wire/StationRequestCode.h"
#include "WireBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using stationsim::RequestFault;
using stationsim::ScriptedStation;
using stationsim::StationRequest;
using stationsim::StationSimulator;

const char kUser[] = "operator";
const char kPassword[] = "secret";

// What an untouched byte of the caller's output block holds.
constexpr char kMarker = 'Z';
// What the out length holds before a call, so that a reset to 0 shows.
constexpr int32_t kStaleLength = 77;

constexpr int32_t kObjectA = 10;
constexpr int32_t kObjectB = 20;
constexpr int32_t kDeviceA = 500;
constexpr int32_t kDeviceB = 600;

// The text with its terminator.
std::vector<char> text_block(const std::string& text)
{
    return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1);
}

std::string without_final_line_end(std::string text)
{
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        text.resize(text.size() - 2);
    return text;
}

// One call's blocks as the caller hands them over: a null block, or bytes with a
// size that need not be theirs.
struct Block
{
    bool null = false;
    std::vector<char> bytes;
    int32_t size = 0;

    static Block Null(int32_t size) { return Block{true, {}, size}; }
    template <class Bytes>
    static Block Of(const Bytes& bytes)
    {
        return Sized(bytes, static_cast<int32_t>(bytes.size()));
    }
    template <class Bytes>
    static Block Sized(const Bytes& bytes, int32_t size)
    {
        return Block{false, std::vector<char>(bytes.begin(), bytes.end()), size};
    }
    // An output block of `capacity` marked bytes, handed over as `size`.
    static Block Output(size_t capacity, int32_t size) { return Block{false, std::vector<char>(capacity, kMarker), size}; }
    static Block Output(int32_t size) { return Output(static_cast<size_t>(size), size); }
};

struct Answer
{
    bool ok = false;
    int32_t outLength = 0;
    std::vector<char> output;

    // The output up to its first 0.
    std::string Text() const { return std::string(output.data(), strnlen(output.data(), output.size())); }
};

class IOCtrlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Timeouts::SetScaleForTests(10);
        ASSERT_TRUE(m_simulator.Start());
        m_station.AddAccount(kUser, kPassword);
        FillStation();
    }

    void TearDown() override
    {
        m_client.reset();
        m_simulator.Stop();
        Timeouts::SetScaleForTests(1);
    }

    virtual bool WithEvents() const { return true; }

    void FillStation()
    {
        // Numbers differ from identifiers, so a lookup by the wrong one shows.
        m_objectA.Number = 100;
        m_objectB.Number = 200;
        m_objectA.DeviceID = kDeviceA;
        m_objectB.DeviceID = kDeviceB;
        m_deviceA.Number = 5000;
        m_deviceB.Number = 6000;
        m_groupA.Number = 11;
        m_groupB.Number = 12;
        for (const CMS_ObjectData* object : {&m_objectA, &m_objectB})
            m_station.AddObject(*object);
        for (const CMS_DeviceData* device : {&m_deviceA, &m_deviceB})
            m_station.AddDevice(*device);
        for (const CMS_ObjectGroupData* group : {&m_groupA, &m_groupB})
            m_station.AddGroup(*group);

        // Ordinary sensors in ascending Number, the order the sensor list keeps.
        for (int i = 0; i < 2; ++i) {
            auto sensor = std::make_unique<CMS_ObjectSensorData>();
            record_test::fill(*sensor, i);
            sensor->ID = 1 + i;
            sensor->ObjectID = kObjectA;
            sensor->Number = 1 + i;
            sensor->State = 1;
            m_station.AddSensor(*sensor);
            m_sensors.push_back(std::move(sensor));
        }
        AddParts(m_clients, [this](const CMS_ObjectClientData& r) { m_station.AddClient(r); });
        AddParts(m_pins, [this](const CMS_ObjectPinData& r) { m_station.AddPin(r); });
        AddParts(m_schedules, [this](const CMS_ObjectScheduleData& r) { m_station.AddSchedule(r); });
        AddParts(m_images, [this](const CMS_ObjectImageData& r) { m_station.AddImage(r); });

        for (int i = 0; i < 3; ++i) {
            if (WithEvents()) {
                m_events.push_back(std::make_unique<CMS_SimpleEventData>());
                record_test::fill(*m_events.back(), 10 * i);
                m_station.AddEvent(*m_events.back());
            }
            m_users.push_back(std::make_unique<CMS_UserData>());
            record_test::fill(*m_users.back(), i);
            m_station.AddUser(*m_users.back());
            m_shifts.push_back(std::make_unique<CMS_ShiftData>());
            record_test::fill(*m_shifts.back(), i);
            m_station.AddShift(*m_shifts.back());
            m_tests.push_back(std::make_unique<CMS_DeviceTest>());
            record_test::fill(*m_tests.back(), i);
            m_station.AddDeviceTest(*m_tests.back());
        }
    }

    template <class T, class Add>
    void AddParts(RecordList<T>& list, Add add)
    {
        for (int i = 0; i < 2; ++i) {
            auto part = std::make_unique<T>();
            record_test::fill(*part, i);
            part->ID = 1 + i;
            part->ObjectID = kObjectA;
            add(*part);
            list.push_back(std::move(part));
        }
    }

    void Open()
    {
        if (!m_client) {
            m_client = std::make_unique<CMS_HelperClientLib>();
            m_client->Start(nullptr, 0, 6);
        }
        ASSERT_TRUE(m_client->Open("127.0.0.1", m_simulator.GetPort(), kUser, kPassword));
    }

    Answer Call(int32_t command, const Block& input, const Block& output)
    {
        Answer answer;
        answer.output = output.bytes;
        answer.outLength = kStaleLength;
        answer.ok = m_client->IOCtrl(command, input.null ? nullptr : input.bytes.data(), input.size,
                                     output.null ? nullptr : answer.output.data(), output.size, &answer.outLength);
        return answer;
    }

    template <class Bytes>
    Answer Call(int32_t command, const Bytes& input, int32_t outputSize)
    {
        return Call(command, Block::Of(input), Block::Output(outputSize));
    }

    std::vector<StationRequest> RequestsSince(size_t count) const
    {
        std::vector<StationRequest> all = m_simulator.GetRequests();
        return std::vector<StationRequest>(all.begin() + static_cast<std::ptrdiff_t>(std::min(count, all.size())),
                                           all.end());
    }

    std::vector<StationRequest> Logins() const
    {
        std::vector<StationRequest> logins;
        for (const StationRequest& request : m_simulator.GetRequests())
            if (request.code == kRequestLogin)
                logins.push_back(request);
        return logins;
    }

    ConfigTestFolder m_folder;
    StationSimulator m_simulator;
    ScriptedStation m_station{m_simulator};
    std::unique_ptr<CMS_HelperClientLib> m_client;

    CMS_ObjectData m_objectA = make_object(kObjectA, "Warehouse", 1);
    CMS_ObjectData m_objectB = make_object(kObjectB, "Office", 2);
    CMS_DeviceData m_deviceA = make_device(kDeviceA, "Panel A");
    CMS_DeviceData m_deviceB = make_device(kDeviceB, "Panel B");
    CMS_ObjectGroupData m_groupA = make_group(1, "North");
    CMS_ObjectGroupData m_groupB = make_group(2, "South");
    RecordList<CMS_ObjectSensorData> m_sensors;
    RecordList<CMS_ObjectClientData> m_clients;
    RecordList<CMS_ObjectPinData> m_pins;
    RecordList<CMS_ObjectScheduleData> m_schedules;
    RecordList<CMS_ObjectImageData> m_images;
    RecordList<CMS_SimpleEventData> m_events;
    RecordList<CMS_UserData> m_users;
    RecordList<CMS_ShiftData> m_shifts;
    RecordList<CMS_DeviceTest> m_tests;
};

// ---- Checks ----------------------------------------------------------------------

TEST_F(IOCtrlTest, AFailedCheckDoesNothing)
{
    Open();
    CMS_ObjectSensorData sensor;
    std::vector<char> sensorDocument = text_block(CMS_HelperClientLib::RecordToXml(sensor, "sensor"));
    std::vector<char> unterminatedDocument = sensorDocument;
    unterminatedDocument.back() = ' ';

    struct Case
    {
        const char* what;
        int32_t command;
        Block input;
        Block output;
    };
    const Case cases[] = {
        {"ids without an output", MSC_IOCTL_GET_OBJECT_IDS, Block::Null(0), Block::Null(64)},
        {"ids into an empty output", MSC_IOCTL_GET_OBJECT_IDS, Block::Null(0), Block::Output(8, 0)},
        {"lookup without an input", MSC_IOCTL_GET_OBJECT_BY_ID, Block::Null(4), Block::Output(64)},
        {"lookup with 3 input bytes", MSC_IOCTL_GET_OBJECT_BY_ID, Block::Sized(words({kObjectA}), 3),
         Block::Output(64)},
        {"lookup with a negative output size", MSC_IOCTL_GET_OBJECT_BY_ID, Block::Of(words({kObjectA})),
         Block::Output(64, -1)},
        {"list with an empty output", MSC_IOCTL_GET_OBJECT_SENSORS, Block::Of(words({kObjectA})),
         Block::Output(8, 0)},
        {"transact with 7 input bytes", MSC_IOCTL_TRANSACT, Block::Sized(words({1, 2}), 7), Block::Output(64)},
        {"transact with a negative input size", MSC_IOCTL_TRANSACT, Block::Sized(words({1, 2}), -1),
         Block::Output(64)},
        {"login value into 3 bytes", MSC_IOCTL_GET_LOGIN_VALUE, Block::Null(0), Block::Output(8, 3)},
        {"login value without an output", MSC_IOCTL_GET_LOGIN_VALUE, Block::Null(0), Block::Null(4)},
        {"events with a 4-character filter", MSC_IOCTL_GET_EVENTS, Block::Of(text_block("abcd")),
         Block::Output(64)},
        {"events with an unterminated filter", MSC_IOCTL_GET_EVENTS,
         Block::Of(std::vector<char>{'a', 'b', 'c', 'd', 'e', 'f'}), Block::Output(64)},
        {"events with 4 input bytes", MSC_IOCTL_GET_EVENTS, Block::Sized(text_block("abcdef"), 4),
         Block::Output(64)},
        {"events with a negative output size", MSC_IOCTL_GET_EVENTS, Block::Of(text_block("abcdef")),
         Block::Output(64, -1)},
        {"device tests with a 4-character filter", MSC_IOCTL_GET_DEVICE_TESTS, Block::Of(text_block("abcd")),
         Block::Output(64)},
        {"raw events with an unterminated filter", MSC_IOCTL_GET_EVENTS_RAW,
         Block::Of(std::vector<char>{'a', 'b', 'c', 'd', 'e', 'f'}), Block::Output(64)},
        {"client type with 3 input bytes", MSC_IOCTL_SET_CLIENT_TYPE, Block::Sized(words({12}), 3),
         Block::Null(0)},
        {"users without an output", MSC_IOCTL_GET_USERS, Block::Null(0), Block::Null(64)},
        {"device types into an empty output", MSC_IOCTL_GET_DEVICE_TYPES, Block::Null(0), Block::Output(8, 0)},
        {"add object from an unterminated text", MSC_IOCTL_ADD_OBJECT, Block::Of(unterminatedDocument),
         Block::Output(8)},
        {"add object into 3 bytes", MSC_IOCTL_ADD_OBJECT, Block::Of(sensorDocument), Block::Output(8, 3)},
        {"add sensor with 3 input bytes", MSC_IOCTL_ADD_SENSOR, Block::Sized(words({kObjectA}), 3),
         Block::Of(sensorDocument)},
        {"add sensor from an unterminated output", MSC_IOCTL_ADD_SENSOR, Block::Of(words({kObjectA})),
         Block::Of(unterminatedDocument)},
        {"change object without an input", MSC_IOCTL_CHANGE_OBJECT, Block::Null(64), Block::Null(0)},
        {"change pin from an unterminated output", MSC_IOCTL_CHANGE_PIN, Block::Of(words({kObjectA})),
         Block::Of(unterminatedDocument)},
        {"remove object with 4 input bytes", MSC_IOCTL_REMOVE_OBJECT, Block::Sized(text_block("<a/>"), 4),
         Block::Null(0)},
        {"remove sensor from an unterminated text", MSC_IOCTL_REMOVE_SENSOR, Block::Of(unterminatedDocument),
         Block::Null(0)},
        {"control with 11 input bytes", MSC_IOCTL_SEND_CONTROL, Block::Sized(words({1, 2, 3}), 11),
         Block::Null(0)},
        {"control by id without an input", MSC_IOCTL_SEND_CONTROL_BY_ID, Block::Null(4), Block::Null(0)},
        {"item with an unterminated text", MSC_IOCTL_POST_ITEM, Block::Of(words({1, 2, 3})),
         Block::Of(std::vector<char>{'n', 'o', 't', 'e'})},
        {"item without an output", MSC_IOCTL_POST_ITEM, Block::Of(words({1, 2, 3})), Block::Null(8)},
        {"a text that is no document", MSC_IOCTL_CHANGE_OBJECT, Block::Of(text_block("not a document")),
         Block::Null(0)},
        {"a document of another kind", MSC_IOCTL_REMOVE_DEVICE, Block::Of(sensorDocument), Block::Null(0)},
        {"unknown command 999", 999, Block::Of(words({1, 2, 3})), Block::Output(64)},
        {"unknown command -1", -1, Block::Of(words({1, 2, 3})), Block::Output(64)},
        {"unknown command 25", 25, Block::Of(words({1, 2, 3})), Block::Output(64)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t requests = m_simulator.GetRequests().size();
        const Answer answer = Call(c.command, c.input, c.output);
        EXPECT_FALSE(answer.ok);
        EXPECT_EQ(answer.outLength, 0);
        EXPECT_EQ(answer.output, c.output.bytes);
        EXPECT_TRUE(RequestsSince(requests).empty());
    }
}

TEST_F(IOCtrlTest, ANegativeSizePassesAnUnsignedCheck)
{
    m_station.SetLoginAnswer(4242, 0, "");
    Open();

    Answer answer = Call(MSC_IOCTL_GET_OBJECT_BY_ID, Block::Sized(words({kObjectA}), -1), Block::Output(4096));
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.Text(), CMS_HelperClientLib::RecordToXml(m_objectA, "object"));

    answer = Call(MSC_IOCTL_GET_LOGIN_VALUE, Block::Null(0), Block::Output(8, -1));
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.outLength, 4);
    int32_t value = 0;
    std::memcpy(&value, answer.output.data(), 4);
    EXPECT_EQ(value, 4242);

    const size_t requests = m_simulator.GetRequests().size();
    answer = Call(MSC_IOCTL_SEND_CONTROL_BY_ID, Block::Sized(words({kObjectB}), -1), Block::Null(0));
    EXPECT_TRUE(answer.ok);
    ASSERT_EQ(RequestsSince(requests).size(), 1u);
    EXPECT_EQ(m_station.GetControls().back(), (std::vector<int32_t>{kObjectB, 0, 0}));
}

// ---- Identifiers and the login value ----------------------------------------------

TEST_F(IOCtrlTest, IdentifiersComeInCacheOrderOrNotAtAll)
{
    Open();
    struct Case
    {
        int32_t command;
        std::vector<int32_t> ids;
    };
    const Case cases[] = {
        {MSC_IOCTL_GET_OBJECT_IDS, {kObjectA, kObjectB}},
        {MSC_IOCTL_GET_DEVICE_IDS, {kDeviceA, kDeviceB}},
        {MSC_IOCTL_GET_GROUP_IDS, {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const int32_t size = static_cast<int32_t>(4 * c.ids.size());
        Answer answer = Call(c.command, Block::Null(0), Block::Output(size + 4, size));
        ASSERT_TRUE(answer.ok);
        EXPECT_EQ(answer.outLength, size);
        std::vector<int32_t> ids(c.ids.size());
        std::memcpy(ids.data(), answer.output.data(), static_cast<size_t>(size));
        EXPECT_EQ(ids, c.ids);
        EXPECT_EQ(answer.output.back(), kMarker);

        answer = Call(c.command, Block::Null(0), Block::Output(size - 1));
        EXPECT_FALSE(answer.ok);
        EXPECT_EQ(answer.outLength, 0);
        EXPECT_EQ(answer.output, std::vector<char>(static_cast<size_t>(size - 1), kMarker));
    }
}

// ---- Form A: records and lists ------------------------------------------------------

TEST_F(IOCtrlTest, LookupsGiveTheRecordFoundOrFail)
{
    Open();
    struct Case
    {
        int32_t command;
        int32_t key;
        const CObjectStoreXmlHelper* record;  // null: not found
        const char* tag;
    };
    const Case cases[] = {
        {MSC_IOCTL_GET_OBJECT_BY_ID, kObjectB, &m_objectB, "object"},
        {MSC_IOCTL_GET_OBJECT_BY_NUMBER, 100, &m_objectA, "object"},
        {MSC_IOCTL_GET_OBJECT_BY_DEVICE, kDeviceB, &m_objectB, "object"},
        {MSC_IOCTL_GET_DEVICE_BY_ID, kDeviceA, &m_deviceA, "device"},
        {MSC_IOCTL_GET_DEVICE_BY_NUMBER, 6000, &m_deviceB, "device"},
        {MSC_IOCTL_GET_GROUP_BY_ID, 2, &m_groupB, "objectgroup"},
        {MSC_IOCTL_GET_GROUP_BY_NUMBER, 11, &m_groupA, "objectgroup"},
        {MSC_IOCTL_GET_OBJECT_BY_ID, 99, nullptr, nullptr},
        {MSC_IOCTL_GET_OBJECT_BY_DEVICE, kObjectA, nullptr, nullptr},
        {MSC_IOCTL_GET_DEVICE_BY_NUMBER, kDeviceA, nullptr, nullptr},
        {MSC_IOCTL_GET_GROUP_BY_ID, 11, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.command << " " << c.key);
        const Answer answer = Call(c.command, words({c.key}), 4096);
        if (c.record == nullptr) {
            EXPECT_FALSE(answer.ok);
            EXPECT_EQ(answer.outLength, 0);
            continue;
        }
        const std::string expected = CMS_HelperClientLib::RecordToXml(*c.record, c.tag);
        ASSERT_TRUE(answer.ok);
        EXPECT_EQ(answer.Text(), expected);
        EXPECT_EQ(answer.outLength, static_cast<int32_t>(expected.size() + 1));
    }
}

TEST_F(IOCtrlTest, AFullLengthDocumentIsCutButReportedWhole)
{
    CMS_ObjectGroupData big;
    big.ID = 30;
    big.Name = "Big";
    const size_t base = CMS_HelperClientLib::RecordToXml(big, "objectgroup").size();
    ASSERT_LT(base, 900u);
    big.Name += std::string(900 - base, 'w');
    const std::string document = CMS_HelperClientLib::RecordToXml(big, "objectgroup");
    ASSERT_EQ(document.size(), 900u);
    m_station.AddGroup(big);
    Open();

    Answer answer = Call(MSC_IOCTL_GET_GROUP_BY_ID, Block::Of(words({30})), Block::Output(12, 10));
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.outLength, 901);
    EXPECT_EQ(std::string(answer.output.data(), 9), document.substr(0, 9));
    EXPECT_EQ(answer.output[9], '\0');
    EXPECT_EQ(answer.output[10], kMarker);

    // Asked again with the length it was given, the caller gets the whole text.
    answer = Call(MSC_IOCTL_GET_GROUP_BY_ID, words({30}), answer.outLength);
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.Text(), document);
    EXPECT_EQ(answer.outLength, 901);
}

TEST_F(IOCtrlTest, ObjectListsComeFromTheStation)
{
    Open();
    struct Case
    {
        int32_t command;
        int32_t requestCode;
        std::string document;
        std::vector<uint8_t> body;
    };
    const std::vector<uint8_t> objectAndAll = words({kObjectA, -1});
    const std::vector<uint8_t> objectOnly = words({kObjectA});
    const Case cases[] = {
        {MSC_IOCTL_GET_OBJECT_SENSORS, kRequestGetObjectSensors,
         CMS_HelperClientLib::BuildListXml(m_sensors, "sensor"),
         objectAndAll},
        {MSC_IOCTL_GET_OBJECT_CLIENTS, kRequestGetObjectClients,
         CMS_HelperClientLib::BuildListXml(m_clients, "client"),
         objectAndAll},
        {MSC_IOCTL_GET_OBJECT_PINS, kRequestGetObjectPins, CMS_HelperClientLib::BuildListXml(m_pins, "pin"),
         objectOnly},
        {MSC_IOCTL_GET_OBJECT_SCHEDULES, kRequestGetObjectSchedules,
         CMS_HelperClientLib::BuildListXml(m_schedules, "schedule"),
         objectOnly},
        {MSC_IOCTL_GET_OBJECT_IMAGES, kRequestGetObjectImages, CMS_HelperClientLib::BuildListXml(m_images, "image"),
         text_body("object_id=10") + words({0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const size_t requests = m_simulator.GetRequests().size();
        const Answer answer = Call(c.command, words({kObjectA}), 8192);
        ASSERT_TRUE(answer.ok);
        EXPECT_EQ(answer.Text(), c.document);
        EXPECT_EQ(answer.outLength, static_cast<int32_t>(c.document.size() + 1));
        const std::vector<StationRequest> sent = RequestsSince(requests);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].code, c.requestCode);
        EXPECT_EQ(sent[0].body, c.body);
    }
}

TEST_F(IOCtrlTest, AnEmptyListIsTheEmptyDocumentAndAFailedRequestFails)
{
    Open();
    Answer answer = Call(MSC_IOCTL_GET_OBJECT_SENSORS, words({kObjectB}), 256);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.Text(), std::string(kListDeclaration) + "<sensorlist />\r\n");

    answer = Call(MSC_IOCTL_GET_OBJECT_IMAGES, words({kObjectB}), 256);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.Text(), std::string(kListDeclaration) + "<imagelist />\r\n");

    // The image filter carries the identifier in signed decimal.
    const size_t requests = m_simulator.GetRequests().size();
    EXPECT_TRUE(Call(MSC_IOCTL_GET_OBJECT_IMAGES, words({-5}), 8192).ok);
    ASSERT_EQ(RequestsSince(requests).size(), 1u);
    EXPECT_EQ(leading_string(RequestsSince(requests)[0].body), "object_id=-5");

    m_simulator.SetFault(kRequestGetObjectPins, RequestFault::Refuse, "no pins today");
    answer = Call(MSC_IOCTL_GET_OBJECT_PINS, Block::Of(words({kObjectA})), Block::Output(256));
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.outLength, 0);
    EXPECT_EQ(answer.output, std::vector<char>(256, kMarker));
}

// ---- Form B: lists of the station ---------------------------------------------------

TEST_F(IOCtrlTest, CopiedLengthListsFailWhenCut)
{
    Open();
    struct Case
    {
        int32_t command;
        std::vector<char> input;
        std::string document;
    };
    const Case cases[] = {
        {MSC_IOCTL_GET_DEVICE_TESTS, text_block("channel_id>0"), CMS_HelperClientLib::BuildListXml(m_tests, "test")},
        {MSC_IOCTL_GET_USERS, {}, CMS_HelperClientLib::BuildListXml(m_users, "user")},
        {MSC_IOCTL_GET_SHIFTS, {}, CMS_HelperClientLib::BuildListXml(m_shifts, "shift")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const Block input = c.input.empty() ? Block::Null(0) : Block::Of(c.input);
        Answer answer = Call(c.command, input, Block::Output(8192));
        ASSERT_TRUE(answer.ok);
        EXPECT_EQ(answer.Text(), c.document);
        EXPECT_EQ(answer.outLength, static_cast<int32_t>(c.document.size() + 1));

        answer = Call(c.command, input, Block::Output(static_cast<int32_t>(c.document.size())));
        EXPECT_FALSE(answer.ok);
        EXPECT_EQ(answer.Text(), c.document.substr(0, c.document.size() - 1));
        EXPECT_EQ(answer.outLength, static_cast<int32_t>(c.document.size()));

        answer = Call(c.command, input, Block::Output(1));
        EXPECT_FALSE(answer.ok);
        EXPECT_EQ(answer.output, std::vector<char>{'\0'});
        EXPECT_EQ(answer.outLength, 0);
    }
    // The device-test filter travels as the station's text.
    const size_t requests = m_simulator.GetRequests().size();
    EXPECT_TRUE(Call(MSC_IOCTL_GET_DEVICE_TESTS, text_block("net=5"), 8192).ok);
    ASSERT_EQ(RequestsSince(requests).size(), 1u);
    EXPECT_EQ(RequestsSince(requests)[0].code, kRequestGetDeviceTests);
    EXPECT_EQ(leading_string(RequestsSince(requests)[0].body), "net=5");
}

TEST_F(IOCtrlTest, DictionaryTextsByType)
{
    const std::string zones =
        "<?xml version=\"1.0\" encoding=\"windows-1251\" ?><Root><General><Typ>3</Typ><Name>Zones</Name></General>"
        "<Template><Item id=\"1\" text=\"One\" /></Template></Root>";
    const std::string codes =
        "<?xml version=\"1.0\" encoding=\"windows-1251\" ?><Root><General><Typ>8</Typ><Name>Codes</Name></General>"
        "</Root>";
    m_station.SetConstDocuments(kRequestLoadConstDictionaries, {zones, codes});
    Open();

    Answer answer = Call(MSC_IOCTL_GET_DICTIONARY_TEXT, words({3}), 4096);
    ASSERT_TRUE(answer.ok);
    const std::string text = answer.Text();
    EXPECT_NE(text.find("<Name>Zones</Name>"), std::string::npos) << text;
    EXPECT_NE(text.find("text=\"One\""), std::string::npos) << text;
    EXPECT_EQ(text.find("Codes"), std::string::npos) << text;
    EXPECT_EQ(answer.outLength, static_cast<int32_t>(text.size() + 1));

    answer = Call(MSC_IOCTL_GET_DICTIONARY_TEXT, words({3}), 11);
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.Text(), text.substr(0, 10));
    EXPECT_EQ(answer.outLength, 11);

    // No document of the type: an empty text, and no failure.
    answer = Call(MSC_IOCTL_GET_DICTIONARY_TEXT, Block::Of(words({77})), Block::Output(16));
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.output[0], '\0');
    EXPECT_EQ(answer.output[1], kMarker);
    EXPECT_EQ(answer.outLength, 0);
}

TEST_F(IOCtrlTest, DeviceTypesBecomeOneList)
{
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"no\" ?>\n";
    m_station.SetConstDocuments(
        kRequestLoadConstDevices,
        {declaration + "<Root><General><Typ>1</Typ><Name>Panel</Name></General></Root>",
         declaration + "<Root><General><Typ>2</Typ><Name>Reader</Name></General><Model>R1</Model></Root>"});
    Open();

    const std::string expected = declaration +
        "<devtypelist>\n"
        "<devtype>\n"
        "    <General>\n"
        "        <Typ>1</Typ>\n"
        "        <Name>Panel</Name>\n"
        "    </General>\n"
        "</devtype>\n"
        "<devtype>\n"
        "    <General>\n"
        "        <Typ>2</Typ>\n"
        "        <Name>Reader</Name>\n"
        "    </General>\n"
        "    <Model>R1</Model>\n"
        "</devtype>\n"
        "</devtypelist>\n";
    Answer answer = Call(MSC_IOCTL_GET_DEVICE_TYPES, Block::Null(0), Block::Output(4096));
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.Text(), expected);
    EXPECT_EQ(answer.outLength, static_cast<int32_t>(expected.size() + 1));

    answer = Call(MSC_IOCTL_GET_DEVICE_TYPES, Block::Null(0), Block::Output(100));
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.Text(), expected.substr(0, 99));
    EXPECT_EQ(answer.outLength, 100);

    // Too small to say anything.
    answer = Call(MSC_IOCTL_GET_DEVICE_TYPES, Block::Null(0), Block::Output(4));
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.output, std::vector<char>(4, kMarker));
    EXPECT_EQ(answer.outLength, 0);
}

TEST_F(IOCtrlTest, NoDeviceTypesWriteNothing)
{
    Open();
    const Answer answer = Call(MSC_IOCTL_GET_DEVICE_TYPES, Block::Null(0), Block::Output(64));
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.output, std::vector<char>(64, kMarker));
    EXPECT_EQ(answer.outLength, 0);
}

// ---- Events ---------------------------------------------------------------------------

TEST_F(IOCtrlTest, TheEventListIsStitchedFromSingleEvents)
{
    Open();
    // The whole list as one document reads the same, but for its last line end.
    const std::string expected = without_final_line_end(CMS_HelperClientLib::BuildListXml(m_events, "event"));
    ASSERT_EQ(expected.compare(0, std::strlen(kListDeclaration), kListDeclaration), 0);

    const size_t requests = m_simulator.GetRequests().size();
    Answer answer = Call(MSC_IOCTL_GET_EVENTS, text_block("event_type=3"), 16384);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.Text(), expected);
    EXPECT_EQ(answer.outLength, static_cast<int32_t>(expected.size() + 1));
    const std::vector<StationRequest> sent = RequestsSince(requests);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, kRequestGetEvents);
    EXPECT_EQ(leading_string(sent[0].body), "event_type=3");

    // A list cut by the room ends where the room does, and fails.
    answer = Call(MSC_IOCTL_GET_EVENTS, Block::Of(text_block("event_type=3")), Block::Output(400));
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.Text(), expected.substr(0, 399));
    EXPECT_EQ(answer.outLength, 400);

    answer = Call(MSC_IOCTL_GET_EVENTS, Block::Of(text_block("event_type=3")), Block::Output(1));
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.output, std::vector<char>{'\0'});
    EXPECT_EQ(answer.outLength, 0);
}

// A station that has no events to give.
class IOCtrlNoEventsTest : public IOCtrlTest
{
protected:
    bool WithEvents() const override { return false; }
};

TEST_F(IOCtrlNoEventsTest, AnEventListWithoutEventsStillClosesItsRoot)
{
    Open();
    const Answer answer = Call(MSC_IOCTL_GET_EVENTS, text_block("event_type=3"), 256);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.Text(), std::string(kListDeclaration) + "<eventlist>\r\n</eventlist>");
    EXPECT_EQ(answer.outLength, static_cast<int32_t>(answer.Text().size() + 1));
}

TEST_F(IOCtrlTest, RawAnswersAreCopiedAsFarAsTheyFit)
{
    Open();
    CByteStream events;
    for (const auto& event : m_events)
        ASSERT_TRUE(event->SaveToStream(&events));
    const std::vector<uint8_t> eventBytes = bytes_of(events);
    ASSERT_GT(eventBytes.size(), 50u);

    Answer answer = Call(MSC_IOCTL_GET_EVENTS_RAW, Block::Of(text_block("event_type=3")), Block::Output(60, 50));
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.outLength, 50);
    EXPECT_EQ(std::vector<uint8_t>(answer.output.begin(), answer.output.begin() + 50),
              std::vector<uint8_t>(eventBytes.begin(), eventBytes.begin() + 50));
    EXPECT_EQ(answer.output[50], kMarker);

    // The station echoes what follows the two words and its -1.
    const std::vector<uint8_t> payload = {'p', 'a', 'y', 'l', 'o', 'a', 'd'};
    const std::vector<uint8_t> input = words({7, 8}) + payload;
    const size_t requests = m_simulator.GetRequests().size();
    answer = Call(MSC_IOCTL_TRANSACT, Block::Of(input), Block::Output(8, 4));
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.outLength, 4);
    EXPECT_EQ(std::string(answer.output.data(), 8), "paylZZZZ");
    const std::vector<StationRequest> sent = RequestsSince(requests);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, kRequestTransact);
    EXPECT_EQ(sent[0].body, words({7, 8, -1}) + payload);

    answer = Call(MSC_IOCTL_TRANSACT, input, 64);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.outLength, 7);
    EXPECT_EQ(std::string(answer.output.data(), 7), "payload");
}

// ---- Client type ----------------------------------------------------------------------

TEST_F(IOCtrlTest, AChosenClientTypeIsUsedByTheNextLoginOnly)
{
    Open();
    const auto login_type = [](const StationRequest& login) {
        const std::vector<std::string> lines = split_text(leading_string(login.body), "\r\n");
        return lines.size() > 2 ? lines[2] : std::string();
    };
    ASSERT_EQ(Logins().size(), 1u);
    EXPECT_EQ(login_type(Logins()[0]), "6");

    for (int32_t refused : {6, 3, 0, -1, 13, 15})
        EXPECT_FALSE(Call(MSC_IOCTL_SET_CLIENT_TYPE, Block::Of(words({refused})), Block::Null(0)).ok) << refused;
    for (int32_t accepted : {9, 14, 12})
        EXPECT_TRUE(Call(MSC_IOCTL_SET_CLIENT_TYPE, Block::Of(words({accepted})), Block::Null(0)).ok) << accepted;
    EXPECT_EQ(Logins().size(), 1u);

    m_client->Close();
    Open();
    ASSERT_EQ(Logins().size(), 2u);
    EXPECT_EQ(login_type(Logins()[1]), "12");
}

// ---- Changes sent to the station --------------------------------------------------------

// Reads the leading words of a body, then a record of type T, which must be the
// whole rest.
template <class T>
std::function<void(CByteStream&)> record_named(const std::string& name, int32_t id)
{
    return [name, id](CByteStream& body) {
        T record;
        ASSERT_TRUE(record.LoadFromStream(&body, 0));
        EXPECT_EQ(record.Name, name);
        EXPECT_EQ(record.ID, id);
        EXPECT_EQ(body.GetRemaining(), 0);
    };
}

TEST_F(IOCtrlTest, ChangesReachTheStation)
{
    Open();
    const CMS_ObjectData object = make_object(kObjectA, "Depot");
    const CMS_DeviceData device = make_device(kDeviceA, "Panel C");
    const CMS_ObjectGroupData group = make_group(2, "East");
    CMS_ObjectSensorData sensor;
    sensor.ID = 2;
    sensor.ObjectID = kObjectA;
    sensor.Name = "Door";
    CMS_ObjectClientData client;
    client.ID = 1;
    client.ObjectID = kObjectA;
    client.Name = "Keyholder";
    CMS_ObjectPinData pin = make_pin(2, kObjectA);
    pin.Name = "Relay";

    const auto doc = [](const CObjectStoreXmlHelper& record, const char* tag) {
        return text_block(CMS_HelperClientLib::RecordToXml(record, tag));
    };
    const Block none = Block::Null(0);
    const Block forId = Block::Output(8, 4);
    const Block objectId = Block::Of(words({kObjectB}));

    struct Case
    {
        int32_t command;
        Block input;
        Block output;
        int32_t requestCode;
        std::vector<int32_t> leadingWords;
        std::function<void(CByteStream&)> rest;  // null: the words are the whole body
        int32_t newId;                           // 0: no identifier comes back
    };
    const Case cases[] = {
        {MSC_IOCTL_ADD_OBJECT, Block::Of(doc(object, "object")), forId, kRequestAddObject, {},
         record_named<CMS_ObjectData>("Depot", kObjectA), kObjectB + 1},
        {MSC_IOCTL_ADD_DEVICE, Block::Of(doc(device, "device")), forId, kRequestAddDevice, {},
         record_named<CMS_DeviceData>("Panel C", kDeviceA), kDeviceB + 1},
        {MSC_IOCTL_ADD_GROUP, Block::Of(doc(group, "objectgroup")), forId, kRequestAddGroup, {},
         record_named<CMS_ObjectGroupData>("East", 2), 3},
        {MSC_IOCTL_ADD_SENSOR, objectId, Block::Of(doc(sensor, "sensor")), kRequestAddSensor, {kObjectB, 1},
         record_named<CMS_ObjectSensorData>("Door", 2), 0},
        {MSC_IOCTL_ADD_CLIENT, objectId, Block::Of(doc(client, "client")), kRequestAddClient, {kObjectB, 1},
         record_named<CMS_ObjectClientData>("Keyholder", 1), 0},
        {MSC_IOCTL_ADD_PIN, objectId, Block::Of(doc(pin, "pin")), kRequestAddPin, {kObjectB, 1},
         record_named<CMS_ObjectPinData>("Relay", 2), 0},
        {MSC_IOCTL_CHANGE_OBJECT, Block::Of(doc(object, "object")), none, kRequestUpdateObject, {},
         record_named<CMS_ObjectData>("Depot", kObjectA), 0},
        {MSC_IOCTL_CHANGE_DEVICE, Block::Of(doc(device, "device")), none, kRequestUpdateDevice, {},
         record_named<CMS_DeviceData>("Panel C", kDeviceA), 0},
        {MSC_IOCTL_CHANGE_GROUP, Block::Of(doc(group, "objectgroup")), none, kRequestUpdateGroup, {},
         record_named<CMS_ObjectGroupData>("East", 2), 0},
        {MSC_IOCTL_CHANGE_SENSOR, objectId, Block::Of(doc(sensor, "sensor")), kRequestUpdateSensor, {kObjectB},
         record_named<CMS_ObjectSensorData>("Door", 2), 0},
        {MSC_IOCTL_CHANGE_CLIENT, objectId, Block::Of(doc(client, "client")), kRequestUpdateClient, {kObjectB},
         record_named<CMS_ObjectClientData>("Keyholder", 1), 0},
        {MSC_IOCTL_CHANGE_PIN, objectId, Block::Of(doc(pin, "pin")), kRequestUpdatePin, {kObjectB},
         record_named<CMS_ObjectPinData>("Relay", 2), 0},
        {MSC_IOCTL_REMOVE_OBJECT, Block::Of(doc(object, "object")), none, kRequestRemoveObject, {kObjectA}, nullptr,
         0},
        {MSC_IOCTL_REMOVE_DEVICE, Block::Of(doc(device, "device")), none, kRequestRemoveDevice, {kDeviceA}, nullptr,
         0},
        {MSC_IOCTL_REMOVE_GROUP, Block::Of(doc(group, "objectgroup")), none, kRequestRemoveGroup, {2}, nullptr, 0},
        {MSC_IOCTL_REMOVE_SENSOR, Block::Of(doc(sensor, "sensor")), none, kRequestRemoveSensor, {kObjectA, 2},
         nullptr, 0},
        {MSC_IOCTL_REMOVE_CLIENT, Block::Of(doc(client, "client")), none, kRequestRemoveClient, {kObjectA, 1},
         nullptr, 0},
        {MSC_IOCTL_REMOVE_PIN, Block::Of(doc(pin, "pin")), none, kRequestRemovePin, {kObjectA, 2}, nullptr, 0},
        {MSC_IOCTL_SEND_CONTROL, Block::Of(words({1, -2, 3})), none, kRequestSendControl, {1, -2, 3}, nullptr, 0},
        {MSC_IOCTL_SEND_CONTROL_BY_ID, Block::Of(words({kObjectB})), none, kRequestSendControl, {kObjectB, 0, 0},
         nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const size_t requests = m_simulator.GetRequests().size();
        const Answer answer = Call(c.command, c.input, c.output);
        ASSERT_TRUE(answer.ok);
        const std::vector<StationRequest> sent = RequestsSince(requests);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].code, c.requestCode);

        CByteStream body;
        body.Attach(sent[0].body.data(), static_cast<int32_t>(sent[0].body.size()));
        for (int32_t expected : c.leadingWords) {
            int32_t word = 0;
            ASSERT_TRUE(body.ReadInt32(word));
            EXPECT_EQ(word, expected);
        }
        if (c.rest)
            c.rest(body);
        else
            EXPECT_EQ(body.GetRemaining(), 0);

        if (c.newId != 0) {
            int32_t id = 0;
            std::memcpy(&id, answer.output.data(), 4);
            EXPECT_EQ(id, c.newId);
            EXPECT_EQ(answer.outLength, 4);
        } else {
            EXPECT_EQ(answer.outLength, 0);
        }
    }
}

TEST_F(IOCtrlTest, APostedItemCarriesTheCallersWordsAndText)
{
    Open();
    const size_t requests = m_simulator.GetRequests().size();
    const Answer answer = Call(MSC_IOCTL_POST_ITEM, Block::Of(words({4, 5, 6})), Block::Of(text_block("note")));
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.outLength, 0);

    const std::vector<StationRequest> sent = RequestsSince(requests);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, kRequestPostItem);
    CByteStream body;
    body.Attach(sent[0].body.data(), static_cast<int32_t>(sent[0].body.size()));
    StationItem item;
    ASSERT_TRUE(item.Read(&body, 0));
    const StationItem defaults;
    EXPECT_EQ(item.Int3, 4);
    EXPECT_EQ(item.Int1, 5);
    EXPECT_EQ(item.Int6, 6);
    EXPECT_EQ(item.Text1, "note");
    EXPECT_EQ(item.ID, defaults.ID);
    EXPECT_EQ(item.Int2, defaults.Int2);
    EXPECT_EQ(item.Int9, defaults.Int9);
    EXPECT_EQ(item.Int11, defaults.Int11);
    EXPECT_EQ(item.Text2, "");
    ASSERT_EQ(m_station.GetItems().size(), 1u);
}

TEST_F(IOCtrlTest, ARefusedChangeFails)
{
    Open();
    m_simulator.SetFault(kRequestSendControl, RequestFault::Refuse, "refused");
    EXPECT_FALSE(Call(MSC_IOCTL_SEND_CONTROL, Block::Of(words({1, 2, 3})), Block::Null(0)).ok);

    CMS_ObjectData object;
    object.Name = "Depot";
    m_simulator.SetFault(kRequestAddObject, RequestFault::Refuse, "refused");
    const Answer answer = Call(MSC_IOCTL_ADD_OBJECT,
                               Block::Of(text_block(CMS_HelperClientLib::RecordToXml(object, "object"))),
                               Block::Output(8, 4));
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.outLength, 0);
    EXPECT_EQ(answer.output, std::vector<char>(8, kMarker));
}

TEST_F(IOCtrlTest, RequestsFailWhileClosed)
{
    Open();
    m_client->Close();
    const size_t requests = m_simulator.GetRequests().size();
    EXPECT_FALSE(Call(MSC_IOCTL_GET_OBJECT_SENSORS, words({kObjectA}), 256).ok);
    EXPECT_FALSE(Call(MSC_IOCTL_SEND_CONTROL_BY_ID, Block::Of(words({kObjectA})), Block::Null(0)).ok);
    EXPECT_TRUE(RequestsSince(requests).empty());
}

// ---- Appending ------------------------------------------------------------------------------

TEST(CopyToBufferTest, CopiesWhatTheRoomAllowsAndTerminates)
{
    struct Case
    {
        int32_t room;
        std::string text;
        int32_t copied;
        std::string buffer;  // the first bytes after the call
    };
    const Case cases[] = {
        {10, "abc", 3, std::string("xyabc\0Z", 7)},
        {2, "abc", 2, std::string("xyab\0Z", 6)},
        {0, "abc", 0, "xyZZ"},
        {-3, "abc", 0, "xyZZ"},
        {5, "", 0, std::string("xy\0Z", 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.room << " " << c.text);
        std::vector<char> buffer(16, kMarker);
        buffer[0] = 'x';
        buffer[1] = 'y';
        int32_t written = 2;
        int32_t room = c.room;
        EXPECT_EQ(CMS_HelperClientLib::CopyToBuffer(buffer.data(), written, room, c.text), c.copied);
        EXPECT_EQ(written, 2 + c.copied);
        EXPECT_EQ(room, c.room - c.copied);
        EXPECT_EQ(std::string(buffer.data(), c.buffer.size()), c.buffer);
    }
}

} // namespace

#include "station/CMSC_Client.h"

#include "FakeArdentisLibrary.h"
#include "station/CMSC_ClientProxy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using IoCtrl = std::function<int32_t(int32_t, const void*, int32_t, void*, int32_t, int32_t*)>;

std::string bytes_of(std::initializer_list<int32_t> values)
{
    std::string bytes;
    for (int32_t value : values)
        bytes.append(reinterpret_cast<const char*>(&value), sizeof(value));
    return bytes;
}

// A command answering with a document as the library does: cut to the output
// block, and the full length + 1 reported.
IoCtrl document_answer(std::function<std::string()> document)
{
    return [document](int32_t, const void*, int32_t, void* output, int32_t outputSize, int32_t* outLength) {
        const std::string text = document();
        const size_t n = std::min(text.size(), static_cast<size_t>(outputSize) - 1);
        std::memcpy(output, text.data(), n);
        static_cast<char*>(output)[n] = '\0';
        *outLength = static_cast<int32_t>(text.size() + 1);
        return MSC_OK;
    };
}

// An identifier list refused, as the library refuses it, when it does not fit whole.
IoCtrl id_answer(size_t count)
{
    return [count](int32_t, const void*, int32_t, void* output, int32_t outputSize, int32_t* outLength) {
        if (static_cast<size_t>(outputSize) < 4 * count)
            return MSC_ERROR;
        int32_t* ids = static_cast<int32_t*>(output);
        for (size_t i = 0; i < count; ++i)
            ids[i] = static_cast<int32_t>(1000 + i);
        *outLength = static_cast<int32_t>(4 * count);
        return MSC_OK;
    };
}

class CMSC_ClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_proxy.Load("Ardentis.dll"));
        m_client = m_proxy.CreateClient();
        ASSERT_NE(m_client, nullptr);
        m_library.state.calls.clear();
    }

    FakeArdentisState& state() { return m_library.state; }

    const FakeArdentisCall& only_call()
    {
        EXPECT_EQ(state().calls.size(), 1u);
        if (state().calls.empty())
            state().calls.emplace_back();
        return state().calls.front();
    }

    std::vector<int32_t> output_sizes() const
    {
        std::vector<int32_t> sizes;
        for (const FakeArdentisCall& call : m_library.state.calls)
            sizes.push_back(call.outputSize);
        return sizes;
    }

    // Declared in this order so that the client goes first and the script last.
    FakeArdentisLibrary m_library;
    CMSC_ClientProxy m_proxy;
    std::unique_ptr<CMSC_Client> m_client;
};

struct DocumentWrapper
{
    const char* name;
    int (CMSC_Client::*wrapper)(int32_t, std::string&);
    int32_t command;
    int32_t bufferSize;
};

const DocumentWrapper kDocumentWrappers[] = {
    {"GetObjectByID", &CMSC_Client::GetObjectByID, MSC_IOCTL_GET_OBJECT_BY_ID, 65536},
    {"GetObjectByNumber", &CMSC_Client::GetObjectByNumber, MSC_IOCTL_GET_OBJECT_BY_NUMBER, 65536},
    {"GetObjectByDevice", &CMSC_Client::GetObjectByDevice, MSC_IOCTL_GET_OBJECT_BY_DEVICE, 65536},
    {"GetDeviceByID", &CMSC_Client::GetDeviceByID, MSC_IOCTL_GET_DEVICE_BY_ID, 65536},
    {"GetDeviceByNumber", &CMSC_Client::GetDeviceByNumber, MSC_IOCTL_GET_DEVICE_BY_NUMBER, 65536},
    {"GetObjectSensors", &CMSC_Client::GetObjectSensors, MSC_IOCTL_GET_OBJECT_SENSORS, 65536},
    {"GetObjectClients", &CMSC_Client::GetObjectClients, MSC_IOCTL_GET_OBJECT_CLIENTS, 65536},
    {"GetObjectPins", &CMSC_Client::GetObjectPins, MSC_IOCTL_GET_OBJECT_PINS, 65536},
    {"GetObjectSchedules", &CMSC_Client::GetObjectSchedules, MSC_IOCTL_GET_OBJECT_SCHEDULES, 65536},
    {"GetObjetGroupByID", &CMSC_Client::GetObjetGroupByID, MSC_IOCTL_GET_GROUP_BY_ID, 65536},
    {"GetGroupByNumber", &CMSC_Client::GetGroupByNumber, MSC_IOCTL_GET_GROUP_BY_NUMBER, 65536},
    {"GetObjectImages", &CMSC_Client::GetObjectImages, MSC_IOCTL_GET_OBJECT_IMAGES, 1048576},
};

// Every wrapper, each checking that its outputs were left as they were.
const std::vector<std::pair<const char*, std::function<int(CMSC_Client&)>>>& all_wrappers()
{
    using Text = int (CMSC_Client::*)(const std::string&);
    using ObjectText = int (CMSC_Client::*)(int32_t, const std::string&);
    using Ids = int (CMSC_Client::*)(std::vector<int32_t>&);
    auto ids = [](Ids wrapper) {
        return [wrapper](CMSC_Client& c) {
            std::vector<int32_t> list{7};
            const int result = (c.*wrapper)(list);
            EXPECT_EQ(list, std::vector<int32_t>{7});
            return result;
        };
    };
    auto textOut = [](std::function<int(CMSC_Client&, std::string&)> call) {
        return [call](CMSC_Client& c) {
            std::string text = "kept";
            const int result = call(c, text);
            EXPECT_EQ(text, "kept");
            return result;
        };
    };
    auto text = [](Text wrapper) { return [wrapper](CMSC_Client& c) { return (c.*wrapper)("<r/>"); }; };
    auto objectText = [](ObjectText wrapper) { return [wrapper](CMSC_Client& c) { return (c.*wrapper)(1, "<r/>"); }; };
    auto added = [](int (CMSC_Client::*wrapper)(const std::string&, int32_t&)) {
        return [wrapper](CMSC_Client& c) {
            int32_t id = 7;
            const int result = (c.*wrapper)("<r/>", id);
            EXPECT_EQ(id, 7);
            return result;
        };
    };
    static const auto wrappers = [&] {
        std::vector<std::pair<const char*, std::function<int(CMSC_Client&)>>> list = {
            {"Close", [](CMSC_Client& c) { return c.Close(); }},
            {"IsConnected", [](CMSC_Client& c) { return c.IsConnected(); }},
            {"ResetEventQueue", [](CMSC_Client& c) { return c.ResetEventQueue(); }},
            {"WaitEvent", [](CMSC_Client& c) { return c.WaitEvent(10, 0); }},
            {"ReadEvent",
             [](CMSC_Client& c) {
                 char buffer[8] = "kept";
                 const int result = c.ReadEvent(buffer, sizeof(buffer));
                 EXPECT_STREQ(buffer, "kept");
                 return result;
             }},
            {"IOCtrl",
             [](CMSC_Client& c) {
                 int32_t length = 7;
                 const int result = c.IOCtrl(MSC_IOCTL_GET_OBJECT_IDS, nullptr, 0, nullptr, 0, &length);
                 EXPECT_EQ(length, 7);
                 return result;
             }},
            {"GetObjectList", ids(&CMSC_Client::GetObjectList)},
            {"GetDeviceIds", ids(&CMSC_Client::GetDeviceIds)},
            {"GetGroupIds", ids(&CMSC_Client::GetGroupIds)},
            {"GetLoginValue", [](CMSC_Client& c) { return c.GetLoginValue(); }},
            {"Transact",
             [](CMSC_Client& c) {
                 char out[4] = "abc";
                 int32_t length = 7;
                 const int result = c.Transact(1, 2, "x", 1, out, sizeof(out), &length);
                 EXPECT_STREQ(out, "abc");
                 EXPECT_EQ(length, 7);
                 return result;
             }},
            {"GetEvents", textOut([](CMSC_Client& c, std::string& t) { return c.GetEvents("filter", t, 100); })},
            {"GetDeviceTests",
             textOut([](CMSC_Client& c, std::string& t) { return c.GetDeviceTests("filter", t, 100); })},
            {"GetEventsRaw",
             [](CMSC_Client& c) {
                 char buffer[8] = "kept";
                 const int result = c.GetEventsRaw("filter", buffer, sizeof(buffer));
                 EXPECT_STREQ(buffer, "kept");
                 return result;
             }},
            {"GetDictionaryText",
             textOut([](CMSC_Client& c, std::string& t) { return c.GetDictionaryText(3, t, 100); })},
            {"GetUsers", textOut([](CMSC_Client& c, std::string& t) { return c.GetUsers(t, 100); })},
            {"GetDeviceTypes", textOut([](CMSC_Client& c, std::string& t) { return c.GetDeviceTypes(t, 100); })},
            {"GetShifts", textOut([](CMSC_Client& c, std::string& t) { return c.GetShifts(t, 100); })},
            {"SetClientType", [](CMSC_Client& c) { return c.SetClientType(12); }},
            {"AddObject", added(&CMSC_Client::AddObject)},
            {"AddDevice", added(&CMSC_Client::AddDevice)},
            {"AddGroup", added(&CMSC_Client::AddGroup)},
            {"AddSensor", objectText(&CMSC_Client::AddSensor)},
            {"AddClient", objectText(&CMSC_Client::AddClient)},
            {"AddPin", objectText(&CMSC_Client::AddPin)},
            {"ChangeObject", text(&CMSC_Client::ChangeObject)},
            {"ChangeDevice", text(&CMSC_Client::ChangeDevice)},
            {"ChangeGroup", text(&CMSC_Client::ChangeGroup)},
            {"ChangeSensor", objectText(&CMSC_Client::ChangeSensor)},
            {"ChangeClient", objectText(&CMSC_Client::ChangeClient)},
            {"ChangePin", objectText(&CMSC_Client::ChangePin)},
            {"RemoveObject", text(&CMSC_Client::RemoveObject)},
            {"RemoveDevice", text(&CMSC_Client::RemoveDevice)},
            {"RemoveSensor", text(&CMSC_Client::RemoveSensor)},
            {"RemoveClient", text(&CMSC_Client::RemoveClient)},
            {"RemovePin", text(&CMSC_Client::RemovePin)},
            {"RemoveGroup", text(&CMSC_Client::RemoveGroup)},
            {"SendControl", [](CMSC_Client& c) { return c.SendControl(1, 2, 3); }},
            {"SendControlById", [](CMSC_Client& c) { return c.SendControlById(1); }},
            {"PostItem", [](CMSC_Client& c) { return c.PostItem(1, 2, 3, "text"); }},
        };
        for (const DocumentWrapper& w : kDocumentWrappers) {
            const auto wrapper = w.wrapper;
            list.emplace_back(w.name,
                              textOut([wrapper](CMSC_Client& c, std::string& t) { return (c.*wrapper)(1, t); }));
        }
        return list;
    }();
    return wrappers;
}

TEST_F(CMSC_ClientTest, UnboundWrappersGiveMinusOneWithoutCallingTheLibrary)
{
    CMSC_ClientProxy notLoaded;
    CMSC_Client noProxy(nullptr, 0);
    CMSC_Client noHandle(&m_proxy);
    CMSC_Client proxyNotLoaded(&notLoaded, 0);
    // Answers that would show should the library be reached.
    state().ioctrl = document_answer([] { return std::string("<r/>"); });
    state().readEvent = [](char* buffer, int32_t) {
        buffer[0] = 'X';
        return MSC_OK;
    };
    const struct {
        const char* what;
        CMSC_Client* client;
    } clients[] = {{"no proxy", &noProxy}, {"no handle", &noHandle}, {"library not loaded", &proxyNotLoaded}};
    for (const auto& c : clients) {
        for (const auto& wrapper : all_wrappers())
            EXPECT_EQ(wrapper.second(*c.client), -1) << c.what << ": " << wrapper.first;
        EXPECT_EQ(c.client->GetLastError(), "") << c.what;
    }
    EXPECT_TRUE(state().calls.empty());

    // Open tests only the proxy: a handle of -1 reaches the library, which refuses it.
    EXPECT_EQ(noProxy.Open("localhost", 5000, "u", "p"), -1);
    EXPECT_EQ(proxyNotLoaded.Open("localhost", 5000, "u", "p"), -1);
    EXPECT_TRUE(state().calls.empty());
    EXPECT_EQ(noHandle.Open("localhost", 5000, "u", "p"), MSC_BAD_HANDLE);
    EXPECT_EQ(only_call().name, "msc_Open");
    EXPECT_EQ(only_call().handle, -1);
}


TEST_F(CMSC_ClientTest, GetLastErrorReadsUpTo8192Bytes)
{
    state().lastError = "Нет связи";
    EXPECT_EQ(m_client->GetLastError(), "Нет связи");
    EXPECT_EQ(only_call().number, 8192);

    state().lastError = std::string(9000, 'e');
    EXPECT_EQ(m_client->GetLastError(), std::string(8191, 'e'));

    state().lastErrorResult = MSC_BAD_ARGUMENT;
    EXPECT_EQ(m_client->GetLastError(), "");
}

TEST_F(CMSC_ClientTest, IdListsAppendAndGrowTheirBufferUntilTheListFits)
{
    const struct {
        const char* name;
        int (CMSC_Client::*wrapper)(std::vector<int32_t>&);
        int32_t command;
    } lists[] = {
        {"GetObjectList", &CMSC_Client::GetObjectList, MSC_IOCTL_GET_OBJECT_IDS},
        {"GetDeviceIds", &CMSC_Client::GetDeviceIds, MSC_IOCTL_GET_DEVICE_IDS},
        {"GetGroupIds", &CMSC_Client::GetGroupIds, MSC_IOCTL_GET_GROUP_IDS},
    };
    const struct {
        size_t count;
        std::vector<int32_t> sizes;
    } stations[] = {
        {0, {65536}},
        {3, {65536}},
        {16384, {65536}},
        {16385, {65536, 131072}},
        {40000, {65536, 131072, 262144}},
    };
    for (const auto& list : lists) {
        for (const auto& station : stations) {
            SCOPED_TRACE(std::string(list.name) + " with " + std::to_string(station.count) + " ids");
            state().calls.clear();
            state().ioctrl = id_answer(station.count);
            std::vector<int32_t> ids{7};
            EXPECT_EQ(((*m_client).*list.wrapper)(ids), MSC_OK);
            ASSERT_EQ(ids.size(), station.count + 1);
            EXPECT_EQ(ids.front(), 7);
            if (station.count > 0) {
                EXPECT_EQ(ids.back(), static_cast<int32_t>(1000 + station.count - 1));
            }
            EXPECT_EQ(output_sizes(), station.sizes);
            for (const FakeArdentisCall& call : state().calls) {
                EXPECT_EQ(call.command, list.command);
                EXPECT_TRUE(call.hasOutLength);
            }
        }
    }
}

TEST_F(CMSC_ClientTest, IdListGrowthStopsAt64MiBAndOnOtherFailures)
{
    state().ioctrl = id_answer(size_t(1) << 30);
    std::vector<int32_t> ids{7};
    EXPECT_EQ(m_client->GetObjectList(ids), MSC_ERROR);
    EXPECT_EQ(ids, std::vector<int32_t>{7});
    std::vector<int32_t> sizes;
    for (int32_t size = 65536; size <= 64 * 1024 * 1024; size *= 2)
        sizes.push_back(size);
    EXPECT_EQ(output_sizes(), sizes);

    // Only a refusal for lack of room is worth a larger buffer.
    state().calls.clear();
    state().ioctrl = [](int32_t, const void*, int32_t, void*, int32_t, int32_t*) { return MSC_NOT_CONNECTED; };
    EXPECT_EQ(m_client->GetObjectList(ids), MSC_NOT_CONNECTED);
    EXPECT_EQ(state().calls.size(), 1u);
    EXPECT_EQ(ids, std::vector<int32_t>{7});
}

TEST_F(CMSC_ClientTest, IdListTakesNoMoreThanTheBufferHolds)
{
    // An out length beyond the buffer is not read past it.
    state().ioctrl = [](int32_t, const void*, int32_t, void*, int32_t outputSize, int32_t* outLength) {
        *outLength = outputSize + 400;
        return MSC_OK;
    };
    std::vector<int32_t> ids;
    EXPECT_EQ(m_client->GetGroupIds(ids), MSC_OK);
    EXPECT_EQ(ids.size(), 65536u / 4);
}

TEST_F(CMSC_ClientTest, DocumentsTooLongForTheBufferAreAskedForAgainWhole)
{
    for (const DocumentWrapper& w : kDocumentWrappers) {
        SCOPED_TRACE(w.name);
        const std::string shortDocument = "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\r\n<sensorlist/>\r\n";
        // A document that needs exactly the first buffer, and ones longer than it.
        const std::string fitting(static_cast<size_t>(w.bufferSize) - 1, 's');
        const std::string longer(static_cast<size_t>(w.bufferSize) + 30000, 'l');
        const struct {
            const std::string* document;
            std::vector<int32_t> sizes;
        } cases[] = {
            {&shortDocument, {w.bufferSize}},
            {&fitting, {w.bufferSize}},
            {&longer, {w.bufferSize, w.bufferSize + 30001}},
        };
        for (const auto& c : cases) {
            state().calls.clear();
            const std::string document = *c.document;
            state().ioctrl = document_answer([document] { return document; });
            std::string text;
            EXPECT_EQ(((*m_client).*w.wrapper)(4711, text), MSC_OK);
            EXPECT_EQ(text, document);
            EXPECT_EQ(output_sizes(), c.sizes);
            for (const FakeArdentisCall& call : state().calls) {
                EXPECT_EQ(call.command, w.command);
                EXPECT_EQ(call.input, bytes_of({4711}));
                EXPECT_TRUE(call.hasOutLength);
            }
        }
    }
}

TEST_F(CMSC_ClientTest, DocumentIsAskedForAgainOnlyOnce)
{
    // A document that grows between the two asks arrives cut by the library.
    size_t length = 70000;
    state().ioctrl = document_answer([&length] {
        length += 1000;
        return std::string(length, 'g');
    });
    std::string text;
    EXPECT_EQ(m_client->GetObjectSensors(1, text), MSC_OK);
    EXPECT_EQ(output_sizes(), (std::vector<int32_t>{65536, 71001}));
    EXPECT_EQ(text, std::string(71000, 'g'));
}

TEST_F(CMSC_ClientTest, FailedDocumentQueryLeavesTheText)
{
    // The library may have written part of the block before it failed.
    state().ioctrl = [](int32_t, const void*, int32_t, void* output, int32_t, int32_t* outLength) {
        std::strcpy(static_cast<char*>(output), "<partial");
        *outLength = 0;
        return MSC_ERROR;
    };
    for (const DocumentWrapper& w : kDocumentWrappers) {
        std::string text = "kept";
        EXPECT_EQ(((*m_client).*w.wrapper)(1, text), MSC_ERROR) << w.name;
        EXPECT_EQ(text, "kept") << w.name;
    }
    EXPECT_EQ(state().calls.size(), std::size(kDocumentWrappers));
}

TEST_F(CMSC_ClientTest, TextInCommandsPassTheTextWithItsTerminator)
{
    const std::string cp1251 = "<object>\xCE\xE1\xFA\xE5\xEA\xF2</object>";
    int32_t newId = 0;
    const struct {
        int32_t command;
        std::function<int(CMSC_Client&, const std::string&)> call;
    } cases[] = {
        {MSC_IOCTL_ADD_OBJECT, [&](CMSC_Client& c, const std::string& t) { return c.AddObject(t, newId); }},
        {MSC_IOCTL_ADD_DEVICE, [&](CMSC_Client& c, const std::string& t) { return c.AddDevice(t, newId); }},
        {MSC_IOCTL_ADD_GROUP, [&](CMSC_Client& c, const std::string& t) { return c.AddGroup(t, newId); }},
        {MSC_IOCTL_CHANGE_OBJECT, [](CMSC_Client& c, const std::string& t) { return c.ChangeObject(t); }},
        {MSC_IOCTL_CHANGE_DEVICE, [](CMSC_Client& c, const std::string& t) { return c.ChangeDevice(t); }},
        {MSC_IOCTL_CHANGE_GROUP, [](CMSC_Client& c, const std::string& t) { return c.ChangeGroup(t); }},
        {MSC_IOCTL_REMOVE_OBJECT, [](CMSC_Client& c, const std::string& t) { return c.RemoveObject(t); }},
        {MSC_IOCTL_REMOVE_DEVICE, [](CMSC_Client& c, const std::string& t) { return c.RemoveDevice(t); }},
        {MSC_IOCTL_REMOVE_SENSOR, [](CMSC_Client& c, const std::string& t) { return c.RemoveSensor(t); }},
        {MSC_IOCTL_REMOVE_CLIENT, [](CMSC_Client& c, const std::string& t) { return c.RemoveClient(t); }},
        {MSC_IOCTL_REMOVE_PIN, [](CMSC_Client& c, const std::string& t) { return c.RemovePin(t); }},
        {MSC_IOCTL_REMOVE_GROUP, [](CMSC_Client& c, const std::string& t) { return c.RemoveGroup(t); }},
        {MSC_IOCTL_GET_EVENTS,
         [](CMSC_Client& c, const std::string& t) {
             std::string text;
             return c.GetEvents(t, text, 100);
         }},
        {MSC_IOCTL_GET_DEVICE_TESTS,
         [](CMSC_Client& c, const std::string& t) {
             std::string text;
             return c.GetDeviceTests(t, text, 100);
         }},
        {MSC_IOCTL_GET_EVENTS_RAW,
         [](CMSC_Client& c, const std::string& t) {
             char buffer[100];
             return c.GetEventsRaw(t, buffer, sizeof(buffer));
         }},
    };
    // A text is passed up to its first 0, as the library reads it.
    const struct {
        std::string text;
        std::string passed;
    } texts[] = {
        {cp1251, cp1251},
        {"", ""},
        {std::string("date>1\0tail", 11), "date>1"},
    };
    state().ioctrl = [](int32_t, const void*, int32_t, void*, int32_t, int32_t*) { return MSC_ERROR; };
    for (const auto& c : cases) {
        for (const auto& t : texts) {
            state().calls.clear();
            EXPECT_EQ(c.call(*m_client, t.text), MSC_ERROR) << c.command;
            EXPECT_EQ(only_call().command, c.command);
            EXPECT_EQ(only_call().inputSize, static_cast<int32_t>(t.passed.size() + 1)) << c.command;
            EXPECT_EQ(only_call().input, t.passed + '\0') << c.command;
        }
    }
}

TEST_F(CMSC_ClientTest, RecordsPassedInTheOutputBlock)
{
    const std::string sensor = "<sensorlist><sensor/></sensorlist>";
    const struct {
        int32_t command;
        std::function<int(CMSC_Client&)> call;
        std::string input;
    } cases[] = {
        {MSC_IOCTL_ADD_SENSOR, [&](CMSC_Client& c) { return c.AddSensor(55, sensor); }, bytes_of({55})},
        {MSC_IOCTL_ADD_CLIENT, [&](CMSC_Client& c) { return c.AddClient(55, sensor); }, bytes_of({55})},
        {MSC_IOCTL_ADD_PIN, [&](CMSC_Client& c) { return c.AddPin(55, sensor); }, bytes_of({55})},
        {MSC_IOCTL_CHANGE_SENSOR, [&](CMSC_Client& c) { return c.ChangeSensor(55, sensor); }, bytes_of({55})},
        {MSC_IOCTL_CHANGE_CLIENT, [&](CMSC_Client& c) { return c.ChangeClient(55, sensor); }, bytes_of({55})},
        {MSC_IOCTL_CHANGE_PIN, [&](CMSC_Client& c) { return c.ChangePin(55, sensor); }, bytes_of({55})},
        {MSC_IOCTL_POST_ITEM, [&](CMSC_Client& c) { return c.PostItem(1, -2, 3, sensor); }, bytes_of({1, -2, 3})},
    };
    state().ioctrl = [](int32_t, const void*, int32_t, void*, int32_t, int32_t*) { return MSC_OK; };
    for (const auto& c : cases) {
        state().calls.clear();
        EXPECT_EQ(c.call(*m_client), MSC_OK) << c.command;
        EXPECT_EQ(only_call().command, c.command);
        EXPECT_EQ(only_call().input, c.input) << c.command;
        EXPECT_EQ(only_call().outputSize, static_cast<int32_t>(sensor.size() + 1)) << c.command;
        EXPECT_EQ(only_call().output, sensor + '\0') << c.command;
    }
}


TEST_F(CMSC_ClientTest, SizedTextQueriesUseTheCallersSize)
{
    state().ioctrl = document_answer([] { return std::string("<userlist/>"); });
    const struct {
        int32_t command;
        std::function<int(CMSC_Client&, std::string&, int32_t)> call;
        std::string input;
    } cases[] = {
        {MSC_IOCTL_GET_EVENTS, [](CMSC_Client& c, std::string& t, int32_t n) { return c.GetEvents("date>1", t, n); },
         std::string("date>1", 7)},
        {MSC_IOCTL_GET_DEVICE_TESTS,
         [](CMSC_Client& c, std::string& t, int32_t n) { return c.GetDeviceTests("date>1", t, n); },
         std::string("date>1", 7)},
        {MSC_IOCTL_GET_DICTIONARY_TEXT,
         [](CMSC_Client& c, std::string& t, int32_t n) { return c.GetDictionaryText(9, t, n); }, bytes_of({9})},
        {MSC_IOCTL_GET_USERS, [](CMSC_Client& c, std::string& t, int32_t n) { return c.GetUsers(t, n); }, ""},
        {MSC_IOCTL_GET_DEVICE_TYPES, [](CMSC_Client& c, std::string& t, int32_t n) { return c.GetDeviceTypes(t, n); },
         ""},
        {MSC_IOCTL_GET_SHIFTS, [](CMSC_Client& c, std::string& t, int32_t n) { return c.GetShifts(t, n); }, ""},
    };
    for (const auto& c : cases) {
        state().calls.clear();
        std::string text;
        EXPECT_EQ(c.call(*m_client, text, 300), MSC_OK) << c.command;
        EXPECT_EQ(text, "<userlist/>");
        EXPECT_EQ(only_call().command, c.command);
        EXPECT_EQ(only_call().input, c.input);
        EXPECT_EQ(only_call().hasInput, !c.input.empty());
        EXPECT_EQ(only_call().outputSize, 300);

        // A buffer cut by the library gives what it holds.
        EXPECT_EQ(c.call(*m_client, text, 6), MSC_OK) << c.command;
        EXPECT_EQ(text, "<user");

        // A negative size is refused before the library.
        state().calls.clear();
        text = "kept";
        EXPECT_EQ(c.call(*m_client, text, -1), MSC_ERROR) << c.command;
        EXPECT_EQ(text, "kept");
        EXPECT_TRUE(state().calls.empty());
    }
}

TEST_F(CMSC_ClientTest, RawEventsGoIntoTheCallersBuffer)
{
    state().ioctrl = [](int32_t, const void*, int32_t, void* output, int32_t outputSize, int32_t* outLength) {
        const int32_t n = std::min(outputSize, 5);
        std::memcpy(output, "\x01\x02\x00\x03\x04", static_cast<size_t>(n));
        *outLength = n;
        return MSC_OK;
    };
    char buffer[16] = {};
    int32_t length = 0;
    EXPECT_EQ(m_client->GetEventsRaw("date>1", buffer, sizeof(buffer), &length), MSC_OK);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(std::string(buffer, 5), std::string("\x01\x02\x00\x03\x04", 5));
    EXPECT_EQ(only_call().outputSize, 16);

    state().calls.clear();
    EXPECT_EQ(m_client->GetEventsRaw("date>1", nullptr, 16), MSC_ERROR);
    EXPECT_EQ(m_client->GetEventsRaw("date>1", buffer, -1), MSC_ERROR);
    EXPECT_TRUE(state().calls.empty());
}

TEST_F(CMSC_ClientTest, TransactSendsOneBlockAndPassesTheAnswerOn)
{
    state().ioctrl = [](int32_t, const void*, int32_t, void* output, int32_t outputSize, int32_t* outLength) {
        std::memcpy(output, "ok", static_cast<size_t>(std::min(outputSize, 2)));
        *outLength = 2;
        return MSC_OK;
    };
    char answer[8] = {};
    int32_t length = 0;
    EXPECT_EQ(m_client->Transact(3, -4, "data", 4, answer, sizeof(answer), &length), MSC_OK);
    EXPECT_EQ(only_call().command, MSC_IOCTL_TRANSACT);
    EXPECT_EQ(only_call().input, bytes_of({3, -4}) + "data");
    EXPECT_EQ(only_call().outputSize, 8);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(std::string(answer, 2), "ok");

    state().calls.clear();
    EXPECT_EQ(m_client->Transact(3, 4, nullptr, 0, answer, sizeof(answer), &length), MSC_OK);
    EXPECT_EQ(only_call().input, bytes_of({3, 4}));

    state().calls.clear();
    EXPECT_EQ(m_client->Transact(3, 4, "data", -1, answer, sizeof(answer), &length), MSC_ERROR);
    EXPECT_EQ(m_client->Transact(3, 4, nullptr, 4, answer, sizeof(answer), &length), MSC_ERROR);
    EXPECT_EQ(m_client->Transact(3, 4, "data", INT32_MAX, answer, sizeof(answer), &length), MSC_ERROR);
    EXPECT_TRUE(state().calls.empty());
}


TEST_F(CMSC_ClientTest, DeletionClosesABoundClientOnly)
{
    const int32_t handle = m_client->GetHandle();
    m_client.reset();
    EXPECT_EQ(only_call().name, "msc_Close");
    EXPECT_EQ(only_call().handle, handle);

    state().calls.clear();
    { CMSC_Client unbound(&m_proxy); }
    { CMSC_Client noProxy(nullptr, 3); }
    EXPECT_TRUE(state().calls.empty());
}

} // namespace

// The client instance against the scripted station on loopback, with the
// library's time constants shortened: notifications into the caches and the
// callback, the event queue, and the worker's watch over the connection.

#include "client/CMS_HelperClientLib.h"

#include "base/CByteStream.h"
#include "base/InputBounds.h"
#include "base/Timeouts.h"
#include "CallLog.h"
#include "connection/LanClientError.h"
#include "HangingListener.h"
#include "RecordBuilders.h"
#include "ScriptedStationTest.h"
#include "testsupport/WaitUntil.h"
#include "threads/CManualResetEventSock.h"
#include "wire/StationNotifyCode.h"
#include "wire/StationRequestCode.h"
#include "WireBytes.h"

#include "platform/Event.h"
#include "platform/TickCount.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using stationsim::RequestFault;
using stationsim::ScriptedStation;
using stationsim::StationReply;
using stationsim::StationRequest;
using stationsim::StationSimulator;

// Reconnect checks every 10 ms; pings every 5 s with 500 ms for the answer, so
// that no test but the one about pings meets one, and a loaded machine does
// not miss an answer.
constexpr uint32_t kScale = 10;
// For the ping test: a ping every second, answered within 100 ms.
constexpr uint32_t kPingScale = 50;
constexpr intptr_t kUser = 42;
constexpr auto kWait = std::chrono::milliseconds(5000);

// As another server made it: the library marks what it caches as its own (-1).
template <class Record>
Record foreign(Record record)
{
    record.OriginServerId = 7;
    return record;
}

bool find_pin(CMS_ServerClient& client, int32_t id, CMS_ObjectPinData& out)
{
    for (int32_t i = 0; i < client.GetPinCount(); ++i)
        if (client.GetPinAt(i, out) && out.ID == id)
            return true;
    return false;
}

std::string read_event(CMS_HelperClientLib& instance)
{
    std::vector<char> buffer(32000, 'x');
    if (!instance.ReadEvent(buffer.data(), static_cast<int32_t>(buffer.size())))
        return std::string();
    return std::string(buffer.data());
}

// Holds the station's answer to one kind of request until the test lets it go.
class HeldAnswer
{
public:
    void Hold(StationSimulator& simulator, int32_t code)
    {
        simulator.SetHandler(code, [this](const StationRequest&) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_held = true;
            m_changed.notify_all();
            m_changed.wait(lock, [&] { return m_released; });
            return StationReply::Success();
        });
    }
    bool WaitUntilHeld()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kWait, [&] { return m_held; });
    }
    void Release()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_released = false;
};

class ClientInstanceTest : public ScriptedStationTest
{
protected:
    void SetUp() override
    {
        Timeouts::SetScaleForTests(kScale);
        g_calls.Clear();
        ScriptedStationTest::SetUp();
        station.AddGroup(make_group(1));
        station.AddObject(make_object(1));
        station.AddPin(make_pin(11, 1, 3, 1));
        station.AddDevice(make_device(5));
    }

    void TearDown() override
    {
        held.Release();
        hold.Release();
        instance.reset();
        g_hold = nullptr;
        simulator.Stop();
        Timeouts::SetScaleForTests(1);
        platform::set_tick_offset_for_tests(0);
    }

    CMS_HelperClientLib& MakeInstance(MscNotifyCallback callback = record_call, intptr_t user = kUser)
    {
        instance = std::make_unique<CMS_HelperClientLib>();
        instance->Start(callback, user, 6);
        return *instance;
    }

    bool Open() { return instance->Open("127.0.0.1", simulator.GetPort(), "operator", "secret"); }

    // Shuts the instance down and deletes it, as msc_Finalize does; how long that took.
    std::chrono::milliseconds ShutDownAndDelete()
    {
        const auto start = std::chrono::steady_clock::now();
        instance->Shutdown();
        instance.reset();
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    }

    CMS_ServerClient& Cache() { return instance->GetServerClient(); }

    // With the real time-outs, an open instance and a host thread whose request
    // the station never answers (it would wait a minute); true once the station
    // has the request. The caller joins the thread when it is joinable.
    bool StartUnansweredRequest(std::thread& host, std::atomic<int>& result)
    {
        Timeouts::SetScaleForTests(1);
        MakeInstance();
        if (!Open())
            return false;
        simulator.SetFault(kRequestGetShifts, RequestFault::DropAnswer);
        const size_t seen = simulator.GetRequests().size();
        host = std::thread([this, &result] {
            RecordList<CMS_ShiftData> shifts;
            result = Cache().GetShifts(shifts) ? 1 : 0;
        });
        return simulator.WaitForRequests(seen + 1, 5000) && simulator.GetRequests().back().code == kRequestGetShifts;
    }

    // The worker handles packets in order: once the callback of an item added
    // after `send` has come, everything sent before it has been dispatched.
    void SendThenMarker(const std::function<void()>& send)
    {
        const size_t before = g_calls.Count();
        send();
        ASSERT_EQ(station.NotifyItem(kNotifyItemAdded, make_item(900 + static_cast<int32_t>(before), 1)), 1);
        ASSERT_TRUE(g_calls.WaitForCount(before + 1));
    }

    // An open instance whose first callback, for item 1, holds the worker;
    // items 2 to 20 then wait in its queue.
    void QueueBehindAHeldCallback()
    {
        g_hold = &hold;
        MakeInstance(hold_first_call);
        ASSERT_TRUE(Open());
        ASSERT_EQ(station.NotifyItem(kNotifyItemAdded, make_item(1)), 1);
        ASSERT_TRUE(g_calls.WaitForCount(1));
        for (int32_t id = 2; id <= 20; ++id)
            ASSERT_EQ(station.NotifyItem(kNotifyItemAdded, make_item(id)), 1);
        // The station answers after sending them: once the answer is in, so are they.
        ASSERT_TRUE(Cache().Ping(5000));
    }

    FirstCallHold hold;
    HeldAnswer held;
    std::unique_ptr<CMS_HelperClientLib> instance;
};

} // namespace

TEST_F(ClientInstanceTest, OpenConnectsAndLoadsOrFailsWithoutReconnecting)
{
    MakeInstance();
    EXPECT_FALSE(instance->IsOpen());

    EXPECT_FALSE(instance->Open("127.0.0.1", simulator.GetPort(), "operator", "wrong"));
    EXPECT_FALSE(instance->IsOpen());
    EXPECT_FALSE(instance->GetConnected());

    ASSERT_TRUE(Open());
    EXPECT_TRUE(instance->IsOpen());
    EXPECT_TRUE(instance->IsConnected());
    EXPECT_EQ(Cache().GetObjectCount(), 1);
    EXPECT_EQ(Cache().GetPinCount(), 1);

    instance->Close();
    EXPECT_FALSE(instance->IsOpen());
    EXPECT_FALSE(instance->GetConnected());
    EXPECT_TRUE(wait_until([&] { return simulator.GetOpenConnections() == 0; }));
    // The host's own Open and Close are not notified.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(g_calls.Count(), 0u);
    EXPECT_EQ(simulator.GetAcceptedConnections(), 2u);
}

TEST_F(ClientInstanceTest, NotificationsReachTheCachesAndTheCallback)
{
    MakeInstance();
    ASSERT_TRUE(Open());
    CMS_ServerClient& cache = Cache();

    struct Step
    {
        const char* what;
        std::function<int()> send;
        int32_t code;
        const char* root;  // null: no document
        std::function<void()> check;
    };
    const std::vector<Step> steps = {
        {"object added", [&] { return station.NotifyObject(kNotifyObjectAdded, foreign(make_object(2))); },
         MSC_NOTIFY_OBJECT_ADDED, "objectlist",
         [&] {
             CMS_ObjectData object;
             ASSERT_TRUE(cache.FindObjectByID(2, object));
             EXPECT_EQ(object.OriginServerId, -1);
         }},
        {"object changed",
         [&] { return station.NotifyObject(kNotifyObjectChanged, foreign(make_object(2, "renamed"))); },
         MSC_NOTIFY_OBJECT_CHANGED, "objectlist",
         [&] {
             CMS_ObjectData object;
             ASSERT_TRUE(cache.FindObjectByID(2, object));
             EXPECT_EQ(object.Name, "renamed");
         }},
        {"pin added", [&] { return station.NotifyPin(kNotifyPinAdded, foreign(make_pin(21, 2))); },
         MSC_NOTIFY_PIN_ADDED, "pinlist", [&] { EXPECT_EQ(cache.GetPinCount(), 2); }},
        {"pin changed",
         [&] {
             CMS_ObjectPinData pin = foreign(make_pin(21, 2));
             pin.Name = "door";
             return station.NotifyPin(kNotifyPinChanged, pin);
         },
         MSC_NOTIFY_PIN_CHANGED, "pinlist",
         [&] {
             CMS_ObjectPinData pin;
             ASSERT_TRUE(find_pin(cache, 21, pin));
             EXPECT_EQ(pin.Name, "door");
         }},
        {"pin removed", [&] { return station.NotifyPin(kNotifyPinRemoved, foreign(make_pin(21, 2))); },
         MSC_NOTIFY_PIN_REMOVED, "pinlist", [&] { EXPECT_EQ(cache.GetPinCount(), 1); }},
        {"device added", [&] { return station.NotifyDevice(kNotifyDeviceAdded, foreign(make_device(6))); },
         MSC_NOTIFY_DEVICE_ADDED, "devicelist", [&] { EXPECT_EQ(cache.GetDeviceCount(), 2); }},
        {"device changed", [&] { return station.NotifyDevice(kNotifyDeviceChanged, foreign(make_device(6, "panel"))); },
         MSC_NOTIFY_DEVICE_CHANGED, "devicelist",
         [&] {
             CMS_DeviceData device;
             ASSERT_TRUE(cache.FindDeviceByID(6, device));
             EXPECT_EQ(device.Name, "panel");
         }},
        {"device removed", [&] { return station.NotifyDevice(kNotifyDeviceRemoved, foreign(make_device(6))); },
         MSC_NOTIFY_DEVICE_REMOVED, "devicelist", [&] { EXPECT_EQ(cache.GetDeviceCount(), 1); }},
        {"group added", [&] { return station.NotifyGroup(kNotifyGroupAdded, foreign(make_group(2))); },
         MSC_NOTIFY_GROUP_ADDED, "objectgrouplist", [&] { EXPECT_EQ(cache.GetGroupCount(), 2); }},
        {"group changed", [&] { return station.NotifyGroup(kNotifyGroupChanged, foreign(make_group(2, "south"))); },
         MSC_NOTIFY_GROUP_CHANGED, "objectgrouplist",
         [&] {
             CMS_ObjectGroupData group;
             ASSERT_TRUE(cache.FindGroupByID(2, group));
             EXPECT_EQ(group.Name, "south");
         }},
        {"item added", [&] { return station.NotifyItem(kNotifyItemAdded, make_item(31)); }, MSC_NOTIFY_ITEM_ADDED,
         nullptr, [&] { EXPECT_EQ(cache.GetItemCount(), 1); }},
        {"item changed", [&] { return station.NotifyItem(kNotifyItemChanged, make_item(31)); },
         MSC_NOTIFY_ITEM_CHANGED, nullptr, [&] { EXPECT_EQ(cache.GetItemCount(), 1); }},
        {"item removed", [&] { return station.NotifyItem(kNotifyItemRemoved, make_item(31)); },
         MSC_NOTIFY_ITEM_REMOVED, nullptr, [&] { EXPECT_EQ(cache.GetItemCount(), 0); }},
        {"object moved", [&] { return station.NotifyObjectMoved(2, 2); }, MSC_NOTIFY_OBJECT_GROUP_MOVED,
         "objectlist",
         [&] {
             CMS_ObjectData object;
             ASSERT_TRUE(cache.FindObjectByID(2, object));
             EXPECT_EQ(object.Group, 2);
             EXPECT_NE(g_calls.Calls().back().text.find("<var name=\"Group\">2</var>"), std::string::npos);
         }},
        {"group removed, with its objects",
         [&] { return station.NotifyGroup(kNotifyGroupRemoved, foreign(make_group(2))); },
         MSC_NOTIFY_GROUP_REMOVED, "objectgrouplist",
         [&] {
             CMS_ObjectData object;
             EXPECT_FALSE(cache.FindObjectByID(2, object));
             EXPECT_EQ(cache.GetGroupCount(), 1);
         }},
        {"object removed, with its pins",
         [&] { return station.NotifyObject(kNotifyObjectRemoved, foreign(make_object(1))); },
         MSC_NOTIFY_OBJECT_REMOVED, "objectlist",
         [&] {
             EXPECT_EQ(cache.GetObjectCount(), 0);
             EXPECT_EQ(cache.GetPinCount(), 0);
         }},
    };

    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const size_t before = g_calls.Count();
        ASSERT_EQ(step.send(), 1);
        ASSERT_TRUE(g_calls.WaitForCount(before + 1));
        const std::vector<Call> calls = g_calls.Calls();
        ASSERT_EQ(calls.size(), before + 1);
        const Call& call = calls.back();
        EXPECT_EQ(call.user, kUser);
        EXPECT_EQ(call.code, step.code);
        EXPECT_EQ(call.a, 0);
        EXPECT_EQ(call.b, 0);
        EXPECT_EQ(call.c, 0);
        if (step.root == nullptr) {
            EXPECT_FALSE(call.hasText);
            EXPECT_EQ(call.length, 0);
        } else {
            ASSERT_TRUE(call.hasText);
            EXPECT_EQ(call.length, static_cast<int32_t>(call.text.size()));
            EXPECT_EQ(call.text.rfind(std::string(kListDeclaration) + "<" + step.root + ">\r\n", 0), 0u) << call.text;
            EXPECT_NE(call.text.find("<var name=\"OriginServerId\">4294967295</var>"), std::string::npos);
        }
        step.check();
    }
}

TEST_F(ClientInstanceTest, NotificationsThatChangeNothingMakeNoCallback)
{
    MakeInstance();
    ASSERT_TRUE(Open());
    const std::vector<std::pair<const char*, std::function<int()>>> silent = {
        {"removal of an uncached object", [&] { return station.NotifyObject(kNotifyObjectRemoved, make_object(99)); }},
        {"change of an uncached group", [&] { return station.NotifyGroup(kNotifyGroupChanged, make_group(98)); }},
        {"change of an uncached item", [&] { return station.NotifyItem(kNotifyItemChanged, make_item(97)); }},
        {"move of an uncached object", [&] { return station.NotifyObjectMoved(99, 1); }},
        {"move with four words", [&] { return simulator.SendNotification(kNotifyObjectGroupMoved, words({1, 0, 1, 0})); }},
        {"a record cut short", [&] { return simulator.SendNotification(kNotifyObjectAdded, words({1, 2})); }},
        {"reserved code", [&] { return simulator.SendNotification(kNotifyReserved, words({1, 2, 3})); }},
        {"unknown code", [&] { return simulator.SendNotification(1099, {}); }},
    };
    for (const auto& entry : silent) {
        SCOPED_TRACE(entry.first);
        const size_t before = g_calls.Count();
        SendThenMarker([&] { ASSERT_EQ(entry.second(), 1); });
        const std::vector<Call> calls = g_calls.Calls();
        ASSERT_EQ(calls.size(), before + 1);
        EXPECT_EQ(calls.back().code, MSC_NOTIFY_ITEM_ADDED);
    }
    EXPECT_EQ(Cache().GetObjectCount(), 1);
    CMS_ObjectData object;
    ASSERT_TRUE(Cache().FindObjectByID(1, object));
    EXPECT_EQ(object.Group, 1);
}

TEST_F(ClientInstanceTest, EventsUpdateTheCachesAndQueueAsTheirKindSays)
{
    MakeInstance();
    ASSERT_TRUE(Open());
    SendThenMarker([&] {
        ASSERT_EQ(station.NotifyEvent(make_event(2, 4, 1, 0x11)), 1);  // object only
        ASSERT_EQ(station.NotifyEvent(make_event(2, 6, 1, 0x22)), 1);  // queue only
        ASSERT_EQ(station.NotifyEvent(make_event(3, 1, 1, 0x33)), 1);  // both
        CMS_SimpleEventData pinEvent = make_event(4, 0, 1);
        pinEvent.PinNumber = 3;
        ASSERT_EQ(station.NotifyEvent(pinEvent), 1);  // pin and queue
    });

    CMS_ObjectData object;
    ASSERT_TRUE(Cache().FindObjectByID(1, object));
    EXPECT_EQ(object.State, 0x33);
    CMS_ObjectPinData pin;
    ASSERT_TRUE(find_pin(Cache(), 11, pin));
    EXPECT_EQ(pin.State & 1, 1);

    EXPECT_EQ(platform::wait_for_single(instance->GetEventHandle(), 0), platform::kWaitObject0);
    const std::pair<int16_t, int16_t> expected[] = {{2, 6}, {3, 1}, {4, 0}};
    for (const auto& kind : expected) {
        const std::string text = read_event(*instance);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.rfind(std::string(kListDeclaration) + "<eventlist>\r\n\t<event>\r\n", 0), 0u);
        CMS_SimpleEventData event;
        ASSERT_TRUE(CMS_HelperClientLib::LoadListXml(text, "event", event));
        EXPECT_EQ(event.Type, kind.first);
        EXPECT_EQ(event.SubType, kind.second);
        EXPECT_EQ(event.ObjectID, 1);
    }
    EXPECT_EQ(read_event(*instance), "");
    // Events make no callback: only the marker came.
    EXPECT_EQ(g_calls.Codes(), std::vector<int32_t>{MSC_NOTIFY_ITEM_ADDED});
}

TEST_F(ClientInstanceTest, WithoutACallbackCachesStillUpdateAndEventsStillQueue)
{
    MakeInstance(nullptr);
    ASSERT_TRUE(Open());
    EXPECT_EQ(instance->NotifyCallback(MSC_NOTIFY_CONNECTED, nullptr, 0, 0, 0, 0), -1);
    ASSERT_EQ(station.NotifyObject(kNotifyObjectAdded, make_object(2)), 1);
    ASSERT_EQ(station.NotifyEvent(make_event(2, 6, 2)), 1);

    ASSERT_EQ(platform::wait_for_single(instance->GetEventHandle(), 5000), platform::kWaitObject0);
    CMS_ObjectData object;
    EXPECT_TRUE(Cache().FindObjectByID(2, object));
    EXPECT_NE(read_event(*instance), "");
}

TEST_F(ClientInstanceTest, ALostLinkGivesSeventeenOnceThenSixteenWhenTheStationIsBack)
{
    MakeInstance();
    ASSERT_TRUE(Open());
    const uint16_t port = simulator.GetPort();

    simulator.Stop();
    ASSERT_TRUE(g_calls.WaitForCount(1));
    // Reconnects fail meanwhile, many times, without a word.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(g_calls.Codes(), std::vector<int32_t>{MSC_NOTIFY_DISCONNECTED});
    EXPECT_TRUE(instance->IsOpen());
    EXPECT_FALSE(instance->GetConnected());

    ASSERT_TRUE(simulator.Start(port));
    ASSERT_TRUE(g_calls.WaitForCount(2));
    EXPECT_EQ(g_calls.Codes(), (std::vector<int32_t>{MSC_NOTIFY_DISCONNECTED, MSC_NOTIFY_CONNECTED}));
    for (const Call& call : g_calls.Calls()) {
        EXPECT_EQ(call.user, kUser);
        EXPECT_FALSE(call.hasText);
        EXPECT_EQ(call.length, 0);
    }
    EXPECT_TRUE(instance->IsConnected());
    EXPECT_EQ(Cache().GetObjectCount(), 1);
}

TEST_F(ClientInstanceTest, AnUnansweredPingDropsAndRestoresTheLink)
{
    MakeInstance();
    ASSERT_TRUE(Open());
    // After the open, whose answers each have the test's usual time.
    Timeouts::SetScaleForTests(kPingScale);
    simulator.SetAnswerPings(false);
    ASSERT_TRUE(g_calls.WaitForCount(2, std::chrono::milliseconds(10000)));
    simulator.SetAnswerPings(true);
    const std::vector<int32_t> codes = g_calls.Codes();
    EXPECT_EQ(codes[0], MSC_NOTIFY_DISCONNECTED);
    EXPECT_EQ(codes[1], MSC_NOTIFY_CONNECTED);
    EXPECT_GE(simulator.GetPingCount(), 1u);
    EXPECT_GE(simulator.GetAcceptedConnections(), 2u);
}

TEST_F(ClientInstanceTest, CloseDuringReconnectAttemptsLeavesTheInstanceClosed)
{
    MakeInstance();
    ASSERT_TRUE(Open());
    const uint16_t port = simulator.GetPort();
    simulator.Stop();
    ASSERT_TRUE(g_calls.WaitForCount(1));

    instance->Close();
    ASSERT_TRUE(simulator.Start(port));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(g_calls.Codes(), std::vector<int32_t>{MSC_NOTIFY_DISCONNECTED});
    EXPECT_FALSE(instance->GetConnected());
    EXPECT_EQ(simulator.GetOpenConnections(), 0u);
}

TEST_F(ClientInstanceTest, CloseWhileAReconnectLogsInDropsTheNewLinkSilently)
{
    MakeInstance();
    ASSERT_TRUE(Open());

    // The next login's last list waits until the test lets it go.
    held.Hold(simulator, kRequestLoadGroups);
    simulator.CloseConnections();
    ASSERT_TRUE(held.WaitUntilHeld());
    ASSERT_EQ(g_calls.Codes(), std::vector<int32_t>{MSC_NOTIFY_DISCONNECTED});

    std::thread closer([&] { instance->Close(); });
    const bool closed = wait_until([&] { return !instance->IsOpen(); });
    held.Release();
    closer.join();
    ASSERT_TRUE(closed);

    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(g_calls.Codes(), std::vector<int32_t>{MSC_NOTIFY_DISCONNECTED});
    EXPECT_FALSE(instance->GetConnected());
    EXPECT_FALSE(instance->IsOpen());
    EXPECT_TRUE(wait_until([&] { return simulator.GetOpenConnections() == 0; }));
}

TEST_F(ClientInstanceTest, ACloseEndsAnOpenThatLogsInAndLeavesTheInstanceClosed)
{
    MakeInstance();

    // The Open's last list is held until after the close.
    held.Hold(simulator, kRequestLoadGroups);
    std::atomic<int> opened{-1};
    std::thread opener([&] { opened = Open() ? 1 : 0; });
    const bool underWay = held.WaitUntilHeld();
    const auto start = std::chrono::steady_clock::now();
    instance->Close();
    const auto closing = std::chrono::steady_clock::now() - start;
    opener.join();
    held.Release();
    ASSERT_TRUE(underWay);

    EXPECT_LT(closing, std::chrono::milliseconds(Timeouts::RequestMs() / 2));
    EXPECT_EQ(opened.load(), 0);
    EXPECT_FALSE(instance->IsOpen());
    EXPECT_FALSE(instance->GetConnected());
    // The worker does not bring back what the host closed.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(g_calls.Codes().empty());
    EXPECT_EQ(simulator.GetAcceptedConnections(), 1u);
    EXPECT_TRUE(wait_until([&] { return simulator.GetOpenConnections() == 0; }));
}

TEST_F(ClientInstanceTest, ACloseEndsAWaitingRequestAtOnceAndTheInstanceOpensAgain)
{
    std::thread host;
    std::atomic<int> result{-1};
    const bool sent = StartUnansweredRequest(host, result);

    const auto start = std::chrono::steady_clock::now();
    instance->Close();
    if (host.joinable())
        host.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(Timeouts::RequestMs() / 4));
    ASSERT_TRUE(sent);
    EXPECT_EQ(result.load(), 0);

    simulator.ClearFaults();
    EXPECT_TRUE(Open());
    RecordList<CMS_ShiftData> shifts;
    EXPECT_TRUE(Cache().GetShifts(shifts));
}

TEST_F(ClientInstanceTest, ResetEventQueueKeepsTheSignal)
{
    MakeInstance();
    instance->PushEvent(std::make_unique<CMS_SimpleEventData>(make_event(2, 6, 1)));
    instance->PushEvent(std::make_unique<CMS_SimpleEventData>(make_event(2, 6, 2)));
    instance->ResetEventQueue();
    EXPECT_EQ(platform::wait_for_single(instance->GetEventHandle(), 0), platform::kWaitObject0);
    EXPECT_EQ(read_event(*instance), "");
    EXPECT_EQ(platform::wait_for_single(instance->GetEventHandle(), 0), platform::kWaitTimeout);
}

TEST_F(ClientInstanceTest, AnEventBehindAnUnreadOneStillSignals)
{
    MakeInstance();
    // Through the worker: the second event comes in a round of its own while
    // the first is still queued, and the host reads one event per wake-up.
    for (int32_t id = 1; id <= 2; ++id) {
        CByteStream stream;
        ASSERT_TRUE(make_event(2, 6, id).SaveToStream(&stream));
        stream.Rewind();
        instance->OnPacket(&Cache(), kNotifyEvent, stream);
        ASSERT_EQ(platform::wait_for_single(instance->GetEventHandle(), 5000), platform::kWaitObject0) << id;
    }
    EXPECT_NE(read_event(*instance), "");
    EXPECT_NE(read_event(*instance), "");
    EXPECT_EQ(read_event(*instance), "");
}

TEST_F(ClientInstanceTest, ReadEventCutsToTheBufferAndTerminates)
{
    MakeInstance();
    const std::string whole = CMS_HelperClientLib::RecordToXml(make_event(2, 6, 1), "event");
    ASSERT_GT(whole.size(), 20u);

    struct Case
    {
        int32_t size;
        bool taken;
        std::string text;
    };
    const Case cases[] = {
        {0, false, ""},
        {-5, false, ""},
        {1, true, ""},
        {10, true, whole.substr(0, 9)},
        {static_cast<int32_t>(whole.size()) + 1, true, whole},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        instance->ResetEventQueue();
        instance->PushEvent(std::make_unique<CMS_SimpleEventData>(make_event(2, 6, 1)));
        std::vector<char> buffer(whole.size() + 8, 'x');
        EXPECT_EQ(instance->ReadEvent(buffer.data(), c.size), c.taken);
        if (c.taken) {
            EXPECT_EQ(std::string(buffer.data()), c.text);
            EXPECT_EQ(buffer[static_cast<size_t>(c.size) - 1], '\0');
            EXPECT_EQ(buffer[static_cast<size_t>(c.size)], 'x');
            EXPECT_EQ(instance->PopEvent(), nullptr);
        } else {
            EXPECT_EQ(buffer[0], 'x');
            EXPECT_NE(instance->PopEvent(), nullptr);
        }
    }
}

TEST_F(ClientInstanceTest, PacketsKeepTheBytesAfterTheCode)
{
    // Not started: no worker takes the packets away.
    instance = std::make_unique<CMS_HelperClientLib>();
    CByteStream withRest;
    withRest.WriteInt32(1016);
    withRest.WriteInt32(77);
    withRest.Rewind();
    int32_t code = 0;
    ASSERT_TRUE(withRest.ReadInt32(code));
    EXPECT_EQ(instance->OnPacket(&Cache(), code, withRest), 1);
    CByteStream empty;
    EXPECT_EQ(instance->OnPacket(&Cache(), 1015, empty), 1);

    CMS_HelperClientLib::Packet packet;
    ASSERT_TRUE(instance->PopPacket(packet));
    EXPECT_EQ(packet.code, 1016);
    ASSERT_EQ(packet.length, 4);
    ASSERT_NE(packet.buffer, nullptr);
    EXPECT_EQ(packet.buffer[0], 77);
    ASSERT_TRUE(instance->PopPacket(packet));
    EXPECT_EQ(packet.code, 1015);
    EXPECT_EQ(packet.length, 0);
    EXPECT_EQ(packet.buffer, nullptr);
    EXPECT_FALSE(instance->PopPacket(packet));
}

TEST_F(ClientInstanceTest, ShutdownEndsAWaitingRequestAtOnce)
{
    std::thread host;
    std::atomic<int> result{-1};
    const bool sent = StartUnansweredRequest(host, result);

    const auto start = std::chrono::steady_clock::now();
    instance->Shutdown();
    EXPECT_EQ(platform::wait_for_single(instance->GetClosingHandle(), 0), platform::kWaitObject0);
    if (host.joinable())
        host.join();
    instance.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(Timeouts::RequestMs() / 4));
    ASSERT_TRUE(sent);
    EXPECT_EQ(result.load(), 0);
}

// The three tests below run with the real time constants: deleting the
// instance must not wait out a 5 s ping or connect.

TEST_F(ClientInstanceTest, ShutdownEndsAPingTheStationLeavesUnanswered)
{
    Timeouts::SetScaleForTests(1);
    MakeInstance();
    ASSERT_TRUE(Open());
    simulator.SetAnswerPings(false);
    // The worker's next round finds the link check due. The worker takes its
    // first mark when its thread begins, which on a loaded machine may come
    // after a move of the clock: each move makes it due again.
    bool pinged = false;
    for (uint32_t moves = 1; moves <= 10 && !pinged; ++moves) {
        platform::set_tick_offset_for_tests(moves * (Timeouts::PingIntervalMs() + 1000));
        pinged = simulator.WaitForPings(1, 500);
    }
    ASSERT_TRUE(pinged);

    EXPECT_LT(ShutDownAndDelete().count(), Timeouts::PingWaitMs() / 3);
}

TEST_F(ClientInstanceTest, ShutdownEndsAReconnectTheStationNeverAnswers)
{
    Timeouts::SetScaleForTests(1);
    MakeInstance();
    ASSERT_TRUE(Open());
    HangingListener silent;
    ASSERT_TRUE(silent.Start());
    // The link goes, and the station's address no longer answers.
    instance->SetConnectParams("127.0.0.1", silent.GetPort(), "operator", "secret");
    simulator.CloseConnections();
    ASSERT_TRUE(silent.WaitForAttempt(kWait));

    EXPECT_LT(ShutDownAndDelete().count(), Timeouts::ConnectMs() / 3);
    EXPECT_EQ(g_calls.Codes(), std::vector<int32_t>{MSC_NOTIFY_DISCONNECTED});
}

TEST_F(ClientInstanceTest, ShutdownEndsAnOpenTheStationNeverAnswers)
{
    Timeouts::SetScaleForTests(1);
    MakeInstance();
    HangingListener silent;
    ASSERT_TRUE(silent.Start());
    std::atomic<int> opened{-1};
    std::thread host([&] { opened = instance->Open("127.0.0.1", silent.GetPort(), "operator", "secret") ? 1 : 0; });
    const bool underWay = silent.WaitForAttempt(kWait);
    if (!underWay)
        host.join();
    ASSERT_TRUE(underWay);

    const auto start = std::chrono::steady_clock::now();
    instance->Shutdown();
    host.join();
    EXPECT_EQ(opened.load(), 0);
    EXPECT_EQ(Cache().GetLastError(), kLanErrorConnect);
    EXPECT_FALSE(instance->IsOpen());
    instance.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(Timeouts::ConnectMs() / 3));
}

TEST_F(ClientInstanceTest, AWideUserValueReachesTheCallbackWhole)
{
    const intptr_t wide = static_cast<intptr_t>(0x7EDCBA9876543210LL);
    MakeInstance(record_call, wide);
    ASSERT_TRUE(Open());
    ASSERT_EQ(station.NotifyItem(kNotifyItemAdded, make_item(5)), 1);
    ASSERT_TRUE(g_calls.WaitForCount(1));
    EXPECT_EQ(g_calls.Calls().front().user, wide);
}

struct StopCase
{
    const char* name;
    bool shutdown;    // else Close
    bool inCallback;  // else from a host thread
};

void PrintTo(const StopCase& c, std::ostream* os)
{
    *os << c.name;
}

class ClientInstanceStop : public ClientInstanceTest, public ::testing::WithParamInterface<StopCase>
{
protected:
    void Stop()
    {
        if (GetParam().shutdown)
            instance->Shutdown();
        else
            instance->Close();
        stopped.Set();
    }

    // Members: the held callback may still use them when a failed test returns.
    CManualResetEventSock queued{false};
    CManualResetEventSock stopped{false};
};

// Packets queued before a stop or close get no callback; a closed instance
// opens again and calls back as before.
TEST_P(ClientInstanceStop, DropsThePacketsQueuedBeforeIt)
{
    if (GetParam().inCallback)
        hold.inside = [this] {
            queued.Wait(platform::kInfinite);
            Stop();
        };
    QueueBehindAHeldCallback();
    queued.Set();
    ASSERT_FALSE(HasFatalFailure());
    // Neither waits for the callback in progress, which is still held.
    std::future<void> host;
    if (!GetParam().inCallback)
        host = std::async(std::launch::async, [this] { Stop(); });
    EXPECT_TRUE(stopped.Wait(20000));
    hold.Release();
    if (host.valid())
        host.get();
    if (GetParam().shutdown) {
        instance.reset();  // its worker has ended
        EXPECT_EQ(g_calls.Count(), 1u);
        return;
    }
    // Dispatched in order: the marker's callback comes after any of theirs.
    ASSERT_TRUE(Open());
    ASSERT_TRUE(simulator.WaitForOpenConnections(1, 5000));
    ASSERT_EQ(station.NotifyItem(kNotifyItemAdded, make_item(99)), 1);
    ASSERT_TRUE(g_calls.WaitForCount(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(g_calls.Count(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Stops, ClientInstanceStop,
                         ::testing::Values(StopCase{"CloseInTheCallback", false, true},
                                           StopCase{"CloseFromTheHost", false, false},
                                           StopCase{"ShutdownInTheCallback", true, true},
                                           StopCase{"ShutdownFromTheHost", true, false}),
                         [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

TEST_F(ClientInstanceTest, PacketQueueCountsAFixedCostForEachPacket)
{
    // Not started: no worker takes the packets away.
    instance = std::make_unique<CMS_HelperClientLib>();
    const int32_t large = static_cast<int32_t>(kMaxPacketQueueBytes - 4 * kPacketQueueCostPerPacket);
    std::vector<uint8_t> bytes(static_cast<size_t>(large));
    CByteStream full;
    full.Attach(bytes.data(), large);
    CByteStream empty;
    // With three empty ones the bound is reached exactly; the fourth is past it
    // and empties the queue.
    const int32_t expected[] = {1, 1, 1, 1, CLanClient::kBreakLink, 1};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(instance->OnPacket(&Cache(), 1015, i == 0 ? full : empty), expected[i]) << i;
    CMS_HelperClientLib::Packet packet;
    EXPECT_TRUE(instance->PopPacket(packet));
    EXPECT_FALSE(instance->PopPacket(packet));
}

TEST_F(ClientInstanceTest, AFloodPastTheQueueBoundBreaksTheLinkAndReloads)
{
    QueueBehindAHeldCallback();
    // Nine notifications of 8 MiB: the eighth is past the bound. The station's
    // sends block once the link is broken, until the worker, free again, closes it.
    auto flood = std::async(std::launch::async, [&] {
        const std::vector<uint8_t> records(8u << 20);
        for (int i = 0; i < 9; ++i)
            simulator.SendNotification(1015, records);
    });
    EXPECT_TRUE(wait_until([&] { return !Cache().IsConnected(); }, std::chrono::milliseconds(20000)));
    hold.Release();
    flood.get();
    ASSERT_TRUE(g_calls.WaitForCount(3));
    // The queued items go unseen; the loss comes first, then the new link.
    EXPECT_EQ(g_calls.Codes(),
              (std::vector<int32_t>{MSC_NOTIFY_ITEM_ADDED, MSC_NOTIFY_DISCONNECTED, MSC_NOTIFY_CONNECTED}));
    EXPECT_EQ(Cache().GetObjectCount(), 1);
}

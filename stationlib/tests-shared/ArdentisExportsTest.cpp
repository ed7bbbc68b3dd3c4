// libArdentis.so through its twelve exports, loaded as a host loads it, against
// the scripted station on loopback.

#include "ArdentisHost.h"

#include "base/StringHelpers.h"
#include "CallLog.h"
#include "HangingListener.h"
#include "RecordBuilders.h"
#include "ScriptedStation.h"
#include "testsupport/LoopbackPort.h"
#include "testsupport/WaitUntil.h"
#include "wire/StationNotifyCode.h"
#include "wire/StationRequestCode.h"
#include "WireBytes.h"

#include "platform/Event.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

using stationsim::RequestFault;
using stationsim::ScriptedStation;
using stationsim::StationSimulator;

ArdentisHost& g_host = ArdentisHost::Instance();

constexpr auto kWait = std::chrono::milliseconds(5000);
// Pointer-sized, so a cut to 32 bits on the way to the callback would show.
const intptr_t kUser = static_cast<intptr_t>(0x1122334455667788LL);

std::string ansi(const char* utf8)
{
    std::string text = utf8;
    utf8_to_ansi(text);
    return text;
}

class ArdentisExportsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_host.Loaded());
        g_calls.Clear();
        g_hold = &hold;
        ASSERT_TRUE(simulator.Start());
        station.AddAccount("operator", "secret");
        station.AddGroup(make_group(1));
        station.AddObject(make_object(1));
    }

    void TearDown() override
    {
        // Instances go before the station does, and no callback outlives a test.
        hold.Release();
        EXPECT_EQ(msc.Finalize(), MSC_OK);
        EXPECT_EQ(msc.Initialize(nullptr), MSC_OK);
        g_hold = nullptr;
        simulator.Stop();
    }

    int32_t Create(intptr_t user = kUser)
    {
        int32_t handle = -1;
        EXPECT_EQ(msc.Create(user, &handle), MSC_OK);
        return handle;
    }

    int32_t Open(int32_t handle, const char* password = "secret")
    {
        return msc.Open(handle, "127.0.0.1", simulator.GetPort(), "operator", password);
    }

    std::string LastError(int32_t handle, int32_t length = 512)
    {
        std::vector<char> buffer(static_cast<size_t>(length), 'x');
        EXPECT_EQ(msc.GetLastError(handle, buffer.data(), length), MSC_OK);
        return std::string(buffer.data());
    }

    // An event request, which waits 60 s here, whose answer the station leaves
    // to the test; true once the station has it.
    bool StartUnansweredEventRequest(int32_t handle, std::future<int32_t>& request)
    {
        simulator.SetFault(kRequestGetEvents, RequestFault::DropAnswer);
        const size_t before = simulator.GetRequests().size();
        request = std::async(std::launch::async, [this, handle] {
            const char filter[] = "object_id=1";
            std::vector<char> output(4096);
            int32_t outLength = 0;
            return msc.IOCtrl(handle, MSC_IOCTL_GET_EVENTS, filter, sizeof filter, output.data(),
                              static_cast<int32_t>(output.size()), &outLength);
        });
        return simulator.WaitForRequests(before + 1, 5000)
            && simulator.GetRequests().back().code == kRequestGetEvents;
    }

    const ArdentisExports& msc = g_host.Exports();
    FirstCallHold hold;
    StationSimulator simulator;
    ScriptedStation station{simulator};
};

} // namespace

TEST_F(ArdentisExportsTest, CreateNumbersInstancesFromZeroAlsoWithoutOutPointer)
{
    EXPECT_EQ(msc.Create(kUser, nullptr), MSC_OK);
    EXPECT_EQ(Create(), 1);
    EXPECT_EQ(msc.IsConnected(0), MSC_NOT_CONNECTED);
    EXPECT_EQ(msc.IsConnected(1), MSC_NOT_CONNECTED);
    EXPECT_EQ(msc.IsConnected(2), MSC_BAD_HANDLE);
}

TEST_F(ArdentisExportsTest, EveryPerInstanceExportRejectsBadHandlesFirst)
{
    ASSERT_EQ(Create(), 0);
    ASSERT_EQ(Create(), 1);
    ASSERT_EQ(Open(1), MSC_OK);

    char buffer[64];
    int32_t outLength = 0;
    // Each call also carries arguments that would fail their own checks: the
    // handle is tested before them.
    const std::vector<std::pair<const char*, std::function<int32_t(int32_t)>>> exports = {
        {"msc_Open", [&](int32_t h) { return msc.Open(h, nullptr, 0, nullptr, nullptr); }},
        {"msc_Close", [&](int32_t h) { return msc.Close(h); }},
        {"msc_IsConnected", [&](int32_t h) { return msc.IsConnected(h); }},
        {"msc_WaitEvent", [&](int32_t h) { return msc.WaitEvent(h, 0, 0); }},
        {"msc_ReadEvent", [&](int32_t h) { return msc.ReadEvent(h, nullptr, 0); }},
        {"msc_ResetEventQueue", [&](int32_t h) { return msc.ResetEventQueue(h); }},
        {"msc_IOCtrl",
         [&](int32_t h) { return msc.IOCtrl(h, MSC_IOCTL_GET_OBJECT_IDS, nullptr, 0, buffer, sizeof buffer, &outLength); }},
        {"msc_GetLastError",
         [&](int32_t h) {
             std::memset(buffer, 'x', sizeof buffer);
             const int32_t result = msc.GetLastError(h, buffer, sizeof buffer);
             EXPECT_EQ(buffer[0], '\0') << "an empty text for a bad handle";
             return result;
         }},
    };

    auto expect_bad = [&](const std::vector<int32_t>& handles) {
        for (const auto& entry : exports)
            for (int32_t handle : handles) {
                SCOPED_TRACE(std::string(entry.first) + " with handle " + std::to_string(handle));
                EXPECT_EQ(entry.second(handle), MSC_BAD_HANDLE);
            }
    };
    expect_bad({-1, 2, INT32_MIN, INT32_MAX});
    // Handle 1 is still connected after all those calls.
    EXPECT_EQ(msc.IsConnected(1), MSC_OK);

    ASSERT_EQ(msc.Finalize(), MSC_OK);
    expect_bad({0, 1, 2});
    EXPECT_TRUE(wait_until([&] { return simulator.GetOpenConnections() == 0; }));
}

TEST_F(ArdentisExportsTest, OpenChecksItsArgumentsBeforeTouchingTheInstance)
{
    const int32_t handle = Create();
    const int32_t port = simulator.GetPort();
    struct Case
    {
        const char* what;
        const char* host;
        int32_t port;
    };
    for (const Case& c : {Case{"null host", nullptr, port}, Case{"empty host", "", port},
                          Case{"port 0", "127.0.0.1", 0}, Case{"negative port", "127.0.0.1", -1}}) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(msc.Open(handle, c.host, c.port, "operator", "secret"), MSC_BAD_ARGUMENT);
    }
    EXPECT_EQ(simulator.GetAcceptedConnections(), 0u);
    EXPECT_EQ(msc.IsConnected(handle), MSC_NOT_CONNECTED);

    // A null user name and password stand for empty texts.
    station.AddAccount("", "");
    EXPECT_EQ(msc.Open(handle, "127.0.0.1", port, nullptr, nullptr), MSC_OK);
    EXPECT_EQ(msc.IsConnected(handle), MSC_OK);
    EXPECT_EQ(msc.Close(handle), MSC_OK);
    EXPECT_EQ(msc.IsConnected(handle), MSC_NOT_CONNECTED);
}

TEST_F(ArdentisExportsTest, FailedOpenReportsNotConnectedAndLeavesTheInstanceClosed)
{
    ASSERT_EQ(msc.Initialize(record_call), MSC_OK);
    const int32_t handle = Create();

    EXPECT_EQ(msc.Open(handle, "127.0.0.1", testsupport::free_local_port(), "operator", "secret"), MSC_NOT_CONNECTED);
    EXPECT_EQ(msc.IsConnected(handle), MSC_NOT_CONNECTED);
    EXPECT_FALSE(LastError(handle).empty());

    // Refused login: the station saw one connection, and the worker does not try
    // again by itself (it checks every 10 ms here).
    EXPECT_EQ(Open(handle, "wrong"), MSC_NOT_CONNECTED);
    EXPECT_EQ(simulator.GetAcceptedConnections(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(simulator.GetAcceptedConnections(), 1u);
    EXPECT_EQ(msc.IsConnected(handle), MSC_NOT_CONNECTED);
    EXPECT_TRUE(g_calls.Codes().empty());
}

TEST_F(ArdentisExportsTest, LastErrorIsCutToTheBufferAndChecksItsArguments)
{
    const int32_t handle = Create();
    ASSERT_EQ(Open(handle, "wrong"), MSC_NOT_CONNECTED);
    const std::string full = LastError(handle);
    ASSERT_GT(full.size(), 4u);

    EXPECT_EQ(LastError(handle, 5), full.substr(0, 4));
    EXPECT_EQ(LastError(handle, 1), "");
    EXPECT_EQ(LastError(handle, static_cast<int32_t>(full.size()) + 1), full);

    char buffer[8] = "intact";
    EXPECT_EQ(msc.GetLastError(handle, nullptr, 8), MSC_BAD_ARGUMENT);
    EXPECT_EQ(msc.GetLastError(handle, buffer, 0), MSC_BAD_ARGUMENT);
    EXPECT_EQ(msc.GetLastError(handle, buffer, -1), MSC_BAD_ARGUMENT);
    // Arguments come before the handle here.
    EXPECT_EQ(msc.GetLastError(-1, buffer, 0), MSC_BAD_ARGUMENT);
    EXPECT_STREQ(buffer, "intact");
}

TEST_F(ArdentisExportsTest, WaitEventTellsQueueExtraHandleAndTimeOutApart)
{
    const int32_t handle = Create();
    const platform::WaitHandle extra = platform::create_event(true, false);
    ASSERT_NE(extra, platform::kInvalidWaitHandle);

    EXPECT_EQ(msc.WaitEvent(handle, 20, 0), MSC_WAIT_TIMEOUT);
    EXPECT_EQ(msc.WaitEvent(handle, 20, extra), MSC_WAIT_TIMEOUT);
    // A value that names no descriptor makes the wait fail.
    EXPECT_EQ(msc.WaitEvent(handle, 20, -5), MSC_WAIT_TIMEOUT);
    EXPECT_EQ(msc.WaitEvent(handle, 20, static_cast<intptr_t>(INT_MAX) + 1), MSC_WAIT_TIMEOUT);

    ASSERT_TRUE(platform::set_event(extra));
    EXPECT_EQ(msc.WaitEvent(handle, 5000, extra), MSC_USER_HANDLE_SIGNALED);
    // The library only polls the host's handle.
    EXPECT_EQ(msc.WaitEvent(handle, 5000, extra), MSC_USER_HANDLE_SIGNALED);

    ASSERT_TRUE(platform::reset_event(extra));
    ASSERT_EQ(Open(handle), MSC_OK);
    ASSERT_EQ(station.NotifyEvent(make_queued_event(700)), 1);
    EXPECT_EQ(msc.WaitEvent(handle, 5000, extra), MSC_OK);
    // The queue's signal is consumed by the wait it ended.
    EXPECT_EQ(msc.WaitEvent(handle, 0, 0), MSC_WAIT_TIMEOUT);

    char text[4096];
    ASSERT_EQ(msc.ReadEvent(handle, text, sizeof text), MSC_OK);
    EXPECT_EQ(std::string(text).rfind(std::string(kListDeclaration) + "<eventlist>\r\n\t<event>\r\n", 0), 0u) << text;
    EXPECT_NE(std::string(text).find("<var name=\"ID\">700</var>"), std::string::npos) << text;
    platform::close_event(extra);
}

TEST_F(ArdentisExportsTest, ReadEventArgumentsAndCutText)
{
    const int32_t handle = Create();
    char buffer[4096];
    std::memset(buffer, 'x', sizeof buffer);

    EXPECT_EQ(msc.ReadEvent(handle, buffer, sizeof buffer), MSC_NO_EVENT);
    EXPECT_EQ(buffer[0], 'x') << "an empty queue leaves the buffer as it was";
    EXPECT_EQ(msc.ReadEvent(handle, nullptr, 100), MSC_BAD_ARGUMENT);
    EXPECT_EQ(msc.ReadEvent(handle, buffer, 0), MSC_BAD_ARGUMENT);

    ASSERT_EQ(Open(handle), MSC_OK);
    ASSERT_EQ(station.NotifyEvent(make_queued_event(701)), 1);
    ASSERT_EQ(msc.WaitEvent(handle, 5000, 0), MSC_OK);

    // A negative size takes nothing off the queue.
    EXPECT_EQ(msc.ReadEvent(handle, buffer, -1), MSC_NO_EVENT);
    EXPECT_EQ(buffer[0], 'x');

    // Size 1 takes the event and writes only the terminator.
    EXPECT_EQ(msc.ReadEvent(handle, buffer, 1), MSC_OK);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'x');
    EXPECT_EQ(msc.ReadEvent(handle, buffer, sizeof buffer), MSC_NO_EVENT);

    ASSERT_EQ(station.NotifyEvent(make_queued_event(702)), 1);
    ASSERT_EQ(msc.WaitEvent(handle, 5000, 0), MSC_OK);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(msc.ReadEvent(handle, buffer, 10), MSC_OK);
    EXPECT_EQ(std::string(buffer), std::string(kListDeclaration).substr(0, 9));
    EXPECT_EQ(buffer[10], 'x');
    EXPECT_EQ(msc.ReadEvent(handle, buffer, sizeof buffer), MSC_NO_EVENT);
}

TEST_F(ArdentisExportsTest, ResetEventQueueDropsQueuedEvents)
{
    const int32_t handle = Create();
    ASSERT_EQ(Open(handle), MSC_OK);
    ASSERT_EQ(station.NotifyEvent(make_queued_event(703)), 1);
    ASSERT_EQ(msc.WaitEvent(handle, 5000, 0), MSC_OK);
    EXPECT_EQ(msc.ResetEventQueue(handle), MSC_OK);
    char buffer[4096];
    EXPECT_EQ(msc.ReadEvent(handle, buffer, sizeof buffer), MSC_NO_EVENT);
}

TEST_F(ArdentisExportsTest, InfoDocumentByteForByte)
{
    const std::string expected = std::string(kListDeclaration) +
                                 "<infolist>\r\n"
                                 "\t<info>\r\n"
                                 "\t\t<var name=\"Name\">ArdentisLib</var>\r\n"
                                 "\t\t<var name=\"Description\">" +
                                 ansi("Библиотека клиента ПЦН KORVEL") +
                                 "</var>\r\n"
                                 "\t\t<var name=\"Version\">5.2</var>\r\n"
                                 "\t</info>\r\n"
                                 "</infolist>\r\n";
    std::vector<char> buffer(1024, 'x');
    ASSERT_EQ(msc.GetInfo(buffer.data(), static_cast<int32_t>(buffer.size())), MSC_OK);
    EXPECT_EQ(std::string(buffer.data()), expected);

    struct Cut
    {
        int32_t size;
        size_t kept;
    };
    for (const Cut& cut : {Cut{1, 0}, Cut{10, 9}, Cut{static_cast<int32_t>(expected.size()), expected.size() - 1}}) {
        SCOPED_TRACE(cut.size);
        std::fill(buffer.begin(), buffer.end(), 'x');
        ASSERT_EQ(msc.GetInfo(buffer.data(), cut.size), MSC_OK);
        EXPECT_EQ(std::string(buffer.data()), expected.substr(0, cut.kept));
        EXPECT_EQ(buffer[static_cast<size_t>(cut.size)], 'x') << "nothing written past the size";
    }

    EXPECT_EQ(msc.GetInfo(nullptr, 100), MSC_ERROR);
    EXPECT_EQ(msc.GetInfo(buffer.data(), 0), MSC_ERROR);
    EXPECT_EQ(msc.GetInfo(buffer.data(), -1), MSC_ERROR);
}

TEST_F(ArdentisExportsTest, InitializeReadsTheWorkingFolderSettingsWithoutChangingThem)
{
    EXPECT_EQ(msc.Initialize(record_call), MSC_OK);
    EXPECT_EQ(msc.Initialize(record_call), MSC_OK);
    EXPECT_EQ(g_host.Folder().Read("cwd/Ardentis.ini"), ArdentisHost::kLibrarySettings);
    EXPECT_EQ(g_host.Folder().Entries(), (std::vector<std::string>{"cwd", "exe", "lib"}));
}

TEST_F(ArdentisExportsTest, InstancesKeepTheirFilesInTheTestFolders)
{
    const int32_t handle = Create();
    ASSERT_EQ(Open(handle), MSC_OK);
    // Each instance reads and rewrites its station settings beside the host.
    EXPECT_TRUE(std::filesystem::exists(g_host.Folder().Path("exe/ardentis.ini")));
}

TEST_F(ArdentisExportsTest, RecordNotificationsReachTheCallbackOfLaterInstances)
{
    // Created before the callback is given: it never calls back.
    const int32_t silent = Create(7);
    ASSERT_EQ(msc.Initialize(record_call), MSC_OK);
    const int32_t handle = Create();
    ASSERT_EQ(Open(silent), MSC_OK);
    ASSERT_EQ(Open(handle), MSC_OK);

    ASSERT_EQ(station.NotifyObject(kNotifyObjectAdded, make_object(2)), 2);
    ASSERT_EQ(station.NotifyItem(kNotifyItemAdded, make_item(31, 1)), 2);
    ASSERT_TRUE(g_calls.WaitForCount(2));
    // The silent instance has had time to dispatch both as well.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    const std::vector<Call> calls = g_calls.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].user, kUser);
    EXPECT_EQ(calls[0].code, MSC_NOTIFY_OBJECT_ADDED);
    ASSERT_TRUE(calls[0].hasText);
    EXPECT_EQ(calls[0].length, static_cast<int32_t>(calls[0].text.size()));
    EXPECT_EQ(calls[0].text.rfind(std::string(kListDeclaration) + "<objectlist>\r\n\t<object>\r\n", 0), 0u)
        << calls[0].text;
    EXPECT_EQ(calls[1].user, kUser);
    EXPECT_EQ(calls[1].code, MSC_NOTIFY_ITEM_ADDED);
    EXPECT_FALSE(calls[1].hasText);
    EXPECT_EQ(calls[1].length, 0);

    // The cache of the instance took the object in.
    int32_t id = 2;
    char buffer[4096];
    int32_t outLength = 0;
    ASSERT_EQ(msc.IOCtrl(handle, MSC_IOCTL_GET_OBJECT_BY_ID, &id, sizeof id, buffer, sizeof buffer, &outLength),
              MSC_OK);
    EXPECT_EQ(outLength, static_cast<int32_t>(std::strlen(buffer)) + 1);
    EXPECT_EQ(msc.IOCtrl(handle, 999, nullptr, 0, buffer, sizeof buffer, &outLength), MSC_ERROR);
}

TEST_F(ArdentisExportsTest, FinalizeWakesAnEndlessWaitWhichGetsBadHandle)
{
    const int32_t handle = Create();
    ASSERT_EQ(Open(handle), MSC_OK);
    auto waiting = std::async(std::launch::async, [&] { return msc.WaitEvent(handle, platform::kInfinite, 0); });
    // The waiter is in its wait, or about to be: either way Finalize must end it.
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);

    EXPECT_EQ(msc.Finalize(), MSC_OK);
    EXPECT_EQ(waiting.get(), MSC_BAD_HANDLE);
    EXPECT_EQ(msc.IsConnected(handle), MSC_BAD_HANDLE);
}

TEST_F(ArdentisExportsTest, FinalizeEndsAPendingRequestWithoutWaitingForItsTimeOut)
{
    const int32_t handle = Create();
    ASSERT_EQ(Open(handle), MSC_OK);
    std::future<int32_t> request;
    ASSERT_TRUE(StartUnansweredEventRequest(handle, request));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(msc.Finalize(), MSC_OK);
    EXPECT_EQ(request.get(), MSC_ERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(ArdentisExportsTest, FinalizeEndsAnOpenTheStationNeverAnswers)
{
    // The connect's time-out, shortened here, still takes a whole second.
    constexpr auto kConnectTimeout = std::chrono::seconds(1);
    HangingListener silent;
    ASSERT_TRUE(silent.Start());
    const int32_t handle = Create();

    const auto start = std::chrono::steady_clock::now();
    auto opening = std::async(std::launch::async, [&] {
        return msc.Open(handle, "127.0.0.1", silent.GetPort(), "operator", "secret");
    });
    ASSERT_TRUE(silent.WaitForAttempt(kWait));
    EXPECT_EQ(msc.Finalize(), MSC_OK);
    EXPECT_EQ(opening.get(), MSC_NOT_CONNECTED);
    // Finalize waited for the Open, which ended before its own time-out could.
    EXPECT_LT(std::chrono::steady_clock::now() - start, kConnectTimeout);
    EXPECT_EQ(msc.IsConnected(handle), MSC_BAD_HANDLE);
}

TEST_F(ArdentisExportsTest, CallsRacingWithFinalizeEndWithBadHandle)
{
    const int32_t first = Create();
    const int32_t second = Create();
    ASSERT_EQ(Open(first), MSC_OK);

    std::vector<std::future<int32_t>> callers;
    for (int32_t handle : {first, second}) {
        callers.push_back(std::async(std::launch::async, [&, handle] {
            char buffer[256];
            int32_t outLength = 0;
            for (;;) {
                int32_t results[] = {
                    msc.IsConnected(handle),
                    msc.ReadEvent(handle, buffer, sizeof buffer),
                    msc.GetLastError(handle, buffer, sizeof buffer),
                    msc.IOCtrl(handle, MSC_IOCTL_GET_OBJECT_IDS, nullptr, 0, buffer, sizeof buffer, &outLength),
                    msc.WaitEvent(handle, 1, 0),
                };
                for (int32_t result : results)
                    if (result == MSC_BAD_HANDLE)
                        return result;
            }
        }));
        callers.push_back(std::async(std::launch::async, [&, handle] {
            // A host thread blocked in a wait when the library goes.
            for (;;) {
                const int32_t result = msc.WaitEvent(handle, platform::kInfinite, 0);
                if (result == MSC_BAD_HANDLE)
                    return result;
            }
        }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(msc.Finalize(), MSC_OK);
    for (auto& caller : callers)
        EXPECT_EQ(caller.get(), MSC_BAD_HANDLE);
}

// ---- Documents a host exchanges with the station -------------------------------------

// A type that fits the station's bound written compactly is more than twice
// that once re-printed with indents; the list still holds it whole.
TEST_F(ArdentisExportsTest, DeviceTypesListEveryDocumentAlsoOneThatOutgrowsTheStationBound)
{
    const auto device_type = [](int type, const std::string& name, const std::string& body) {
        return "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"no\" ?>\n<Root><General><Typ>" +
               std::to_string(type) + "</Typ><Name>" + name + "</Name></General>" + body + "</Root>";
    };
    constexpr size_t kCompactSize = 32129;
    constexpr size_t kLines = 7900;
    std::string lines;
    for (size_t i = 0; i < kLines; ++i)
        lines += "<a/>";
    lines = "<Lines><Line>" + lines + "</Line></Lines>";
    const std::string padding(kCompactSize - device_type(2, "Large", lines).size(), 'x');
    station.SetConstDocuments(kRequestLoadConstDevices, {device_type(1, "Panel", ""),
                                                         device_type(2, "Large" + padding, lines),
                                                         device_type(3, "Reader", "<Model>R1</Model>")});
    const int32_t handle = Create();
    ASSERT_EQ(Open(handle), MSC_OK);

    std::vector<char> buffer(1 << 20, 'x');
    int32_t outLength = 0;
    ASSERT_EQ(msc.IOCtrl(handle, MSC_IOCTL_GET_DEVICE_TYPES, nullptr, 0, buffer.data(),
                         static_cast<int32_t>(buffer.size()), &outLength),
              MSC_OK);
    const std::string list(buffer.data());
    size_t listed = 0;
    for (size_t at = list.find("<a />"); at != std::string::npos; at = list.find("<a />", at + 1))
        ++listed;
    EXPECT_EQ(listed, kLines);
    const std::string end = "<Model>R1</Model>\n</devtype>\n</devtypelist>\n";
    EXPECT_EQ(list.rfind(end), list.size() - end.size());
}

TEST_F(ArdentisExportsTest, AnObjectReadAndHandedBackKeepsItsBlanks)
{
    CMS_ObjectData object = make_object(2, "  two  spaces  ");
    object.GBR = "a   b\tc";
    object.Password = "   ";
    station.AddObject(object);
    const int32_t handle = Create();
    ASSERT_EQ(Open(handle), MSC_OK);

    int32_t id = object.ID;
    std::vector<char> document(8192);
    int32_t outLength = 0;
    ASSERT_EQ(msc.IOCtrl(handle, MSC_IOCTL_GET_OBJECT_BY_ID, &id, sizeof id, document.data(),
                         static_cast<int32_t>(document.size()), &outLength),
              MSC_OK);
    ASSERT_EQ(msc.IOCtrl(handle, MSC_IOCTL_CHANGE_OBJECT, document.data(), outLength, nullptr, 0, &outLength),
              MSC_OK);
    const auto& changed = *station.GetObjects().back();
    ASSERT_EQ(changed.ID, object.ID);
    EXPECT_EQ(changed.Name + "|" + changed.GBR + "|" + changed.Password, "  two  spaces  |a   b\tc|   ");
}

TEST_F(ArdentisExportsTest, ARemovedObjectLeavesTheCache)
{
    for (int32_t id : {2, 3})
        station.AddObject(make_object(id));
    ASSERT_EQ(msc.Initialize(record_call), MSC_OK);
    const int32_t handle = Create();
    ASSERT_EQ(Open(handle), MSC_OK);

    ASSERT_GT(station.NotifyObject(kNotifyObjectRemoved, make_object(2)), 0);
    ASSERT_TRUE(g_calls.WaitForCount(1));
    int32_t ids[4] = {};
    int32_t outLength = 0;
    ASSERT_EQ(msc.IOCtrl(handle, MSC_IOCTL_GET_OBJECT_IDS, nullptr, 0, ids, sizeof ids, &outLength), MSC_OK);
    EXPECT_EQ(std::vector<int32_t>(ids, ids + outLength / 4), (std::vector<int32_t>{1, 3}));
}

class ArdentisFinalizeInCallback : public ArdentisExportsTest, public ::testing::WithParamInterface<int32_t>
{
protected:
    std::atomic<int32_t> finalized{-1};
};

// The instance whose worker runs the callback is deleted after it, never
// under it; the host goes on with new instances.
TEST_P(ArdentisFinalizeInCallback, DeletesTheInstanceAfterItsCallback)
{
    hold.inside = [this] { finalized = msc.Finalize(); };
    hold.Release();
    ASSERT_EQ(msc.Initialize(hold_first_call), MSC_OK);
    const int32_t handle = Create();
    ASSERT_EQ(Open(handle), MSC_OK);
    if (GetParam() == MSC_NOTIFY_DISCONNECTED)
        simulator.CloseConnections();
    else
        ASSERT_EQ(station.NotifyObject(kNotifyObjectAdded, make_object(2)), 1);

    ASSERT_TRUE(wait_until([this] { return finalized != -1; }));
    EXPECT_EQ(finalized, MSC_OK);
    EXPECT_TRUE(simulator.WaitForOpenConnections(0, 5000));
    EXPECT_EQ(g_calls.Codes(), std::vector<int32_t>{GetParam()});
    EXPECT_EQ(Open(Create()), MSC_OK);
}

INSTANTIATE_TEST_SUITE_P(Codes, ArdentisFinalizeInCallback,
                         ::testing::Values(MSC_NOTIFY_OBJECT_ADDED, MSC_NOTIFY_DISCONNECTED));

TEST_F(ArdentisExportsTest, FinalizeAfterAFloodMakesNoFurtherCallback)
{
    ASSERT_EQ(msc.Initialize(hold_first_call), MSC_OK);
    const int32_t handle = Create();
    ASSERT_EQ(Open(handle), MSC_OK);
    for (int32_t round = 0; round < 2000; ++round) {
        CMS_ObjectData object = make_object(1);
        object.State = round;
        ASSERT_EQ(station.NotifyObject(kNotifyObjectChanged, object), 1);
    }
    ASSERT_TRUE(g_calls.WaitForCount(1));

    auto finalizing = std::async(std::launch::async, [&] { return msc.Finalize(); });
    // Stopped: the instance has let its link go.
    EXPECT_TRUE(simulator.WaitForOpenConnections(0, 5000));
    hold.Release();
    EXPECT_EQ(finalizing.get(), MSC_OK);
    EXPECT_EQ(g_calls.Count(), 1u);
}

TEST_F(ArdentisExportsTest, AnAnswerWithSwappedFragmentsFailsTheRequestAtOnce)
{
    const int32_t handle = Create();
    ASSERT_EQ(Open(handle), MSC_OK);
    std::future<int32_t> request;
    ASSERT_TRUE(StartUnansweredEventRequest(handle, request));
    // Failing by its time-out would say "no answer".
    ASSERT_EQ(simulator.SendRawBytes(answer_fragments({0, 2, 1})), 1);
    EXPECT_EQ(request.get(), MSC_ERROR);
    EXPECT_EQ(LastError(handle), ansi("Ошибка передачи (нарушена структура ответа)"));
}

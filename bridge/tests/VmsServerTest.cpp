// The video-system server on loopback, started in-process on a port the system
// picks, spoken to through real sockets.

#include "vms/VmsServer.h"

#include "LinkTestClient.h"
#include "model/ElementModel.h"
#include "model/ElementRecord.h"
#include "support/BridgeLog.h"
#include "support/ConnectionSettings.h"
#include "testsupport/ChildProcess.h"
#include "testsupport/WaitUntil.h"
#include "vms/ConnectionList.h"
#include "vms/OrvantaConnection.h"
#include "vms/QueuedMemory.h"
#include "vms/VmsLimits.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using testsupport::read_file;
using testsupport::TempFolder;
using Frame = LinkFrameReader::Frame;
using Read = LinkTestClient::Read;

namespace {

const char kLogin[] = "orvanta";
const char kPassword[] = "s3cret";

KorvelElementPtr make_element(int32_t id, int32_t group, int32_t object, int32_t level, const std::string& name)
{
    auto e = std::make_shared<KorvelElement>();
    e->ID = id;
    e->Group = group;
    e->ObjectID = object;
    e->Type = id % 7;
    e->StateLevel = level;
    e->State = id * 16;
    e->Number = id % 100;
    e->Name = name;
    return e;
}

std::string text(const Frame& frame)
{
    return std::string(frame.payload.begin(), frame.payload.end());
}

// Every record of a state or update payload; a payload that does not split
// exactly into records fails the test.
std::vector<ElementRecord> records_of(const Frame& frame)
{
    std::vector<ElementRecord> records;
    size_t offset = 0;
    ElementRecord record;
    while (read_element_record(frame.payload.data(), frame.payload.size(), offset, record))
        records.push_back(record);
    EXPECT_EQ(offset, frame.payload.size()) << "payload does not end with a whole record";
    return records;
}

// The record of the next frame, which must be a LINK_UPDATE of one record.
ElementRecord next_update(LinkTestClient& client)
{
    Frame frame;
    EXPECT_EQ(client.ReadFrame(frame), Read::Frame);
    EXPECT_EQ(frame.command, LINK_UPDATE);
    const std::vector<ElementRecord> records = records_of(frame);
    EXPECT_EQ(records.size(), 1u);
    return records.empty() ? ElementRecord() : records[0];
}

size_t count_of(const std::string& haystack, const std::string& needle)
{
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
        ++count;
    return count;
}

// The server logs from its own thread; a loaded machine may take a while.
constexpr std::chrono::seconds kLogWait{20};

// Reads the next frame, which must be LINK_ERROR with the text, and then the
// end of the stream.
void expect_refused(LinkTestClient& client, const std::string& error, const std::string& what = std::string())
{
    Frame frame;
    ASSERT_EQ(client.ReadFrame(frame), Read::Frame) << what;
    EXPECT_EQ(frame.command, LINK_ERROR) << what;
    EXPECT_EQ(text(frame), error) << what;
    EXPECT_TRUE(client.WaitClosed()) << what;
}

// A socket listening on a loopback port the system picks; `port` is set to it.
platform::SocketHandle listen_on_loopback(uint16_t& port)
{
    platform::Ipv4Endpoint endpoint;
    endpoint.address = platform::kLoopbackAddress;
    return platform::listen_tcp(endpoint, 1, port);
}

void clear_model()
{
    std::lock_guard<std::mutex> lock(g_model_mutex);
    g_group_map.clear();
}

// One group holding one object with `sensors` sensors of names `name_size`
// bytes long; the number of elements.
size_t fill_large_model(int sensors, size_t name_size)
{
    auto group = make_element(1, 1, -1, 1, "group");
    auto object = make_element(2, 1, 2, 1, "object");
    for (int i = 0; i < sensors; ++i)
        object->children[1000 + i] = make_element(1000 + i, 1, 2, 1, std::string(name_size, 'a' + i % 26));
    group->children[2] = object;
    std::lock_guard<std::mutex> lock(g_model_mutex);
    g_group_map[1] = group;
    return 2 + static_cast<size_t>(sensors);
}

class VmsServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved_log = log_path();
        set_log_path(m_folder / "korvel-orvanta-client.log");
        // Lines are counted here, repeats included.
        set_log_limits_for_tests(kLogMaxFileSize, std::chrono::milliseconds(0));
        verbosity = kLogVerbose;
        login = kLogin;
        password = kPassword;
        clear_model();
        local_port = 0;
        ASSERT_TRUE(start_vms_server()) << log();
        m_port = vms_server_port();
        ASSERT_NE(m_port, 0);
    }
    void TearDown() override
    {
        stop_vms_server();
        clear_model();
        login.clear();
        password.clear();
        verbosity = kLogInfo;
        set_vms_time_scale_for_tests(1);
        set_log_limits_for_tests();
        set_log_path(m_saved_log);
    }

    std::unique_ptr<LinkTestClient> connect(bool log_in = true, int receive_buffer = 0)
    {
        auto client = std::make_unique<LinkTestClient>();
        EXPECT_TRUE(client->Connect(m_port, receive_buffer));
        if (log_in) {
            EXPECT_TRUE(client->Login(kLogin, kPassword));
        }
        return client;
    }

    // Asks for the state and returns its frame.
    Frame state_of(LinkTestClient& client)
    {
        EXPECT_TRUE(client.SendFrame(LINK_GET_STATE));
        Frame frame;
        EXPECT_EQ(client.ReadFrame(frame), Read::Frame);
        EXPECT_EQ(frame.command, LINK_STATE);
        return frame;
    }

    std::string log() const { return read_file(m_folder / "korvel-orvanta-client.log"); }

    // Has the client ask `requests` times for the state, the model changed
    // first (unless `same`) so that it differs from every one before; true
    // once they are answered (the unknown command behind them logged).
    bool take_state(LinkTestClient& client, int requests = 1, bool same = false)
    {
        if (!same) {
            std::lock_guard<std::mutex> lock(g_model_mutex);
            g_group_map.begin()->second->State = ++m_model_changes;
        }
        std::vector<uint8_t> bytes;
        for (int i = 0; i <= requests; ++i) {
            const auto frame = make_link_frame(i < requests ? LINK_GET_STATE : 0x07, "");
            bytes.insert(bytes.end(), frame.begin(), frame.end());
        }
        const size_t answered = ++m_requests;
        return client.Send(bytes) &&
               wait_until([&] { return count_of(log(), "unknown cmd 0x07 received\n") >= answered; }, kLogWait);
    }

    TempFolder m_folder;
    int32_t m_model_changes = 0;
    size_t m_requests = 0;
    std::string m_saved_log;
    uint16_t m_port = 0;
};

TEST_F(VmsServerTest, FramesSplitOrCoalescedAreEachHandledOnceComplete)
{
    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        g_group_map[5] = make_element(5, 5, -1, 1, "North");
    }
    auto client = connect(false);
    // The login a byte at a time.
    for (uint8_t byte : make_link_frame(LINK_LOGIN, link_login_text(kLogin, kPassword))) {
        ASSERT_TRUE(client->Send({byte}));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Frame frame;
    ASSERT_EQ(client->ReadFrame(frame), Read::Frame);
    EXPECT_EQ(frame.command, LINK_LOGIN_OK);
    EXPECT_EQ(text(frame), "OK");

    // Two requests (L = 0, and a payload that is ignored) and the start of a
    // third in one write.
    std::vector<uint8_t> bytes = make_link_frame(LINK_GET_STATE, "");
    const std::vector<uint8_t> second = make_link_frame(LINK_GET_STATE, "ignored");
    bytes.insert(bytes.end(), second.begin(), second.end());
    const std::vector<uint8_t> third = make_link_frame(LINK_GET_STATE, "xyz");
    bytes.insert(bytes.end(), third.begin(), third.begin() + 3);
    ASSERT_TRUE(client->Send(bytes));
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(client->ReadFrame(frame), Read::Frame);
        EXPECT_EQ(frame.command, LINK_STATE);
        ASSERT_EQ(records_of(frame).size(), 1u);
    }
    EXPECT_EQ(client->ReadFrame(frame, 200), Read::Timeout);
    ASSERT_TRUE(client->Send(std::vector<uint8_t>(third.begin() + 3, third.end())));
    ASSERT_EQ(client->ReadFrame(frame), Read::Frame);
    EXPECT_EQ(frame.command, LINK_STATE);
}

TEST_F(VmsServerTest, StateIsTheWholeTreeDepthFirstInIdOrder)
{
    auto client = connect();
    Frame empty = state_of(*client);
    EXPECT_TRUE(empty.payload.empty());

    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        auto g10 = make_element(10, 10, -1, 1, "Склад");
        auto g20 = make_element(20, 20, -1, 1, "Офис");
        auto o100 = make_element(100, 10, 100, 0, "Ворота");
        auto o200 = make_element(200, 10, 200, 1, "Гараж");
        auto o300 = make_element(300, 20, 300, 1, "Вход");
        o100->children[1002] = make_element(1002, 10, 100, 2, "Дверь");
        o100->children[1001] = make_element(1001, 10, 100, 1, "Окно");
        o300->children[3001] = make_element(3001, 20, 300, 1, "");
        g10->children[200] = o200;
        g10->children[100] = o100;
        g20->children[300] = o300;
        g_group_map[20] = g20;
        g_group_map[10] = g10;
    }
    const Frame state = state_of(*client);
    const std::vector<ElementRecord> records = records_of(state);
    struct Expected {
        uint8_t level;
        int32_t id;
        int32_t StateLevel;
        std::string name;
    };
    const Expected expected[] = {
        {1, 10, 1, "Склад"}, {2, 100, 0, "Ворота"}, {3, 1001, 1, "Окно"}, {3, 1002, 2, "Дверь"},
        {2, 200, 1, "Гараж"}, {1, 20, 1, "Офис"},   {2, 300, 1, "Вход"},  {3, 3001, 1, ""},
    };
    ASSERT_EQ(records.size(), std::size(expected));
    size_t payload = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].level, expected[i].level) << i;
        EXPECT_EQ(records[i].ID, expected[i].id) << i;
        EXPECT_EQ(records[i].StateLevel, expected[i].StateLevel) << i;
        EXPECT_EQ(records[i].Name, expected[i].name) << i;
        EXPECT_EQ(records[i].State, expected[i].id * 16) << i;
        EXPECT_EQ(records[i].Number, expected[i].id % 100) << i;
        payload += 33 + expected[i].name.size();
    }
    // The last record, with its empty name, takes 33 bytes.
    EXPECT_EQ(state.payload.size(), payload);

    // Asked again, the whole tree comes again, as it is now.
    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        g_group_map[20]->children[300]->children[3001]->StateLevel = 2;
    }
    const std::vector<ElementRecord> again = records_of(state_of(*client));
    ASSERT_EQ(again.size(), records.size());
    EXPECT_EQ(again.back().StateLevel, 2);
}

TEST_F(VmsServerTest, AnythingButTheRightLoginIsRefusedWithTheErrorFrameFirst)
{
    const std::string good = link_login_text(kLogin, kPassword);
    std::string one_byte_off = good;
    one_byte_off[3] = static_cast<char>(one_byte_off[3] ^ 1);
    std::string upper_case = good;
    for (char& c : upper_case)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string error;
    };
    const Case cases[] = {
        {"state before login", make_link_frame(LINK_GET_STATE, ""), "Unauthorized"},
        {"unknown command before login", make_link_frame(0x07, ""), "Unauthorized"},
        {"login one byte off", make_link_frame(LINK_LOGIN, one_byte_off), "Unauthorized"},
        {"login in upper case", make_link_frame(LINK_LOGIN, upper_case), "Unauthorized"},
        {"login with a trailing byte", make_link_frame(LINK_LOGIN, good + "\n"), "Unauthorized"},
        {"login cut short", make_link_frame(LINK_LOGIN, good.substr(0, good.size() - 1)), "Unauthorized"},
        {"login with another password", make_link_frame(LINK_LOGIN, link_login_text(kLogin, "other")),
         "Unauthorized"},
        {"empty login", make_link_frame(LINK_LOGIN, ""), "Unauthorized"},
        {"wrong start bytes", {0x0D, 0x26, 0, 0, 0, 0, LINK_LOGIN}, "Wrong data format"},
    };
    for (const Case& c : cases) {
        auto client = connect(false);
        // More bytes behind the bad frame than the bridge reads at once: left
        // unread at the close, they would turn it into a reset.
        std::vector<uint8_t> bytes = c.bytes;
        bytes.resize(bytes.size() + 64 * 1024, 0x55);
        ASSERT_TRUE(client->Send(bytes)) << c.what;
        expect_refused(*client, c.error, c.what);
    }
    // Wrong logins in a quick row are logged once, without the password.
    const size_t failed = count_of(log(), "Orvanta login failed from 127.0.0.1\n");
    EXPECT_GE(failed, 1u) << log();
    EXPECT_LT(failed, 6u) << log();
    EXPECT_EQ(log().find("other"), std::string::npos);
    // Each refused connection is gone once its peer has gone.
    EXPECT_TRUE(wait_until([&] { return count_of(log(), "Orvanta connection destroyed\n") == std::size(cases); }, kLogWait))
        << log();
}


TEST_F(VmsServerTest, ErrorFrameLeavesBehindQueuedFramesBeforeTheClose)
{
    const size_t elements = fill_large_model(30000, 250);
    auto client = connect();
    std::vector<uint8_t> bytes = make_link_frame(LINK_GET_STATE, "");
    bytes.insert(bytes.end(), {0x25, 0x0D, 0, 0, 0, 0, LINK_GET_STATE});
    // Larger than the socket buffers: the state is still queued when the bad
    // frame is refused.
    ASSERT_TRUE(client->Send(bytes));
    Frame frame;
    ASSERT_EQ(client->ReadFrame(frame), Read::Frame);
    EXPECT_EQ(frame.command, LINK_STATE);
    EXPECT_EQ(records_of(frame).size(), elements);
    expect_refused(*client, "Wrong data format");
}

TEST_F(VmsServerTest, PeerThatTakesNoErrorFrameIsClosedAfterTheDelay)
{
    fill_large_model(30000, 250);
    auto client = connect(true, 16 * 1024);
    std::vector<uint8_t> bytes = make_link_frame(LINK_GET_STATE, "");
    bytes.insert(bytes.end(), {0x25, 0x0D, 0, 0, 0, 0, LINK_GET_STATE});
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(client->Send(bytes));
    // Nothing is read here, so the state and the error frame behind it never
    // leave; the bridge gives up on them after its delay.
    ASSERT_TRUE(wait_until([&] { return log().find("Orvanta connection destroyed\n") != std::string::npos; }, kLogWait))
        << log();
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(OrvantaConnection::kCloseDelayMs));
    EXPECT_TRUE(client->WaitClosed());
}

TEST_F(VmsServerTest, AfterLoginRepeatedLoginsAndUnknownCommandsGetNoReply)
{
    auto client = connect();
    ASSERT_TRUE(client->SendFrame(LINK_LOGIN, link_login_text(kLogin, kPassword)));
    ASSERT_TRUE(client->SendFrame(LINK_LOGIN, "not a login"));
    ASSERT_TRUE(client->SendFrame(LINK_STATE, "abc"));
    ASSERT_TRUE(client->SendFrame(0x07, ""));
    // The next frame that comes is the answer to the state request.
    const Frame state = state_of(*client);
    EXPECT_TRUE(state.payload.empty());
    const std::string lines = log();
    EXPECT_NE(lines.find("unknown cmd 0x04 received\nunknown cmd 0x07 received\n"), std::string::npos) << lines;
    EXPECT_EQ(count_of(lines, "unknown cmd"), 2u) << lines;
}

TEST_F(VmsServerTest, BeforeLoginLengthsAreBoundByTheExpectedLoginAfterItByNothing)
{
    // "connection.ini" may hold a password of any length.
    const std::string long_password(4000, 'p');
    const uint32_t long_login = static_cast<uint32_t>(link_login_text(kLogin, long_password).size());
    struct Case {
        const char* what;
        std::string password; // empty: the fixture's
        bool log_in;
        uint8_t command;
        uint32_t length;
        bool send_payload;
        std::string error; // empty: the frame is taken
    };
    const Case cases[] = {
        {"4 KiB + 1 before login", "", false, LINK_LOGIN, 4097, false, "Wrong data format"},
        {"largest length before login", "", false, LINK_LOGIN, 0xFFFFFFFFu, false, "Wrong data format"},
        {"4 KiB before login", "", false, LINK_LOGIN, 4096, true, "Unauthorized"},
        {"a long login's length", long_password, false, LINK_LOGIN, long_login, true, "Unauthorized"},
        {"a long login's length + 1", long_password, false, LINK_LOGIN, long_login + 1, false, "Wrong data format"},
        {"1 MiB + 1 after login", "", true, LINK_GET_STATE, 1024 * 1024 + 1, true, ""},
    };
    for (const Case& c : cases) {
        password = c.password.empty() ? kPassword : c.password;
        auto client = connect(c.log_in);
        std::vector<uint8_t> bytes(kLinkHeaderSize);
        write_link_header(bytes.data(), c.command, c.length);
        if (c.send_payload)
            bytes.resize(kLinkHeaderSize + c.length, 'A');
        ASSERT_TRUE(client->Send(bytes)) << c.what;
        if (!c.error.empty()) {
            expect_refused(*client, c.error, c.what);
            continue;
        }
        // A state request whose payload is ignored.
        Frame frame;
        ASSERT_EQ(client->ReadFrame(frame), Read::Frame) << c.what;
        EXPECT_EQ(frame.command, LINK_STATE) << c.what;
        EXPECT_TRUE(frame.payload.empty()) << c.what;
        EXPECT_EQ(client->ReadFrame(frame, 200), Read::Timeout) << c.what;
    }
}

TEST_F(VmsServerTest, UpdatesGoOnlyToConnectionsThatTookTheState)
{
    auto waiting = connect();
    auto watching = connect();
    state_of(*watching);

    const auto first = make_element(7, 1, 7, 2, "Периметр");
    broadcast_update(first, LEVEL_OBJECT);
    const ElementRecord record = next_update(*watching);
    EXPECT_EQ(record.level, LEVEL_OBJECT);
    EXPECT_EQ(record.ID, 7);
    EXPECT_EQ(record.StateLevel, 2);
    EXPECT_EQ(record.Name, "Периметр");
    Frame frame;
    EXPECT_EQ(waiting->ReadFrame(frame, 300), Read::Timeout);

    state_of(*waiting);
    broadcast_update(make_element(8, 1, 7, 0, "Датчик"), LEVEL_SENSOR);
    for (LinkTestClient* client : {waiting.get(), watching.get()}) {
        const ElementRecord update = next_update(*client);
        EXPECT_EQ(update.ID, 8);
        EXPECT_EQ(update.level, LEVEL_SENSOR);
    }
    EXPECT_NE(log().find("send update 0(128) level 3, group 1, object 8, sensor 8\n"), std::string::npos) << log();
}

TEST_F(VmsServerTest, UpdatesFromAnotherThreadArriveWholeAndInOrderBehindALargeState)
{
    // Larger than what the socket buffers hold, so the state is still being
    // written while the updates are handed over.
    const size_t elements = fill_large_model(30000, 250);
    constexpr int32_t kUpdates = 2000;
    auto client = connect();
    ASSERT_TRUE(client->SendFrame(LINK_GET_STATE));

    std::thread worker([] {
        // Updates before the state is taken would not be sent; wait for it.
        wait_until([] {
            bool taken = false;
            g_connection_list.ForEachAlive([&](const OrvantaConnection::Ptr& c) { taken = taken || c->state_sent; });
            return taken;
        });
        for (int32_t i = 0; i < kUpdates; ++i)
            broadcast_update(make_element(5000 + i, 1, 2, i % 3, "update " + std::to_string(i)), LEVEL_SENSOR);
    });
    worker.join();

    Frame frame;
    ASSERT_EQ(client->ReadFrame(frame, 30000), Read::Frame);
    EXPECT_EQ(frame.command, LINK_STATE);
    EXPECT_EQ(records_of(frame).size(), elements);
    for (int32_t i = 0; i < kUpdates; ++i) {
        const ElementRecord update = next_update(*client);
        ASSERT_EQ(update.ID, 5000 + i);
        EXPECT_EQ(update.Name, "update " + std::to_string(i));
    }
}

TEST_F(VmsServerTest, SharedUpdatesCountOnceAndReachEveryClientInOrderAfterASlowClientIsClosed)
{
    std::vector<std::unique_ptr<LinkTestClient>> clients; // the first one is slow
    for (int i = 0; i < 4; ++i) {
        clients.push_back(connect(true, i == 0 ? 16 * 1024 : 0));
        state_of(*clients.back());
    }
    const auto send_updates = [](int32_t from, int32_t to) {
        for (int32_t i = from; i < to; ++i)
            broadcast_update(make_element(i, 1, 2, i % 3, std::string(500, 'n')), LEVEL_SENSOR);
    };
    const auto expect_updates = [](LinkTestClient& client, int32_t from, int32_t to) {
        for (int32_t i = from; i < to; ++i)
            ASSERT_EQ(next_update(client).ID, i);
    };
    // Far more than the socket buffers take, held unsent by three clients.
    constexpr int32_t kUpdates = 40000;
    const size_t bytes = kUpdates * (kLinkHeaderSize + kElementRecordFixedSize + 500);
    const size_t before = QueuedMemory::Total();
    send_updates(0, kUpdates);
    expect_updates(*clients[1], 0, kUpdates);
    // Counted once, not once per client holding them (three times as much);
    // each queue entry adds its 64 bytes, and a loaded machine makes more of
    // them, smaller.
    EXPECT_GT(QueuedMemory::Total() - before, bytes / 2);
    EXPECT_LT(QueuedMemory::Total() - before, bytes + bytes / 4);

    clients[0]->Close();
    ASSERT_TRUE(wait_until([&] { return log().find("Error while sending data to Orvanta") != std::string::npos; }, kLogWait));
    send_updates(kUpdates, kUpdates + 100);
    for (size_t i = 1; i < clients.size(); ++i)
        expect_updates(*clients[i], i == 1 ? kUpdates : 0, kUpdates + 100);
    EXPECT_TRUE(wait_until([&] { return QueuedMemory::Total() <= before; }, kLogWait));
}

TEST_F(VmsServerTest, StateTakenWhileUpdatesFlowIsFollowedByExactlyTheLaterOnes)
{
    fill_large_model(1, 2000);
    const KorvelElementPtr sensor = g_group_map.at(1)->children.at(2)->children.at(1000);
    // Another client keeps updates flowing, so some wait as the state is taken.
    auto watcher = connect();
    state_of(*watcher);
    auto client = connect();
    constexpr int32_t kChanges = 20000;
    std::atomic<int32_t> made{0};
    // As the station worker does it: each change under the model mutex, its
    // update handed over once the mutex is released. A state taken between
    // the two holds a change whose update still follows it.
    std::thread worker([&] {
        for (int32_t i = 1; i <= kChanges; ++i) {
            {
                std::lock_guard<std::mutex> lock(g_model_mutex);
                sensor->State = i;
            }
            broadcast_update(sensor, LEVEL_SENSOR);
            made = i;
        }
    });
    while (made < 100)
        std::this_thread::yield();
    const std::vector<ElementRecord> state = records_of(state_of(*client));
    worker.join();
    ASSERT_EQ(state.size(), 3u);
    // Behind the last change: every update before it has come once it comes.
    constexpr int32_t kMarker = 77777;
    broadcast_update(make_element(kMarker, 1, 2, 1, "marker"), LEVEL_SENSOR);
    std::vector<int32_t> seen;
    for (ElementRecord update = next_update(*client); update.ID != kMarker && !HasFailure();
         update = next_update(*client))
        seen.push_back(update.State);
    // The client may see the update of the change its state already holds,
    // then every later one, none missed.
    const int32_t held = state[2].State;
    if (!seen.empty() && seen.front() == held)
        seen.erase(seen.begin());
    ASSERT_EQ(seen.size(), static_cast<size_t>(kChanges - held));
    for (size_t i = 0; i < seen.size(); ++i)
        ASSERT_EQ(seen[i], held + 1 + static_cast<int32_t>(i));
}

TEST_F(VmsServerTest, StalledClientHoldsOneCopyOfAStateAndIsDroppedPastItsLimit)
{
    fill_large_model(30000, 250); // about 8.5 MB of state
    auto stalled = connect(true, 16 * 1024);
    auto reader = connect();
    state_of(*reader);

    // Forty requests more for a state that waits add no copy of it.
    const size_t before = QueuedMemory::Total();
    ASSERT_TRUE(take_state(*stalled, 40));
    const size_t one_state = QueuedMemory::Total() - before;
    ASSERT_TRUE(take_state(*stalled, 40, true));
    EXPECT_LT(QueuedMemory::Total() - before, one_state + 64 * 1024);

    // Different states are each held: the eighth passes the limit.
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(take_state(*stalled)) << i << log();
    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        g_group_map.begin()->second->State = -1;
    }
    ASSERT_TRUE(stalled->SendFrame(LINK_GET_STATE));
    ASSERT_TRUE(wait_until([&] { return log().find("Orvanta client does not read") != std::string::npos; }, kLogWait))
        << log();
    broadcast_update(make_element(1000, 1, 2, 2, "still here"), LEVEL_SENSOR);
    EXPECT_EQ(next_update(*reader).Name, "still here");
    EXPECT_TRUE(stalled->WaitClosed(30000));
}

TEST_F(VmsServerTest, AllClientsTogetherHoldNoMoreThanTheBoundTheLargestHolderIsClosed)
{
    fill_large_model(30000, 250);
    std::vector<std::unique_ptr<LinkTestClient>> stalled;
    // 7 states of 8.5 MB for the first, 6 for each other: together past the
    // bound, each under the connection's limit.
    for (size_t i = 0; i < 6; ++i) {
        stalled.push_back(connect(true, 16 * 1024));
        for (int j = 0; j < (i == 0 ? 7 : 6); ++j) {
            ASSERT_TRUE(take_state(*stalled[i])) << i << " " << j << log();
        }
    }
    EXPECT_LE(QueuedMemory::Total(), kMaxQueuedBytesTotal);
    EXPECT_EQ(count_of(log(), "Orvanta client 127.0.0.1:"), 1u) << log();
    EXPECT_TRUE(stalled[0]->WaitClosed(30000));
    // Still open: its first state, 8.5 MB, comes through once it reads.
    Frame frame;
    EXPECT_EQ(stalled[1]->ReadFrame(frame, 30000), Read::Frame);
}

TEST_F(VmsServerTest, LoginAndEveryFrameBegunMustEndInTime)
{
    // A login or frame ending in time keeps its connection: that is the
    // connection's own test, whose turns the test runs. Here each limit ends
    // one; a login that must come first has the whole of its time.
    const std::vector<uint8_t> request = make_link_frame(LINK_GET_STATE, "ignored");
    const std::vector<uint8_t> head(request.begin(), request.begin() + 5);
    struct Case {
        const char* what;
        bool log_in;
        std::vector<uint8_t> bytes;
        const char* line;
    };
    const Case cases[] = {
        {"silent peer", false, {}, "did not log in within 200 ms"},
        {"logged in, half a frame", true, head, "did not complete a frame within 600 ms"},
    };
    for (const Case& c : cases) {
        set_vms_time_scale_for_tests(c.log_in ? 1 : 50);
        auto client = connect(c.log_in);
        set_vms_time_scale_for_tests(50); // login 200 ms, a frame 600 ms
        ASSERT_TRUE(c.bytes.empty() || client->Send(c.bytes)) << c.what;
        EXPECT_TRUE(client->WaitClosed()) << c.what;
        EXPECT_NE(log().find(std::string("Orvanta client 127.0.0.1 ") + c.line + ", connection closed\n"),
                  std::string::npos)
            << log();
    }
}

TEST_F(VmsServerTest, IdlePeersMakeRoomOldestFirstForAClientThatLogsIn)
{
    std::vector<std::unique_ptr<LinkTestClient>> idle;
    for (size_t i = 0; i < kMaxConnectionsAwaitingLogin; ++i)
        idle.push_back(connect(false));
    ASSERT_TRUE(wait_until([] { return OrvantaConnection::AwaitingLoginCount() == kMaxConnectionsAwaitingLogin; }, kLogWait));
    auto client = connect();
    EXPECT_TRUE(idle.front()->WaitClosed(5000));
    Frame frame;
    EXPECT_EQ(idle[1]->ReadFrame(frame, 100), Read::Timeout);
    EXPECT_NE(log().find("Orvanta client 127.0.0.1 closed before its login: too many connections waiting"),
              std::string::npos)
        << log();
}

TEST_F(VmsServerTest, AcceptingGoesOnAfterFailedAccepts)
{
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    // The next socket takes the lowest free number; allowing no number above
    // it leaves the server no descriptor to accept into.
    const platform::SocketHandle probe = platform::create_tcp_socket();
    ASSERT_NE(probe, platform::kInvalidSocket);
    platform::close_socket(probe);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(probe) + 1;

    LinkTestClient client;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limited), 0);
    const bool connected = client.Connect(m_port) &&
                           client.SendFrame(LINK_LOGIN, link_login_text(kLogin, kPassword));
    Frame frame;
    // Every accept fails meanwhile, so nobody answers.
    const Read while_limited = client.ReadFrame(frame, 350);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    ASSERT_TRUE(connected);
    EXPECT_EQ(while_limited, Read::Timeout);

    ASSERT_EQ(client.ReadFrame(frame), Read::Frame);
    EXPECT_EQ(frame.command, LINK_LOGIN_OK);
}

TEST_F(VmsServerTest, StopClosesConnectionsAndTheServerStartsAgain)
{
    auto client = connect();
    state_of(*client);
    stop_vms_server();
    EXPECT_EQ(vms_server_port(), 0);
    EXPECT_TRUE(client->WaitClosed());
    // The station worker may still hand over changes; they go nowhere.
    broadcast_update(make_element(3, 1, 3, 1, "late"), LEVEL_OBJECT);

    ASSERT_TRUE(start_vms_server());
    m_port = vms_server_port();
    auto again = connect();
    EXPECT_TRUE(state_of(*again).payload.empty());
    broadcast_update(make_element(4, 1, 4, 1, "after restart"), LEVEL_OBJECT);
    EXPECT_EQ(next_update(*again).ID, 4);
}

TEST_F(VmsServerTest, ConnectionsThatEndedLeaveTheListAtTheNextAccept)
{
    for (int i = 0; i < 5; ++i)
        connect();
    ASSERT_TRUE(wait_until([&] { return count_of(log(), "Orvanta connection destroyed\n") == 5; }, kLogWait)) << log();
    auto client = connect();
    // The live connection and the one waiting for the next peer; without the
    // pruning every connection ever made would stay listed.
    EXPECT_EQ(g_connection_list.Size(), 2u);
}

TEST_F(VmsServerTest, PortInUseIsLoggedAndStartFails)
{
    uint16_t taken = 0;
    const platform::SocketHandle holder = listen_on_loopback(taken);
    ASSERT_NE(holder, platform::kInvalidSocket);
    stop_vms_server();
    local_port = taken;
    EXPECT_FALSE(start_vms_server());
    EXPECT_EQ(vms_server_port(), 0);
    EXPECT_NE(log().find("unable to listen on local port " + std::to_string(taken) + " (Address already in use)\n"),
              std::string::npos)
        << log();
    platform::close_socket(holder);
}

// The program, run as the service manager runs it, with its port taken or free.
class VmsServerProgramTest : public ::testing::Test
{
protected:
    pid_t start_service(uint16_t local)
    {
        testsupport::write_file(m_folder / "connection.ini", "host localhost\nport 5000\nlogin pelto\npassword "
                                                             "pelto\nlocal_port " +
                                                                 std::to_string(local) + "\n");
        return testsupport::spawn_child({"/bin/bash", KORVEL_RUN_BRIDGE, "--exe", KORVEL_BRIDGE_EXE, "--dir",
                                         m_folder / "run", "--ini", m_folder / "connection.ini"},
                                        testsupport::environment_without({"INVOCATION_ID"}), m_folder / "output");
    }
    std::string run_log() const { return read_file(m_folder / "run/korvel-orvanta-client.log"); }

    TempFolder m_folder;
};

TEST_F(VmsServerProgramTest, TakenPortStopsTheServiceWithFailure)
{
    uint16_t taken = 0;
    const platform::SocketHandle holder = listen_on_loopback(taken);
    ASSERT_NE(holder, platform::kInvalidSocket);
    const pid_t pid = start_service(taken);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(testsupport::wait_child(pid, 20000), 3) << read_file(m_folder / "output");
    EXPECT_NE(run_log().find("unable to listen on local port " + std::to_string(taken) +
                             " (Address already in use)\n"),
              std::string::npos)
        << run_log();
    platform::close_socket(holder);
}

} // namespace

#include "base/StringHelpers.h"
#include "connection/CLanClient.h"
#include "HangingListener.h"
#include "StationSimulator.h"
#include "testsupport/WaitUntil.h"
#include "WaitableList.h"
#include "wire/KvtpFrame.h"
#include "wire/PayloadScrambler.h"
#include "wire/StationMessageType.h"
#include "WireBytes.h"

#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace {

using stationsim::RequestFault;
using stationsim::StationReply;
using stationsim::StationRequest;
using stationsim::StationSimulator;
using Clock = std::chrono::steady_clock;

constexpr int32_t kEchoCode = 7;
constexpr uint32_t kWaitMs = 5000;
// Long enough that a request ending on its own proves it did not wait it out.
constexpr uint32_t kLongRequestMs = 30000;
constexpr int kLongConnectSeconds = 30;

std::string utf8_of(std::string text)
{
    ansi_to_utf8(text);
    return text;
}

long long elapsed_ms(Clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// A connection that records the unsolicited messages it is handed.
class RecordingClient : public CLanClient
{
public:
    struct Message
    {
        int32_t type;
        std::vector<uint8_t> data;
        CMS_HelperServer* owner;
    };

    ~RecordingClient() override { Disconnect(); }

    WaitableList<Message> messages;

protected:
    int32_t OnMessage(CLanPacket& message, CMS_HelperServer* owner, CByteStream& data) override
    {
        messages.Add(Message{message.GetType(), bytes_of(data), owner});
        return 0;
    }
};

class LanClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_station.Start());
        m_station.SetHandler(kEchoCode, [](const StationRequest& request) { return StationReply::Success(request.body); });
        m_client.SetHost("127.0.0.1");
        m_client.SetPort(m_station.GetPort());
        m_client.SetPacketHelper(nullptr, 8192);
    }

    void ConnectClient()
    {
        ASSERT_TRUE(m_client.Connect(5)) << m_client.GetLastError();
        ASSERT_TRUE(m_client.IsConnected());
        ASSERT_TRUE(m_station.WaitForOpenConnections(1, kWaitMs));
    }

    // A request as the station connection makes it: the body scrambled on the
    // way out, the answer unscrambled on the way in.
    int32_t Request(int32_t code, const std::vector<uint8_t>& body, std::vector<uint8_t>* answer = nullptr,
                    uint32_t timeoutMs = kWaitMs)
    {
        std::vector<uint8_t> scrambled = body;
        ScramblePayload(scrambled.data(), static_cast<int32_t>(scrambled.size()), kStationKeyWord);
        CByteStream out;
        out.WriteBytes(scrambled.data(), static_cast<int32_t>(scrambled.size()));
        CByteStream in;
        const int32_t result = m_client.Request(code, &out, &in, timeoutMs);
        DescramblePayload(in.GetData(), in.GetLength(), kStationKeyWord);
        if (answer != nullptr)
            *answer = bytes_of(in);
        return result;
    }

    // The receive thread ends by itself; give it the time it needs.
    bool WaitUntilDisconnected()
    {
        return wait_until([&] { return !m_client.IsConnected(); });
    }

    StationSimulator m_station;
    RecordingClient m_client;
};

TEST_F(LanClientTest, RequestWhileDisconnectedFailsAndSendsNothing)
{
    EXPECT_EQ(m_client.Request(kEchoCode, nullptr, nullptr, kWaitMs), 0);
    EXPECT_EQ(m_client.GetLastError(), kLanErrorNotConnected);
    // Handed out in Windows-1251.
    EXPECT_EQ(m_client.GetLastErrorText(),
              "\xD1\xEE\xE5\xE4\xE8\xED\xE5\xED\xE8\xE5\x20\xED\xE5\x20\xF3\xF1\xF2\xE0\xED\xEE\xE2\xEB\xE5\xED\xEE");

    ConnectClient();
    EXPECT_TRUE(m_client.Disconnect());
    EXPECT_FALSE(m_client.Disconnect());
    EXPECT_EQ(Request(kEchoCode, {1, 2}), 0);
    EXPECT_EQ(m_client.GetLastError(), kLanErrorNotConnected);

    // Only the request made while connected reaches the station.
    ConnectClient();
    ASSERT_EQ(Request(kEchoCode, {3, 4}), 1);
    const std::vector<StationRequest> seen = m_station.GetRequests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].body, (std::vector<uint8_t>{3, 4}));
}

struct RoundTripCase
{
    const char* name;
    size_t requestSize;
    size_t answerSize;
    int32_t stationFrameSize;
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << c.name;
}

class LanClientRoundTrip : public LanClientTest, public ::testing::WithParamInterface<RoundTripCase>
{
};

TEST_P(LanClientRoundTrip, RequestAndAnswerArriveWhole)
{
    const RoundTripCase& c = GetParam();
    ASSERT_TRUE(m_station.SetFrameSize(c.stationFrameSize));
    const std::vector<uint8_t> answerBody = pattern(c.answerSize, 0x40);
    m_station.SetHandler(9, [&](const StationRequest&) { return StationReply::Success(answerBody); });
    ConnectClient();

    const std::vector<uint8_t> requestBody = pattern(c.requestSize);
    std::vector<uint8_t> answer{0xEE};
    ASSERT_EQ(Request(9, requestBody, &answer), 1) << m_client.GetLastError();
    EXPECT_EQ(answer, answerBody);
    const std::vector<StationRequest> seen = m_station.GetRequests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].code, 9);
    EXPECT_EQ(seen[0].body, requestBody);
    EXPECT_TRUE(m_client.IsConnected());
}

// The answer's data is its 8 leading bytes and the body; 128-byte frames carry 100.
INSTANTIATE_TEST_SUITE_P(
    Sizes, LanClientRoundTrip,
    ::testing::Values(RoundTripCase{"Empty", 0, 0, 8192},
                      RoundTripCase{"RequestInThreeFrames", 20000, 16, 8192},
                      RoundTripCase{"AnswerInFramesLastHeaderOnly", 5, 292, 128},
                      RoundTripCase{"AnswerInFramesLastPartial", 5, 250, 128},
                      RoundTripCase{"OneByteFrames", 3, 40, KvtpFrame::kHeaderSize + 1},
                      RoundTripCase{"AnswerNearBufferSize", 1, 65536 - 8 - KvtpFrame::kHeaderSize, 65536},
                      RoundTripCase{"AnswerLargerThanBuffer", 1, 200000, 65536}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) { return std::string(info.param.name); });

struct RefusalCase
{
    const char* name;
    std::string text;
    std::string expected;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class LanClientRefusal : public LanClientTest, public ::testing::WithParamInterface<RefusalCase>
{
};

TEST_P(LanClientRefusal, RefusalCarriesTheStationsText)
{
    const RefusalCase& c = GetParam();
    m_station.SetFault(kEchoCode, RequestFault::Refuse, c.text);
    ConnectClient();
    std::vector<uint8_t> answer{0xEE};
    EXPECT_EQ(Request(kEchoCode, {1}, &answer), 0);
    EXPECT_EQ(m_client.GetLastError(), kLanErrorRefused);
    EXPECT_EQ(m_client.GetLastErrorText(), c.expected);
    // A refusal leaves the link up.
    EXPECT_TRUE(m_client.IsConnected());
    m_station.ClearFaults();
    EXPECT_EQ(Request(kEchoCode, {1}, &answer), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LanClientRefusal,
    ::testing::Values(RefusalCase{"Plain", "x", "x"}, RefusalCase{"Empty", "", "<Unknown>"},
                      RefusalCase{"Cp1251", "\xCE\xF8\xE8\xE1\xEA\xE0", "\xCE\xF8\xE8\xE1\xEA\xE0"},
                      RefusalCase{"LongestReadable", std::string(0x10000, 'a'), std::string(0x10000, 'a')},
                      RefusalCase{"TooLongToRead", std::string(0x10001, 'a'), "<Unknown>"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST_F(LanClientTest, StationClosingDuringRequestFailsItAtOnce)
{
    m_station.SetFault(kEchoCode, RequestFault::CloseConnection);
    ConnectClient();
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Request(kEchoCode, {1}, nullptr, kLongRequestMs), 0);
    EXPECT_LT(elapsed_ms(start), kLongRequestMs / 2);
    EXPECT_EQ(m_client.GetLastError(), kLanErrorNoAnswer);
    EXPECT_EQ(utf8_of(m_client.GetLastErrorText()), "Нет ответа");
    EXPECT_TRUE(WaitUntilDisconnected());

    // The socket stays until the owner disconnects; further requests see no link.
    EXPECT_EQ(Request(kEchoCode, {1}), 0);
    EXPECT_EQ(m_client.GetLastError(), kLanErrorNotConnected);
    EXPECT_TRUE(m_client.Disconnect());
}

TEST_F(LanClientTest, UnansweredRequestTimesOutAndDropsTheLink)
{
    m_station.SetFault(kEchoCode, RequestFault::DropAnswer);
    ConnectClient();
    EXPECT_EQ(Request(kEchoCode, {1}, nullptr, 200), 0);
    EXPECT_EQ(m_client.GetLastError(), kLanErrorNoAnswer);
    // A late answer could otherwise pass for the next request's.
    EXPECT_FALSE(m_client.IsConnected());
    EXPECT_TRUE(m_station.WaitForOpenConnections(0, kWaitMs));

    m_station.ClearFaults();
    ConnectClient();
    std::vector<uint8_t> answer;
    EXPECT_EQ(Request(kEchoCode, {5, 6}, &answer), 1);
    EXPECT_EQ(answer, (std::vector<uint8_t>{5, 6}));
}

TEST_F(LanClientTest, AnswerWithoutWaitingRequestIsDropped)
{
    ConnectClient();
    ASSERT_EQ(m_station.SendAnswer(StationReply::Success({9, 9, 9})), 1);
    // The ping's answer follows the stray answer on the stream, so it is taken in by now.
    ASSERT_TRUE(m_client.Ping(kWaitMs));

    std::vector<uint8_t> answer;
    ASSERT_EQ(Request(kEchoCode, {1, 2, 3}, &answer), 1);
    EXPECT_EQ(answer, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(m_client.messages.Items().empty());
}

TEST_F(LanClientTest, PingAnsweredAndUnanswered)
{
    EXPECT_FALSE(m_client.Ping(100));
    EXPECT_EQ(m_client.GetLastError(), kLanErrorNotConnected);

    ConnectClient();
    EXPECT_TRUE(m_client.Ping(kWaitMs));
    EXPECT_EQ(m_station.GetPingCount(), 1u);

    m_station.SetAnswerPings(false);
    EXPECT_FALSE(m_client.Ping(100));
    // An unanswered ping is not a request: the link stays.
    EXPECT_TRUE(m_client.IsConnected());

    // Any ping frame from the station wakes a waiting ping.
    auto waiting = std::async(std::launch::async, [&] { return m_client.Ping(kLongRequestMs); });
    ASSERT_TRUE(m_station.WaitForPings(3, kWaitMs));
    ASSERT_EQ(m_station.SendPing(), 1);
    EXPECT_TRUE(waiting.get());
}

TEST_F(LanClientTest, ConcurrentRequestsAreServedOneAfterTheOther)
{
    ConnectClient();
    constexpr int kThreads = 4;
    constexpr int kRequestsEach = 25;
    std::vector<std::future<int>> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.push_back(std::async(std::launch::async, [this, t] {
            int mismatches = 0;
            for (int i = 0; i < kRequestsEach; ++i) {
                // Each body is unique; a crossed answer shows up as someone else's body.
                const std::vector<uint8_t> body(static_cast<size_t>(1 + i * 37 % 500), static_cast<uint8_t>(t * 64 + i));
                std::vector<uint8_t> answer;
                if (Request(kEchoCode, body, &answer) != 1 || answer != body)
                    ++mismatches;
            }
            return mismatches;
        }));
    }
    for (auto& worker : workers)
        EXPECT_EQ(worker.get(), 0);
    EXPECT_EQ(m_station.GetRequests().size(), static_cast<size_t>(kThreads * kRequestsEach));
}

TEST_F(LanClientTest, UnreachablePortIsConnectError)
{
    // A port held by a socket that never listens refuses every connection, and
    // nothing else can take it while the test runs.
    platform::SocketHandle holder = platform::create_tcp_socket();
    ASSERT_NE(holder, platform::kInvalidSocket);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length), 0);

    m_client.SetPort(ntohs(address.sin_port));
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(m_client.Connect(2));
    EXPECT_LT(elapsed_ms(start), 2000);
    EXPECT_EQ(m_client.GetLastError(), kLanErrorConnect);
    EXPECT_EQ(utf8_of(m_client.GetLastErrorText()), "Невозможно подсоединиться к серверу");
    EXPECT_FALSE(m_client.IsConnected());
    EXPECT_FALSE(m_client.Disconnect());
    platform::close_socket(holder);
}

TEST_F(LanClientTest, UnfinishedConnectIsNotTakenAsEstablished)
{
    HangingListener silent;
    ASSERT_TRUE(silent.Start());
    m_client.SetPort(silent.GetPort());
    EXPECT_FALSE(m_client.Connect(1));
    EXPECT_EQ(m_client.GetLastError(), kLanErrorConnect);
    EXPECT_FALSE(m_client.IsConnected());
}

TEST_F(LanClientTest, UnresolvableHostIsAddressError)
{
    m_client.SetHost("");
    EXPECT_FALSE(m_client.Connect(1));
    EXPECT_EQ(m_client.GetLastError(), kLanErrorAddress);
}

TEST_F(LanClientTest, UnlockedShutdownWakesWaitingRequest)
{
    m_station.SetFault(kEchoCode, RequestFault::DropAnswer);
    ConnectClient();
    const Clock::time_point start = Clock::now();
    auto waiting = std::async(std::launch::async, [&] { return Request(kEchoCode, {1}, nullptr, kLongRequestMs); });
    ASSERT_TRUE(m_station.WaitForRequests(1, kWaitMs));
    // The request holds the connection lock; this must not need it.
    m_client.ShutdownSocket();
    EXPECT_EQ(waiting.get(), 0);
    EXPECT_LT(elapsed_ms(start), kLongRequestMs / 2);
    EXPECT_EQ(m_client.GetLastError(), kLanErrorNoAnswer);
    EXPECT_TRUE(m_client.Disconnect());
}

TEST_F(LanClientTest, UnlockedShutdownEndsAConnectUnderWay)
{
    HangingListener silent;
    ASSERT_TRUE(silent.Start());
    m_client.SetPort(silent.GetPort());
    auto connecting = std::async(std::launch::async, [&] { return m_client.Connect(kLongConnectSeconds); });
    ASSERT_TRUE(silent.WaitForAttempt(std::chrono::milliseconds(kWaitMs)));

    const Clock::time_point start = Clock::now();
    m_client.ShutdownSocket();
    EXPECT_FALSE(connecting.get());
    EXPECT_LT(elapsed_ms(start), kLongRequestMs / 2);
    EXPECT_EQ(m_client.GetLastError(), kLanErrorConnect);
    EXPECT_FALSE(m_client.IsConnected());
    EXPECT_FALSE(m_client.Disconnect());
}

TEST_F(LanClientTest, NoConnectGetsThroughAfterTheUnlockedShutdown)
{
    // The owner going away may shut down before its worker begins a connect.
    m_client.ShutdownSocket();
    EXPECT_FALSE(m_client.Connect(kLongConnectSeconds));
    EXPECT_EQ(m_client.GetLastError(), kLanErrorConnect);
    EXPECT_FALSE(m_client.IsConnected());
    EXPECT_FALSE(m_client.Disconnect());
    EXPECT_EQ(m_station.GetAcceptedConnections(), 0u);
}

struct LinkEndCase
{
    const char* name;
    std::function<void(CLanClient&, StationSimulator&)> endLink;
};

void PrintTo(const LinkEndCase& c, std::ostream* os)
{
    *os << c.name;
}

class LanClientPingOnDeadLink : public LanClientTest, public ::testing::WithParamInterface<LinkEndCase>
{
};

// A ping no answer can reach any more fails at once, and is not taken as answered.
TEST_P(LanClientPingOnDeadLink, FailsAtOnce)
{
    m_station.SetAnswerPings(false);
    ConnectClient();
    const int32_t errorBefore = m_client.GetLastError();
    auto waiting = std::async(std::launch::async, [&] { return m_client.Ping(kLongRequestMs); });
    ASSERT_TRUE(m_station.WaitForPings(1, kWaitMs));

    const Clock::time_point start = Clock::now();
    GetParam().endLink(m_client, m_station);
    EXPECT_FALSE(waiting.get());
    EXPECT_LT(elapsed_ms(start), kLongRequestMs / 2);
    // As for any unanswered ping, the last error stays.
    EXPECT_EQ(m_client.GetLastError(), errorBefore);
    EXPECT_TRUE(WaitUntilDisconnected());
    EXPECT_TRUE(m_client.Disconnect());
}

INSTANTIATE_TEST_SUITE_P(
    Ends, LanClientPingOnDeadLink,
    ::testing::Values(LinkEndCase{"UnlockedShutdown", [](CLanClient& client, StationSimulator&) { client.ShutdownSocket(); }},
                      LinkEndCase{"StationCloses", [](CLanClient&, StationSimulator& station) { station.CloseConnections(); }}),
    [](const ::testing::TestParamInfo<LinkEndCase>& info) { return std::string(info.param.name); });

TEST_F(LanClientTest, NotificationsReachOnMessageWithTheOwner)
{
    int ownerObject = 0;
    auto* owner = reinterpret_cast<CMS_HelperServer*>(&ownerObject);
    m_client.SetPacketHelper(owner, 8192);
    ASSERT_TRUE(m_station.SetFrameSize(64));
    ConnectClient();

    const std::vector<uint8_t> records = pattern(150);
    ASSERT_EQ(m_station.SendNotification(1003, records), 1);
    ASSERT_EQ(m_station.SendNotification(1017, {}), 1);
    ASSERT_TRUE(m_client.messages.WaitForCount(2));

    const std::vector<RecordingClient::Message> messages = m_client.messages.Items();
    ASSERT_EQ(messages.size(), 2u);
    for (const RecordingClient::Message& message : messages) {
        EXPECT_EQ(message.type, kMessageRequest);
        EXPECT_EQ(message.owner, owner);
    }
    // The connection hands the data on still scrambled, code included.
    std::vector<uint8_t> data = messages[0].data;
    DescramblePayload(data.data(), static_cast<int32_t>(data.size()), kStationKeyWord);
    ASSERT_EQ(data.size(), 4 + records.size());
    int32_t code;
    std::memcpy(&code, data.data(), 4);
    EXPECT_EQ(code, 1003);
    EXPECT_TRUE(std::equal(records.begin(), records.end(), data.begin() + 4));
    EXPECT_EQ(messages[1].data.size(), 4u);
}

struct BadDataCase
{
    const char* name;
    std::vector<uint8_t> bytes;
    int32_t error = kLanErrorNoAnswer;  // of the request waiting meanwhile
};

void PrintTo(const BadDataCase& c, std::ostream* os)
{
    *os << c.name;
}

class LanClientBadData : public LanClientTest, public ::testing::WithParamInterface<BadDataCase>
{
};

// Data that can never make a frame or a message ends the link at once rather
// than filling the buffer or leaving the request to wait.
TEST_P(LanClientBadData, EndsTheReceiveThread)
{
    m_station.SetFault(kEchoCode, RequestFault::DropAnswer);
    ConnectClient();
    const Clock::time_point start = Clock::now();
    auto waiting = std::async(std::launch::async, [&] { return Request(kEchoCode, {1}, nullptr, kLongRequestMs); });
    ASSERT_TRUE(m_station.WaitForRequests(1, kWaitMs));
    ASSERT_EQ(m_station.SendRawBytes(GetParam().bytes), 1);
    EXPECT_EQ(waiting.get(), 0);
    EXPECT_LT(elapsed_ms(start), kLongRequestMs / 2);
    EXPECT_EQ(m_client.GetLastError(), GetParam().error);
    EXPECT_TRUE(WaitUntilDisconnected());
}

constexpr int32_t kOversized = CLanPacket::kMaxMessageLength + 1;

INSTANTIATE_TEST_SUITE_P(
    Frames, LanClientBadData,
    ::testing::Values(BadDataCase{"WrongMagic", {'J', 'U', 'N', 'K', 0, 0, 0, 0}},
                      BadDataCase{"InvalidType", frame_bytes(9, 0, 0, 1, 0, {})},
                      BadDataCase{"TotalShorterThanFrame", frame_bytes(kMessageAnswer, 4, 8, 1, 0, {})},
                      BadDataCase{"FrameLargerThanBuffer", frame_bytes(kMessageAnswer, 70000, 70000, 1, 0, {})},
                      BadDataCase{"AnswerAboveMessageBound",
                                  frame_bytes(kMessageAnswer, kOversized, 8, 9000, 0, std::vector<uint8_t>(8)),
                                  kLanErrorAnswerStructure},
                      BadDataCase{"NotificationAboveMessageBound",
                                  frame_bytes(kMessageRequest, kOversized, 8, 9000, 0, std::vector<uint8_t>(8))},
                      // A fragment that costs the awaited answer fails it at once.
                      BadDataCase{"AnswerFragmentsSwapped", answer_fragments({0, 2, 1}), kLanErrorAnswerStructure},
                      BadDataCase{"AnswerFragmentTwice", answer_fragments({0, 1, 1, 2}), kLanErrorAnswerStructure},
                      BadDataCase{"AnswerWithoutItsStart", answer_fragments({1, 2}), kLanErrorAnswerStructure},
                      BadDataCase{"NotificationBetweenAnswerFragments",
                                  answer_fragments({0}) + frame_bytes(kMessageRequest, 4, 4, 1, 0, pattern(4)) +
                                      answer_fragments({1, 2}),
                                  kLanErrorAnswerStructure}),
    [](const ::testing::TestParamInfo<BadDataCase>& info) { return std::string(info.param.name); });

} // namespace

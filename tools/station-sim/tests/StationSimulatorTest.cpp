// The simulator seen from the wire, through a bare socket, so its framing is
// checked independently of the library's connection.

#include "StationSimulator.h"

#include "wire/KvtpFrame.h"
#include "wire/PayloadScrambler.h"
#include "wire/StationMessageType.h"

#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/time.h>

#include <cstring>
#include <numeric>
#include <vector>

namespace {

using stationsim::RequestFault;
using stationsim::StationReply;
using stationsim::StationRequest;
using stationsim::StationSimulator;

constexpr uint32_t kWaitMs = 5000;

struct Frame
{
    int32_t type = 0;
    int32_t total = 0;
    int32_t value = 0;
    int32_t count = 0;
    int32_t index = 0;
    std::vector<uint8_t> data;
};

void put_word(std::vector<uint8_t>& out, int32_t word)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(word) >> (8 * i)));
}

int32_t word_at(const std::vector<uint8_t>& bytes, size_t offset)
{
    int32_t word;
    std::memcpy(&word, bytes.data() + offset, 4);
    return word;
}

std::vector<uint8_t> scrambled(std::vector<uint8_t> bytes)
{
    ScramblePayload(bytes.data(), static_cast<int32_t>(bytes.size()), kStationKeyWord);
    return bytes;
}

std::vector<uint8_t> descrambled(std::vector<uint8_t> bytes)
{
    DescramblePayload(bytes.data(), static_cast<int32_t>(bytes.size()), kStationKeyWord);
    return bytes;
}

// A client that writes and reads frames by hand.
class WireClient
{
public:
    explicit WireClient(uint16_t port)
    {
        m_socket = platform::create_tcp_socket();
        m_connected = platform::connect_with_timeout(m_socket, {platform::kLoopbackAddress, port}, kWaitMs);
        // Reads give up rather than hang a broken test.
        timeval timeout{5, 0};
        setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~WireClient() { platform::close_socket(m_socket); }

    bool IsConnected() const { return m_connected; }

    void SendFrame(int32_t type, const std::vector<uint8_t>& data, int32_t total, int32_t count, int32_t index)
    {
        std::vector<uint8_t> frame(KvtpFrame::kMagic, KvtpFrame::kMagic + 4);
        for (int32_t word : {type, total, static_cast<int32_t>(data.size()), 0, count, index})
            put_word(frame, word);
        frame.insert(frame.end(), data.begin(), data.end());
        SendBytes(frame);
    }
    void SendBytes(const std::vector<uint8_t>& bytes)
    {
        ASSERT_TRUE(platform::send_all(m_socket, bytes.data(), bytes.size()));
    }
    // A whole request in one frame: the code in clear, the body scrambled.
    void SendRequest(int32_t code, const std::vector<uint8_t>& body)
    {
        std::vector<uint8_t> data;
        put_word(data, code);
        const std::vector<uint8_t> payload = scrambled(body);
        data.insert(data.end(), payload.begin(), payload.end());
        SendFrame(kMessageRequest, data, static_cast<int32_t>(data.size()), 1, 0);
    }

    // False at the end of the stream or on time-out.
    bool ReadFrame(Frame& frame)
    {
        std::vector<uint8_t> header;
        if (!ReadExactly(header, KvtpFrame::kHeaderSize))
            return false;
        EXPECT_EQ(std::memcmp(header.data(), KvtpFrame::kMagic, 4), 0);
        frame.type = word_at(header, KvtpFrame::kTypeOffset);
        frame.total = word_at(header, KvtpFrame::kTotalLengthOffset);
        frame.value = word_at(header, KvtpFrame::kValueOffset);
        frame.count = word_at(header, KvtpFrame::kCountOffset);
        frame.index = word_at(header, KvtpFrame::kIndexOffset);
        return ReadExactly(frame.data, static_cast<size_t>(word_at(header, KvtpFrame::kFrameLengthOffset)));
    }
    // True when the station closed the stream without sending anything more.
    bool ReadsEndOfStream()
    {
        uint8_t byte;
        return platform::receive_some(m_socket, &byte, 1) == 0;
    }

private:
    bool ReadExactly(std::vector<uint8_t>& out, size_t size)
    {
        out.assign(size, 0);
        size_t got = 0;
        while (got < size) {
            const long n = platform::receive_some(m_socket, out.data() + got, size - got);
            if (n <= 0)
                return false;
            got += static_cast<size_t>(n);
        }
        return true;
    }

    platform::SocketHandle m_socket = platform::kInvalidSocket;
    bool m_connected = false;
};

class StationSimulatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_station.Start());
        m_station.SetHandler(5, [](const StationRequest& request) { return StationReply::Success(request.body); });
    }

    StationSimulator m_station;
};

TEST_F(StationSimulatorTest, AnswersEveryPingUnlessSwitchedOff)
{
    WireClient client(m_station.GetPort());
    ASSERT_TRUE(client.IsConnected());
    client.SendFrame(kMessagePing, {}, 0, 1, 0);
    Frame frame;
    ASSERT_TRUE(client.ReadFrame(frame));
    EXPECT_EQ(frame.type, kMessagePing);
    EXPECT_TRUE(frame.data.empty());

    m_station.SetAnswerPings(false);
    client.SendFrame(kMessagePing, {}, 0, 1, 0);
    client.SendRequest(5, {1});
    // The answer is the next frame: the ping went unanswered.
    ASSERT_TRUE(client.ReadFrame(frame));
    EXPECT_EQ(frame.type, kMessageAnswer);
    EXPECT_EQ(m_station.GetPingCount(), 2u);

    ASSERT_EQ(m_station.SendPing(), 1);
    ASSERT_TRUE(client.ReadFrame(frame));
    EXPECT_EQ(frame.type, kMessagePing);
}

TEST_F(StationSimulatorTest, SplitsAnswersIntoFramesOfTheChosenSize)
{
    ASSERT_FALSE(m_station.SetFrameSize(KvtpFrame::kHeaderSize));
    ASSERT_FALSE(m_station.SetFrameSize(65537));
    ASSERT_TRUE(m_station.SetFrameSize(128));
    std::vector<uint8_t> body(292);
    std::iota(body.begin(), body.end(), static_cast<uint8_t>(0));
    m_station.SetHandler(6, [&](const StationRequest&) {
        StationReply reply = StationReply::Success(body);
        reply.firstWord = 77;
        return reply;
    });
    WireClient client(m_station.GetPort());
    client.SendRequest(6, {});

    // 8 + 292 bytes of data fill three frames of 100 exactly; a header-only frame ends the message.
    std::vector<uint8_t> data;
    const std::vector<size_t> expectedSizes = {100, 100, 100, 0};
    for (size_t i = 0; i < expectedSizes.size(); ++i) {
        Frame frame;
        ASSERT_TRUE(client.ReadFrame(frame));
        EXPECT_EQ(frame.type, kMessageAnswer);
        EXPECT_EQ(frame.total, 300);
        EXPECT_EQ(frame.count, 4);
        EXPECT_EQ(frame.index, static_cast<int32_t>(i));
        EXPECT_EQ(frame.value, 0);
        EXPECT_EQ(frame.data.size(), expectedSizes[i]);
        data.insert(data.end(), frame.data.begin(), frame.data.end());
    }
    ASSERT_EQ(data.size(), 300u);
    EXPECT_EQ(word_at(data, 0), 77);
    EXPECT_EQ(word_at(data, 4), 0);
    EXPECT_EQ(descrambled(std::vector<uint8_t>(data.begin() + 8, data.end())), body);
}

TEST_F(StationSimulatorTest, ReassemblesFragmentedRequestsAndDropsBrokenOnes)
{
    WireClient client(m_station.GetPort());
    std::vector<uint8_t> data;
    put_word(data, 5);
    const std::vector<uint8_t> body = scrambled({10, 11, 12, 13, 14, 15, 16, 17});
    data.insert(data.end(), body.begin(), body.end());
    const int32_t total = static_cast<int32_t>(data.size());

    // A message whose second fragment never comes is dropped when the next one starts.
    client.SendFrame(kMessageRequest, {data.begin(), data.begin() + 4}, total, 2, 0);
    // A ping between fragments does not disturb the message under way.
    client.SendFrame(kMessageRequest, {data.begin(), data.begin() + 5}, total, 3, 0);
    client.SendFrame(kMessagePing, {}, 0, 1, 0);
    client.SendFrame(kMessageRequest, {data.begin() + 5, data.begin() + 9}, total, 3, 1);
    client.SendFrame(kMessageRequest, {data.begin() + 9, data.end()}, total, 3, 2);

    Frame frame;
    ASSERT_TRUE(client.ReadFrame(frame));
    EXPECT_EQ(frame.type, kMessagePing);
    ASSERT_TRUE(client.ReadFrame(frame));
    EXPECT_EQ(frame.type, kMessageAnswer);
    const std::vector<StationRequest> seen = m_station.GetRequests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].code, 5);
    EXPECT_EQ(seen[0].body, (std::vector<uint8_t>{10, 11, 12, 13, 14, 15, 16, 17}));
    EXPECT_EQ(seen[0].connection, 1);
}

struct RefusalCase
{
    const char* name;
    int32_t code;
    RequestFault fault;
    std::string faultText;
    std::string expected;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class StationSimulatorRefusal : public StationSimulatorTest, public ::testing::WithParamInterface<RefusalCase>
{
};

TEST_P(StationSimulatorRefusal, RefusalTextTravelsInClear)
{
    const RefusalCase& c = GetParam();
    m_station.SetFault(c.code, c.fault, c.faultText);
    WireClient client(m_station.GetPort());
    client.SendRequest(c.code, {1, 2});
    Frame frame;
    ASSERT_TRUE(client.ReadFrame(frame));
    ASSERT_EQ(frame.type, kMessageAnswer);
    ASSERT_EQ(frame.data.size(), 12 + c.expected.size());
    EXPECT_EQ(word_at(frame.data, 4), 1);
    EXPECT_EQ(word_at(frame.data, 8), static_cast<int32_t>(c.expected.size()));
    EXPECT_EQ(std::string(frame.data.begin() + 12, frame.data.end()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, StationSimulatorRefusal,
    ::testing::Values(RefusalCase{"Switched", 5, RequestFault::Refuse, "x", "x"},
                      RefusalCase{"SwitchedEmpty", 5, RequestFault::Refuse, "", ""},
                      RefusalCase{"NoHandler", 42, RequestFault::None, "", "Unsupported request 42"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST_F(StationSimulatorTest, DropAnswerSkipsOnlyThatCode)
{
    m_station.SetFault(8, RequestFault::DropAnswer);
    WireClient client(m_station.GetPort());
    client.SendRequest(8, {1});
    client.SendRequest(5, {2});
    Frame frame;
    ASSERT_TRUE(client.ReadFrame(frame));
    ASSERT_EQ(frame.data.size(), 9u);
    EXPECT_EQ(descrambled({frame.data.begin() + 8, frame.data.end()}), (std::vector<uint8_t>{2}));
    EXPECT_EQ(m_station.GetRequests().size(), 2u);
}

TEST_F(StationSimulatorTest, CloseConnectionFaultClosesWithoutAnswer)
{
    m_station.SetFault(5, RequestFault::CloseConnection);
    WireClient client(m_station.GetPort());
    client.SendRequest(5, {1});
    EXPECT_TRUE(client.ReadsEndOfStream());
    EXPECT_TRUE(m_station.WaitForOpenConnections(0, kWaitMs));
    EXPECT_EQ(m_station.GetRequests().size(), 1u);
}

TEST_F(StationSimulatorTest, InvalidFrameClosesTheConnection)
{
    WireClient client(m_station.GetPort());
    client.SendBytes({'J', 'U', 'N', 'K', 0, 0, 0, 0});
    EXPECT_TRUE(client.ReadsEndOfStream());
    EXPECT_TRUE(m_station.GetRequests().empty());
}

TEST_F(StationSimulatorTest, NotificationsAreScrambledCodeAndRecords)
{
    WireClient first(m_station.GetPort());
    WireClient second(m_station.GetPort());
    ASSERT_TRUE(m_station.WaitForOpenConnections(2, kWaitMs));
    ASSERT_EQ(m_station.SendNotification(1003, {7, 8, 9}), 2);
    for (WireClient* client : {&first, &second}) {
        Frame frame;
        ASSERT_TRUE(client->ReadFrame(frame));
        EXPECT_EQ(frame.type, kMessageRequest);
        const std::vector<uint8_t> data = descrambled(frame.data);
        ASSERT_EQ(data.size(), 7u);
        EXPECT_EQ(word_at(data, 0), 1003);
        EXPECT_EQ(std::vector<uint8_t>(data.begin() + 4, data.end()), (std::vector<uint8_t>{7, 8, 9}));
    }
}

TEST_F(StationSimulatorTest, ServesNewConnectionsAfterOthersEnd)
{
    {
        WireClient gone(m_station.GetPort());
        ASSERT_TRUE(m_station.WaitForOpenConnections(1, kWaitMs));
    }
    ASSERT_TRUE(m_station.WaitForOpenConnections(0, kWaitMs));
    WireClient client(m_station.GetPort());
    client.SendRequest(5, {3});
    Frame frame;
    ASSERT_TRUE(client.ReadFrame(frame));
    EXPECT_EQ(frame.type, kMessageAnswer);
    EXPECT_EQ(m_station.GetAcceptedConnections(), 2u);
    EXPECT_EQ(m_station.GetRequests().at(0).connection, 2);
}

} // namespace

// One connection on an I/O service the test runs by hand, over a socket pair,
// so that a peer's bytes and a time limit can be made ready in the same turn.

#include "vms/OrvantaConnection.h"

#include "support/ConnectionSettings.h"
#include "vms/LinkFrameReader.h"
#include "vms/LinkProtocol.h"
#include "vms/VmsLimits.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using Frame = LinkFrameReader::Frame;

class OrvantaConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        login = "orvanta";
        password = "s3cret";
    }
    void TearDown() override
    {
        Drop();
        set_vms_time_scale_for_tests(1);
        login.clear();
        password.clear();
    }

    // A new connection, accepted (its login time running) and read from.
    void Accept()
    {
        Drop();
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
        m_peer = fds[1];
        m_reader = LinkFrameReader();
        m_connection = std::make_shared<OrvantaConnection>(m_io);
        m_connection->socket().assign(boost::asio::ip::tcp::v4(), fds[0]);
        OrvantaConnection::Start(m_connection);
    }
    void Drop()
    {
        if (!m_connection)
            return;
        m_connection->Close();
        RunReady();
        m_connection.reset();
        ::close(m_peer);
    }

    void PeerSends(const std::vector<uint8_t>& bytes)
    {
        ASSERT_EQ(::send(m_peer, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    // Every time limit (shortened by the test) passes meanwhile, so the
    // limit's expiry and the bytes sent are both ready at the next turn.
    static void LetTimeLimitsPass() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }
    // Runs what is ready without waiting for anything.
    void RunReady()
    {
        m_io.restart();
        m_io.poll();
    }
    // The commands of the frames the peer has received since the last call;
    // `closed` is set when the bridge has closed.
    std::vector<uint8_t> PeerReceives(bool& closed)
    {
        closed = false;
        uint8_t buffer[65536];
        for (ssize_t n; (n = ::recv(m_peer, buffer, sizeof buffer, 0)) != 0;) {
            if (n < 0)
                break;
            m_reader.Feed(buffer, static_cast<size_t>(n));
        }
        closed = ::recv(m_peer, buffer, 1, MSG_PEEK) == 0;
        std::vector<uint8_t> commands;
        Frame frame;
        while (m_reader.Next(frame) == LinkFrameReader::Result::Frame)
            commands.push_back(frame.command);
        return commands;
    }

    boost::asio::io_context m_io;
    OrvantaConnection::Ptr m_connection;
    int m_peer = -1;
    LinkFrameReader m_reader;
};

TEST_F(OrvantaConnectionTest, LoginOrFrameEndingInTheTurnOfItsTimeLimitKeepsTheConnection)
{
    const std::vector<uint8_t> login_frame = make_link_frame(LINK_LOGIN, link_login_text(login, password));
    const std::vector<uint8_t> request = make_link_frame(LINK_GET_STATE, "ignored");
    std::vector<uint8_t> login_and_head = login_frame;
    login_and_head.insert(login_and_head.end(), request.begin(), request.begin() + 5);
    const std::vector<uint8_t> tail(request.begin() + 5, request.end());
    struct Case {
        const char* what;
        std::vector<uint8_t> before; // taken first, a frame begun in it
        std::vector<uint8_t> last;   // ends the login or the frame begun
        std::vector<uint8_t> answers;
    };
    const Case cases[] = {
        {"the login", {}, login_frame, {LINK_LOGIN_OK}},
        {"a frame", login_and_head, tail, {LINK_LOGIN_OK, LINK_STATE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The limit guarding `last`: 1 ms for the login, 3 ms for a frame.
        if (c.before.empty())
            set_vms_time_scale_for_tests(10000);
        Accept();
        if (!c.before.empty()) {
            set_vms_time_scale_for_tests(10000);
            PeerSends(c.before);
            RunReady();
        }
        PeerSends(c.last);
        LetTimeLimitsPass();
        RunReady();
        bool closed = false;
        EXPECT_EQ(PeerReceives(closed), c.answers);
        EXPECT_FALSE(closed);
        // Still served.
        set_vms_time_scale_for_tests(1);
        PeerSends(make_link_frame(LINK_GET_STATE, ""));
        RunReady();
        EXPECT_EQ(PeerReceives(closed), std::vector<uint8_t>{LINK_STATE});
        EXPECT_FALSE(closed);
    }
}

} // namespace

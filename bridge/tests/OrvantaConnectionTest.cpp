// A connection on an I/O service the test runs by hand, over a socket pair, so
// that a peer's bytes and a time limit become ready in the same turn.

#include "vms/OrvantaConnection.h"

#include "support/ConnectionSettings.h"
#include "vms/LinkFrameReader.h"
#include "vms/LinkProtocol.h"
#include "vms/VmsLimits.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

TEST(OrvantaConnectionDeadline, LoginOrFrameEndingInTheTurnOfItsTimeLimitKeepsTheConnection)
{
    login = "orvanta";
    password = "s3cret";
    const std::vector<uint8_t> login_frame = make_link_frame(LINK_LOGIN, link_login_text(login, password));
    const std::vector<uint8_t> request = make_link_frame(LINK_GET_STATE, "ignored");
    std::vector<uint8_t> login_and_head = login_frame;
    login_and_head.insert(login_and_head.end(), request.begin(), request.begin() + 5);
    const std::vector<uint8_t> tail(request.begin() + 5, request.end());
    std::vector<uint8_t> tail_and_head = tail;
    tail_and_head.insert(tail_and_head.end(), request.begin(), request.begin() + 5);
    struct Case {
        const char* what;
        std::vector<uint8_t> before; // taken first
        std::vector<uint8_t> last;   // ends the login, or the frame begun before
        std::vector<uint8_t> rest;   // ends a frame `last` began
        std::vector<uint8_t> answers;
    };
    const Case cases[] = {
        {"the login", {}, login_frame, {}, {LINK_LOGIN_OK, LINK_STATE}},
        {"a frame", login_and_head, tail, {}, {LINK_LOGIN_OK, LINK_STATE, LINK_STATE}},
        // Each frame has a limit of its own though one is always begun.
        {"a frame and the next begun", login_and_head, tail_and_head, tail,
         {LINK_LOGIN_OK, LINK_STATE, LINK_STATE, LINK_STATE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        boost::asio::io_context io;
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
        const auto peer_sends = [&](const std::vector<uint8_t>& bytes) {
            EXPECT_EQ(::send(fds[1], bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
            io.restart();
            io.poll();
        };
        auto connection = std::make_shared<OrvantaConnection>(io);
        connection->socket().assign(boost::asio::ip::tcp::v4(), fds[0]);
        // The limit guarding `last` is 1 ms (the login's) or 3 ms (a frame's).
        // No turn of the reactor may come between arming it and sending `last`,
        // or the expiry can come first on a slow machine: the login's limit is
        // armed by Start, a frame's by the one handler that takes `before`.
        set_vms_time_scale_for_tests(c.before.empty() ? 10000 : 1);
        OrvantaConnection::Start(connection);
        set_vms_time_scale_for_tests(10000);
        if (!c.before.empty()) {
            ASSERT_EQ(::send(fds[1], c.before.data(), c.before.size(), MSG_NOSIGNAL),
                      static_cast<ssize_t>(c.before.size()));
            io.restart();
            ASSERT_EQ(io.poll_one(), 1u);
        }
        ASSERT_EQ(::send(fds[1], c.last.data(), c.last.size(), MSG_NOSIGNAL), static_cast<ssize_t>(c.last.size()));
        // The limit passes: its expiry and the bytes are ready at the next turn.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // A frame begun in that turn has the whole of its time.
        set_vms_time_scale_for_tests(1);
        io.restart();
        io.poll();
        // Still served after it.
        std::vector<uint8_t> after = c.rest;
        const std::vector<uint8_t> request_again = make_link_frame(LINK_GET_STATE, "");
        after.insert(after.end(), request_again.begin(), request_again.end());
        peer_sends(after);

        LinkFrameReader reader;
        uint8_t buffer[4096];
        ssize_t n;
        while ((n = ::recv(fds[1], buffer, sizeof buffer, 0)) > 0)
            reader.Feed(buffer, static_cast<size_t>(n));
        EXPECT_LT(n, 0) << "closed";
        std::vector<uint8_t> answers;
        for (LinkFrameReader::Frame frame; reader.Next(frame) == LinkFrameReader::Result::Frame;)
            answers.push_back(frame.command);
        EXPECT_EQ(answers, c.answers);
        connection->Close();
        io.restart();
        io.poll();
        ::close(fds[1]);
    }
    set_vms_time_scale_for_tests(1);
    login.clear();
    password.clear();
}

} // namespace

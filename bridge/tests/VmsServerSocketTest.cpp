// Options of the video-system server's sockets.

#include "vms/VmsServer.h"

#include "LinkTestClient.h"
#include "support/BridgeLog.h"
#include "support/ConnectionSettings.h"
#include "testsupport/ChildProcess.h"
#include "vms/ConnectionList.h"
#include "vms/OrvantaConnection.h"

#include <gtest/gtest.h>

#include <boost/asio/ip/tcp.hpp>

namespace {

TEST(VmsServerSocket, AcceptedConnectionsSendSmallFramesWithoutDelay)
{
    testsupport::TempFolder folder;
    const std::string saved_log = log_path();
    set_log_path(folder / "korvel-orvanta-client.log");
    login = "orvanta";
    password = "s3cret";
    local_port = 0;
    ASSERT_TRUE(start_vms_server());

    // Logged in, so the connection has been accepted and is being read.
    LinkTestClient clients[2];
    for (LinkTestClient& client : clients) {
        ASSERT_TRUE(client.Connect(vms_server_port()));
        ASSERT_TRUE(client.Login("orvanta", "s3cret"));
    }
    int accepted = 0;
    g_connection_list.ForEachAlive([&](const OrvantaConnection::Ptr& connection) {
        // The pending accept's connection has no socket yet.
        if (!connection->socket().is_open())
            return;
        ++accepted;
        boost::asio::ip::tcp::no_delay option;
        boost::system::error_code error;
        connection->socket().get_option(option, error);
        EXPECT_FALSE(error) << error.message();
        EXPECT_TRUE(option.value());
    });
    EXPECT_EQ(accepted, 2);

    stop_vms_server();
    login.clear();
    password.clear();
    set_log_path(saved_log);
}

} // namespace

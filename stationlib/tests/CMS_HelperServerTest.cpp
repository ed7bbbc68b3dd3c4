// The helper server against the scripted station on loopback: settings, connect
// and login with the list loads, and what its two connection answers mean.

#include "client/CMS_HelperServer.h"

#include "base/StringHelpers.h"
#include "base/Timeouts.h"
#include "config/CServerClientConfig.h"
#include "RecordBuilders.h"
#include "ScriptedStationTest.h"
#include "testsupport/LoopbackPort.h"
#include "testsupport/WaitUntil.h"
#include "wire/StationRequestCode.h"
#include "WireBytes.h"

#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using stationsim::ScriptedStation;
using stationsim::StationRequest;
using stationsim::StationSimulator;

class TestHelperServer : public CMS_HelperServer
{
public:
    // The receive thread calls OnPacket: it ends while this object is whole.
    ~TestHelperServer() override { Disconnect(); }
    int32_t OnPacket(CMS_ServerClient*, int32_t, CByteStream&) override { return 1; }
};

std::map<int32_t, int> count_codes(const std::vector<StationRequest>& requests)
{
    std::map<int32_t, int> counts;
    for (const StationRequest& request : requests)
        ++counts[request.code];
    return counts;
}

class HelperServerTest : public ScriptedStationTest
{
protected:
    void SetUp() override
    {
        ScriptedStationTest::SetUp();
        station.AddObject(make_object(1));
    }

    void UseStation(CMS_HelperServer& server, const std::string& password = "secret")
    {
        server.SetConnectParams("127.0.0.1", simulator.GetPort(), "operator", password);
    }
};

} // namespace

TEST_F(HelperServerTest, InitTakesTheSettingsButNeverThePassword)
{
    station.AddAccount("viewer", "");
    folder.Write("ardentis.ini", "[Main]\r\nServerHost=127.0.0.1\r\nServerPort=" + std::to_string(simulator.GetPort())
                                     + "\r\nUserName=viewer\r\nPassword=secret\r\nGroupSel=3\r\nObjSel=4\r\n");
    CServerClientConfig settings;
    TestHelperServer server;
    server.Init(12, "product", &settings, -1);
    EXPECT_EQ(server.GetClientType(), 12);
    EXPECT_EQ(server.GetProductName(), "product");
    EXPECT_EQ(server.GetHost(), "127.0.0.1");
    EXPECT_EQ(server.GetPort(), simulator.GetPort());
    EXPECT_EQ(server.GetUserName(), "viewer");
    EXPECT_EQ(server.GetGroupSel(), 3);
    EXPECT_EQ(server.GetObjSel(), 4);

    ASSERT_TRUE(server.Connect());
    const std::vector<StationRequest> requests = simulator.GetRequests();
    ASSERT_FALSE(requests.empty());
    ASSERT_EQ(requests.front().code, kRequestLogin);
    // User, password, client type, version.
    const std::vector<std::string> lines = split_text(leading_string(requests.front().body), "\r\n");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "viewer");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "12");
}

TEST_F(HelperServerTest, InitWithoutSettingsReadsNothing)
{
    TestHelperServer server;
    EXPECT_EQ(server.GetClientType(), 6);
    EXPECT_FALSE(server.GetConnected());
    EXPECT_FALSE(server.IsOpen());
    server.Init(6, "product", nullptr, -1);
    EXPECT_EQ(server.GetHost(), "");
    EXPECT_EQ(server.GetPort(), 0);
    EXPECT_EQ(server.GetUserName(), "");
    EXPECT_EQ(server.GetGroupSel(), -1);
    EXPECT_EQ(server.GetObjSel(), -1);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{});
}

TEST_F(HelperServerTest, AFailedConnectLeavesTheFlagAsItWas)
{
    TestHelperServer server;
    server.Init(6, "product", nullptr, -1);

    // Never connected: stays false, within the connect time-out.
    server.SetConnectParams("127.0.0.1", testsupport::free_local_port(), "operator", "secret");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(server.Connect());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(Timeouts::ConnectMs() + 1000));
    EXPECT_FALSE(server.GetConnected());

    // Connected before: the flag stays set, though the socket is closed.
    UseStation(server);
    ASSERT_TRUE(server.Connect());
    server.SetConnectParams("127.0.0.1", testsupport::free_local_port(), "operator", "secret");
    EXPECT_FALSE(server.Connect());
    EXPECT_TRUE(server.GetConnected());
    EXPECT_FALSE(server.IsConnected());

    // A refused login closes the socket again.
    UseStation(server, "wrong");
    EXPECT_FALSE(server.Connect());
    EXPECT_FALSE(server.GetServerClient().IsConnected());
    EXPECT_TRUE(wait_until([&] { return simulator.GetOpenConnections() == 0; }));

    server.Disconnect();
    EXPECT_FALSE(server.GetConnected());
}

TEST_F(HelperServerTest, AClosedSocketShowsInIsConnectedOnly)
{
    TestHelperServer server;
    server.Init(6, "product", nullptr, -1);
    UseStation(server);
    ASSERT_TRUE(server.Connect());
    EXPECT_TRUE(server.IsConnected());

    simulator.CloseConnections();
    EXPECT_TRUE(wait_until([&] { return !server.IsConnected(); }));
    EXPECT_TRUE(server.GetConnected());
}

TEST_F(HelperServerTest, ConnectWhileConnectedLogsInAgainAndReloadsEveryList)
{
    TestHelperServer server;
    server.Init(6, "product", nullptr, -1);
    UseStation(server);
    ASSERT_TRUE(server.Connect());
    EXPECT_EQ(server.GetServerClient().GetObjectCount(), 1);
    const std::map<int32_t, int> once = count_codes(simulator.GetRequests());

    station.AddObject(make_object(2));
    ASSERT_TRUE(server.Connect());
    EXPECT_TRUE(server.IsConnected());
    EXPECT_EQ(server.GetServerClient().GetObjectCount(), 2);
    EXPECT_EQ(simulator.GetAcceptedConnections(), 2u);
    EXPECT_TRUE(wait_until([&] { return simulator.GetOpenConnections() == 1; }));

    const std::map<int32_t, int> twice = count_codes(simulator.GetRequests());
    for (int32_t code : {kRequestLogin, kRequestLoadObjects, kRequestLoadAllPins, kRequestLoadDevices,
                         kRequestLoadConstDevices, kRequestLoadConstAdapters, kRequestLoadConstDictionaries,
                         kRequestLoadGroups}) {
        ASSERT_EQ(once.count(code), 1u) << code;
        EXPECT_EQ(once.at(code), 1) << code;
        EXPECT_EQ(twice.at(code), 2) << code;
    }
}

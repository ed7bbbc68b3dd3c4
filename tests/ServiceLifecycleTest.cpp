// The service's life around the station link: a login the station refuses, a
// stop while it is connected or while the station never answers, a stop while
// it starts, copies started beside it, and a dictionary it refuses.

#include "SystemTest.h"

#include "testsupport/WaitUntil.h"

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace {

using ServiceLifecycleTest = SystemTest;

TEST_F(ServiceLifecycleTest, AWrongStationPasswordIsLoggedAndTriedAgain)
{
    ASSERT_TRUE(m_station.Commands({"group 1 Охрана", "object 10 1 1 Офис"}));
    BridgeSettings settings;
    settings.login = kLogin;
    settings.password = "wrong";
    settings.dictionary = kDictionary;
    StartBridge(settings);

    // The station's refusal (Windows-1251 from the library) is logged in UTF-8.
    const std::string refusal = "Неверное имя пользователя или пароль";
    const std::string failure =
        "Could not create connection to 127.0.0.1:" + std::to_string(m_station.Port()) + ", ret = ";
    ASSERT_TRUE(m_bridge.WaitForLog(failure, 20000, 3)) << m_bridge.Log();
    const std::string log = m_bridge.Log();
    EXPECT_GE(count_of(log, "Reconnect to Korvel server\n"), 2u) << log;
    EXPECT_GE(count_of(log, "(" + refusal + ")\n"), 3u) << log;
    EXPECT_EQ(log.find("Successfully connected"), std::string::npos) << log;

    // Meanwhile the video system, which logs in with the same settings, is
    // served an empty tree.
    auto client = std::make_unique<VmsLink>();
    ASSERT_TRUE(client->Open(m_bridge.LocalPort(), kLogin, "wrong"));
    std::vector<std::string> elements{"not empty"};
    ASSERT_TRUE(client->GetState(elements));
    EXPECT_TRUE(elements.empty());
}

TEST_F(ServiceLifecycleTest, SigtermStopsTheConnectedServiceWithoutAReconnectPause)
{
    ASSERT_TRUE(m_station.Commands({"group 1 Охрана", "object 10 1 1 Офис", "sensor 10 101 1 1 0 Дверь"}));
    StartBridge();
    auto client = Client();
    ASSERT_TRUE(client);
    client->WaitForState({
        "group 1 L1 'Охрана'",
        "object 10 group=1 state=0x1 L1 'Офис'",
        "sensor 101 object=10 group=1 number=1 state=0x0 L1 'Дверь'",
    });
    ASSERT_EQ(m_station.Command("connections"), "ok 1");

    // The worker is inside its 5000 ms wait for events, which the stop ends.
    EXPECT_EQ(m_bridge.Stop(SIGTERM, 10000), 0) << m_bridge.Output();
    const std::string log = m_bridge.Log();
    EXPECT_NE(log.find("service_status: 1\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Reconnect to Korvel server"), std::string::npos) << log;
    EXPECT_EQ(log.find("Disconnection failed"), std::string::npos) << log;
    EXPECT_TRUE(client->WaitClosed(5000));

    std::string open;
    for (int i = 0; i < 100 && (open = m_station.Command("connections")) != "ok 0"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(open, "ok 0");
}

TEST_F(ServiceLifecycleTest, SigtermRightAfterRepeatedUnknownCommandsLeavesTheirCountInTheLog)
{
    StartBridge();
    LinkTestClient client;
    ASSERT_TRUE(client.Connect(m_bridge.LocalPort()));
    ASSERT_TRUE(client.Login(kLogin, kPassword));
    // Five unknown commands, then a state request answered behind them.
    std::vector<uint8_t> bytes;
    for (const uint8_t command : {0x07, 0x07, 0x07, 0x07, 0x07, int(LINK_GET_STATE)}) {
        const std::vector<uint8_t> frame = make_link_frame(command, "");
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    ASSERT_TRUE(client.Send(bytes));
    LinkFrameReader::Frame frame;
    ASSERT_EQ(client.ReadFrame(frame), LinkTestClient::Read::Frame);
    ASSERT_EQ(frame.command, LINK_STATE);

    EXPECT_EQ(m_bridge.Stop(SIGTERM, 10000), 0) << m_bridge.Output();
    const std::string log = m_bridge.Log();
    EXPECT_NE(log.find("unknown cmd 0x07 received\n"), std::string::npos) << log;
    EXPECT_NE(log.find("repeated 4 times: unknown cmd 0x07 received\n"), std::string::npos) << log;
}

TEST_F(ServiceLifecycleTest, SigtermEndsTheServiceWhileItsLoginWaitsForAHungStation)
{
    ASSERT_TRUE(m_station.Commands({"group 1 Охрана", "object 10 1 1 Офис", "mute"}));
    StartBridge();
    ASSERT_TRUE(wait_until([&] { return m_station.Command("connections") == "ok 1"; }, std::chrono::seconds(20)));

    // The login would wait a minute for its answer.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_bridge.Stop(SIGTERM, 10000), 0) << m_bridge.Output();
    RecordProperty("stop_ms", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                   std::chrono::steady_clock::now() - start)
                                                   .count()));
    const std::string log = m_bridge.Log();
    EXPECT_NE(log.find("service_status: 1\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Successfully connected"), std::string::npos) << log;
    EXPECT_EQ(log.find("Could not create connection"), std::string::npos) << log;
}

TEST_F(ServiceLifecycleTest, CopiesStartedBesideTheRunningServiceLeaveItsLinesInPlace)
{
    ASSERT_TRUE(m_station.Commands({"group 1 Охрана"}));
    StartBridge();
    ASSERT_TRUE(m_bridge.WaitForLog("Successfully connected to Korvel server ", 20000)) << m_bridge.Log();
    const std::string service_lines = m_bridge.Log();

    const std::string refused =
        "unable to listen on local port " + std::to_string(m_bridge.LocalPort()) + " (Address already in use)\n";
    for (int copy = 1; copy <= 2; ++copy) {
        const pid_t pid = m_bridge.StartCopy(m_folder / "copy.out");
        ASSERT_GT(pid, 0);
        EXPECT_EQ(testsupport::wait_child(pid, 20000), 3) << testsupport::read_file(m_folder / "copy.out");
    }
    const std::string log = m_bridge.Log();
    EXPECT_EQ(log.compare(0, service_lines.size(), service_lines), 0) << log;
    EXPECT_EQ(count_of(log, refused), 2u) << log;
    EXPECT_FALSE(std::filesystem::exists(m_bridge.RunFolder() + "/korvel-orvanta-client.log.old"));
    EXPECT_EQ(m_bridge.Stop(SIGTERM, 10000), 0) << m_bridge.Output();
}

TEST_F(ServiceLifecycleTest, SigtermWhileSlowScCommandsRunStopsTheServiceCleanly)
{
    StartBridge();
    ASSERT_EQ(m_bridge.Stop(SIGTERM, 10000), 0) << m_bridge.Output();
    ASSERT_TRUE(m_bridge.TakeNewPort());
    // An "sc" that records each call and waits to be released.
    const std::string calls = m_folder / "sc-calls";
    const std::string release = m_folder / "sc-release";
    testsupport::write_file(m_bridge.RunFolder() + "/sc",
                            "#!/bin/sh\nPATH=/usr/bin:/bin\necho \"$1\" >> '" + calls + "'\ni=0\n"
                            "while [ ! -e '" + release + "' ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i+1)); done\n",
                            0755);

    const pid_t pid = m_bridge.StartCopy(m_folder / "copy.out");
    ASSERT_GT(pid, 0);
    // The stop comes while the first waits (or, on a slow machine, the second).
    ASSERT_TRUE(wait_until([&] { return testsupport::read_file(calls).rfind("create\n", 0) == 0; },
                           std::chrono::seconds(20)))
        << testsupport::read_file(calls) << m_bridge.Log() << testsupport::read_file(m_folder / "copy.out");
    ::kill(pid, SIGTERM);
    testsupport::write_file(release, "");
    EXPECT_EQ(testsupport::wait_child(pid, 20000), 0) << m_bridge.Log() << testsupport::read_file(m_folder / "copy.out");
    EXPECT_EQ(testsupport::read_file(calls), "create\nstart\n");
    EXPECT_NE(m_bridge.Log().find("service_status: 1\n"), std::string::npos) << m_bridge.Log();
}

TEST_F(ServiceLifecycleTest, ADictionaryNestedTooDeepIsRefusedWithItsReasonAndTheServiceGoesOn)
{
    ASSERT_TRUE(m_station.Commands({"group 1 Охрана", "object 10 1 1 Офис"}));
    BridgeSettings settings;
    settings.login = kLogin;
    settings.password = kPassword;
    settings.dictionary = "<Root><Template>";
    for (int i = 0; i < 50000; ++i)
        settings.dictionary += "<Param id=\"2\">";
    StartBridge(settings);

    auto client = Client();
    ASSERT_TRUE(client);
    client->WaitForState({"group 1 L1 'Охрана'", "object 10 group=1 state=0x1 L1 'Офис'"});
    EXPECT_NE(m_bridge.Log().find("unable to load events dictionary dictionary_events_system.xml "
                                  "(elements nested deeper than 256 levels)\n"),
              std::string::npos)
        << m_bridge.Log();
}

} // namespace

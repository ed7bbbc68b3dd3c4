// The demo's three programs together, as scripts/demo runs them: station-sim
// serving the demo station, the bridge, and vms-client printing the tree and
// the updates; stopping the bridge ends the client.

#include "SystemTest.h"

#include <signal.h>

namespace {

using DemoTest = SystemTest;

TEST_F(DemoTest, TheClientPrintsTheDemoTreeAndLiveUpdatesUntilTheBridgeStops)
{
    StationSimProcess demo(m_folder / "demo.out");
    ASSERT_TRUE(demo.Start({"--demo", "--interval", "200"})) << testsupport::read_file(m_folder / "demo.out");
    BridgeSettings settings;
    settings.stationPort = demo.Port();
    settings.login = "demo";
    settings.password = "demo";
    settings.dictionary = kDictionary;
    settings.verbosity = 2;
    ASSERT_TRUE(m_bridge.Start(settings)) << m_bridge.Output() << m_bridge.Log();
    ASSERT_TRUE(m_bridge.WaitForEventLoop(20000)) << m_bridge.Log();

    const std::string output = m_folder / "vms-client.out";
    const pid_t client = testsupport::spawn_child({std::string(KORVEL_BIN_DIR) + "/vms-client", "127.0.0.1",
                                                  std::to_string(m_bridge.LocalPort()), "demo", "demo"},
                                                 testsupport::environment_without({}), output);
    ASSERT_GT(client, 0);
    EXPECT_TRUE(testsupport::wait_for_text(output, "state: 12 elements\n", 20000)) << testsupport::read_file(output);
    EXPECT_TRUE(testsupport::wait_for_text(output, "update: ", 20000)) << testsupport::read_file(output);

    EXPECT_EQ(m_bridge.Stop(SIGTERM, 10000), 0) << m_bridge.Output();
    EXPECT_EQ(testsupport::wait_child(client, 10000), 0);
    const std::string printed = testsupport::read_file(output);
    for (const char* name : {"Центральный район", "Банк «Восход»", "Окно операционного зала", "Аптека №5",
                             "Склад ООО «Тайга»", "Периметр"})
        EXPECT_NE(printed.find(name), std::string::npos) << name << "\n" << printed;
    EXPECT_NE(printed.find("closed by the bridge"), std::string::npos) << printed;
    EXPECT_GE(count_of(testsupport::read_file(m_folder / "demo.out"), "event "), 1u);
}

} // namespace

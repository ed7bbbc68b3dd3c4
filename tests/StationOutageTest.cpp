// The station drops the link, and what changed meanwhile is never sent as
// events: once the library has the link back, the bridge reloads the tree on
// it, and the clients receive every level that differs as an update, and
// nothing for the rest.

#include "SystemTest.h"

#include <chrono>

namespace {

using StationOutageTest = SystemTest;

TEST_F(StationOutageTest, LevelsChangedDuringAnOutageReachTheClientsAfterTheReload)
{
    ASSERT_TRUE(m_station.Commands({
        "group 1 Охрана",
        "object 10 1 1 Офис",
        "sensor 10 101 1 1 0 Дверь",
        "sensor 10 102 2 1 0 Окно",
        "object 11 1 1 Склад",
        "object 12 1 1 Гараж",
    }));
    StartBridge();
    auto client = Client();
    ASSERT_TRUE(client);
    client->WaitForState({
        "group 1 L1 'Охрана'",
        "object 10 group=1 state=0x1 L1 'Офис'",
        "sensor 101 object=10 group=1 number=1 state=0x0 L1 'Дверь'",
        "sensor 102 object=10 group=1 number=2 state=0x0 L1 'Окно'",
        "object 11 group=1 state=0x1 L1 'Склад'",
        "object 12 group=1 state=0x1 L1 'Гараж'",
    });

    // Changes the station does not announce, then the link goes down; the
    // station takes connections again at once, and the library is back on a
    // new one within a few tenths of a second.
    ASSERT_TRUE(m_station.Commands({
        "sensor-state 10 2 2",
        "object-state 11 0x100001",
        "object-state 12 5",  // another raw state at the same level
    }));
    const auto dropped = std::chrono::steady_clock::now();
    ASSERT_EQ(m_station.Command("drop"), "ok");
    EXPECT_EQ(client->NextUpdate(), "sensor 102 object=10 group=1 number=2 state=0x2 L2 'Окно'");
    EXPECT_EQ(client->NextUpdate(), "object 11 group=1 state=0x100001 L0 'Склад'");
    const auto restoreToLevelMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - dropped).count();
    RecordProperty("restore_to_level_ms", static_cast<int>(restoreToLevelMs));
    // No close, pause and new connection of the bridge's own: the old way took
    // six seconds and more.
    EXPECT_LT(restoreToLevelMs, 3000);
    const std::string log = m_bridge.Log();
    EXPECT_NE(log.find("Connection to Korvel server restored\n"), std::string::npos) << log;
    EXPECT_EQ(count_of(log, "Successfully connected to Korvel server"), 1u) << log;
    EXPECT_EQ(log.find("Reconnect to Korvel server"), std::string::npos) << log;

    // Events flow again over the restored link; nothing came before this one.
    EXPECT_EQ(m_station.Command("event 3 2 10 1").compare(0, 3, "ok "), 0);
    EXPECT_EQ(client->NextUpdate(), "sensor 101 object=10 group=1 number=1 state=0x0 L2 'Дверь'");

    std::vector<std::string> elements;
    ASSERT_TRUE(client->GetState(elements));
    EXPECT_EQ(elements, (std::vector<std::string>{
                            "group 1 L1 'Охрана'",
                            "object 10 group=1 state=0x1 L1 'Офис'",
                            "sensor 101 object=10 group=1 number=1 state=0x0 L2 'Дверь'",
                            "sensor 102 object=10 group=1 number=2 state=0x2 L2 'Окно'",
                            "object 11 group=1 state=0x100001 L0 'Склад'",
                            "object 12 group=1 state=0x5 L1 'Гараж'",
                        }));
}

} // namespace

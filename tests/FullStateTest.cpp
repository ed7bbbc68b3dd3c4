// The tree a video-system client receives is the station's: its groups, objects
// and sensors with their raw states, the levels the bridge computes from them,
// and the names, sent by the station in Windows-1251, in UTF-8.

#include "SystemTest.h"

namespace {

using FullStateTest = SystemTest;

TEST_F(FullStateTest, EveryClientReceivesTheStationsTreeWithLevelsAndUtf8Names)
{
    ASSERT_TRUE(m_station.Commands({
        "group 1 Центральный район",
        "group 2 Северный район «Заречье»",
        "object 10 1 1 Банк №1",
        // Sensor levels come from the low four bits of the state: 13 is off
        // (level 0); 0, 3, 9 and 14 are quiet (1); the rest alarms (2).
        "sensor 10 103 3 2 2 Дым",
        "sensor 10 101 1 1 0 Дверь",
        "sensor 10 104 4 1 0x1D Ёмкость",
        "sensor 10 102 2 1 13 Окно",
        // An object off guard (state 0) or with a bit of 0x700000 set is at level 0.
        "object 11 1 0 Аптека «Здоровье»",
        "sensor 11 111 1 1 3 Кнопка",
        "object 21 2 5 Гараж",
        "sensor 21 211 7 1 4 Ворота",
        "object 20 2 0x100001 Склад",
    }));
    StartBridge();

    const std::vector<std::string> tree = {
        "group 1 L1 'Центральный район'",
        "object 10 group=1 state=0x1 L1 'Банк №1'",
        "sensor 101 object=10 group=1 number=1 state=0x0 L1 'Дверь'",
        "sensor 102 object=10 group=1 number=2 state=0xD L0 'Окно'",
        "sensor 103 object=10 group=1 number=3 state=0x2 L2 'Дым'",
        "sensor 104 object=10 group=1 number=4 state=0x1D L0 'Ёмкость'",
        "object 11 group=1 state=0x0 L0 'Аптека «Здоровье»'",
        "sensor 111 object=11 group=1 number=1 state=0x3 L1 'Кнопка'",
        "group 2 L1 'Северный район «Заречье»'",
        "object 20 group=2 state=0x100001 L0 'Склад'",
        "object 21 group=2 state=0x5 L1 'Гараж'",
        "sensor 211 object=21 group=2 number=7 state=0x4 L2 'Ворота'",
    };
    auto first = Client();
    auto second = Client();
    ASSERT_TRUE(first && second);
    first->WaitForState(tree);
    // A client that comes later gets the same tree, and asking again gives it again.
    for (int i = 0; i < 2; ++i) {
        std::vector<std::string> elements;
        ASSERT_TRUE(second->GetState(elements));
        EXPECT_EQ(elements, tree);
    }
    EXPECT_EQ(count_of(m_bridge.Log(), "Successfully connected to Korvel server 127.0.0.1:" +
                                           std::to_string(m_station.Port()) + "\n"),
              1u)
        << m_bridge.Log();
}

TEST_F(FullStateTest, AFourThousandCharacterPasswordLogsInAndAStateRequestOfAnyLengthIsAnswered)
{
    // "connection.ini" allows it; its login text is longer than any other frame
    // taken before a login.
    const std::string password(4000, 'p');
    ASSERT_TRUE(m_station.Commands({"account " + std::string(kLogin) + " " + password, "group 1 Охрана",
                                    "object 10 1 1 Офис"}));
    BridgeSettings settings;
    settings.login = kLogin;
    settings.password = password;
    StartBridge(settings);

    VmsLink client;
    ASSERT_TRUE(client.Open(m_bridge.LocalPort(), kLogin, password)) << m_bridge.Log();
    const std::vector<std::string> tree = {"group 1 L1 'Охрана'", "object 10 group=1 state=0x1 L1 'Офис'"};
    client.WaitForState(tree);
    std::vector<std::string> elements;
    ASSERT_TRUE(client.GetState(elements, 10000, 1024 * 1024 + 1)) << m_bridge.Log();
    EXPECT_EQ(elements, tree);
}

} // namespace

// Station events become updates: one frame per element whose level changes, to
// every client that has taken the state, and nothing for an event that leaves
// the level as it is. A later event on another sensor marks the point up to
// which nothing else may have come.

#include "SystemTest.h"

namespace {

class LiveUpdateTest : public SystemTest
{
protected:
    void SetUp() override
    {
        SystemTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(m_station.Commands({
            "group 1 Охрана",
            "object 10 1 1 Офис",
            "sensor 10 101 1 1 0 Дверь",
            "sensor 10 102 2 1 0 Окно",
            "sensor 10 103 3 1 13 Отключённый датчик",
            "object 11 1 1 Склад",
            "sensor 11 111 1 1 0 Ворота",
        }));
    }

    // The event reached the bridge's one station connection.
    void Event(const std::string& arguments) { EXPECT_EQ(m_station.Command("event " + arguments), "ok 1"); }

    const std::vector<std::string> m_tree = {
        "group 1 L1 'Охрана'",
        "object 10 group=1 state=0x1 L1 'Офис'",
        "sensor 101 object=10 group=1 number=1 state=0x0 L1 'Дверь'",
        "sensor 102 object=10 group=1 number=2 state=0x0 L1 'Окно'",
        "sensor 103 object=10 group=1 number=3 state=0xD L0 'Отключённый датчик'",
        "object 11 group=1 state=0x1 L1 'Склад'",
        "sensor 111 object=11 group=1 number=1 state=0x0 L1 'Ворота'",
    };
};

TEST_F(LiveUpdateTest, ALevelChangeReachesEveryClientThatTookTheStateOnce)
{
    BridgeSettings settings;
    settings.login = kLogin;
    settings.password = kPassword;
    settings.dictionary = kDictionary;
    settings.verbosity = 2;
    StartBridge(settings);
    auto first = Client();
    auto second = Client();
    auto withoutState = Client();
    ASSERT_TRUE(first && second && withoutState);
    first->WaitForState(m_tree);
    second->WaitForState(m_tree);

    Event("3 2 10 1");  // alarm: level 1 to 2
    Event("3 2 10 1");  // the same level again
    Event("3 2 11 1");  // the marker
    for (VmsLink* client : {first.get(), second.get()}) {
        EXPECT_EQ(client->NextUpdate(), "sensor 101 object=10 group=1 number=1 state=0x0 L2 'Дверь'");
        EXPECT_EQ(client->NextUpdate(), "sensor 111 object=11 group=1 number=1 state=0x0 L2 'Ворота'");
    }

    // The client that never asked got no update; the tree it now asks for
    // holds the new levels.
    std::vector<std::string> tree = m_tree;
    tree[2] = "sensor 101 object=10 group=1 number=1 state=0x0 L2 'Дверь'";
    tree[6] = "sensor 111 object=11 group=1 number=1 state=0x0 L2 'Ворота'";
    std::vector<std::string> elements;
    EXPECT_TRUE(withoutState->StateComesFirst(elements));
    EXPECT_EQ(elements, tree);

    // Named from the dictionary.
    const std::string log = m_bridge.Log();
    EXPECT_NE(log.find("event for group id 1, object Офис (id 10), sensor Дверь (1): Тревога датчика\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("same state 2 for type 3, subtype 2\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Unknown event type"), std::string::npos) << log;
}

TEST_F(LiveUpdateTest, ObjectAndEverySensorEventsChangeOnlyWhatTheyMust)
{
    StartBridge();
    auto client = Client();
    ASSERT_TRUE(client);
    client->WaitForState(m_tree);

    Event("3 2 10 1");    // one sensor alarms
    Event("3 2 10 -1");   // every sensor alarms: the one at 2 stays, the one off is left alone
    Event("2 9 10 -1");   // the object is taken off guard: level 0
    Event("2 6 10 -1");   // an object event that changes no level
    Event("3 1 10 -1");   // every sensor restores
    Event("3 2 10 3");    // the sensor that is off, by its number
    Event("3 2 10 9");    // no sensor with that number
    Event("3 2 11 1");    // the marker
    const std::vector<std::string> expected = {
        "sensor 101 object=10 group=1 number=1 state=0x0 L2 'Дверь'",
        "sensor 102 object=10 group=1 number=2 state=0x0 L2 'Окно'",
        "object 10 group=1 state=0x1 L0 'Офис'",
        "sensor 101 object=10 group=1 number=1 state=0x0 L1 'Дверь'",
        "sensor 102 object=10 group=1 number=2 state=0x0 L1 'Окно'",
        "sensor 103 object=10 group=1 number=3 state=0xD L2 'Отключённый датчик'",
        "sensor 111 object=11 group=1 number=1 state=0x0 L2 'Ворота'",
    };
    for (const std::string& update : expected)
        EXPECT_EQ(client->NextUpdate(), update);
    EXPECT_NE(m_bridge.Log().find("unknown sensor num 9 for object id 10\n"), std::string::npos) << m_bridge.Log();
}

TEST_F(LiveUpdateTest, WithoutADictionaryEventsStillFlowAndAreLoggedAsUnknown)
{
    BridgeSettings settings;
    settings.login = kLogin;
    settings.password = kPassword;
    StartBridge(settings);
    auto client = Client();
    ASSERT_TRUE(client);
    client->WaitForState(m_tree);

    Event("3 2 10 2");
    Event("2 9 11 -1");
    EXPECT_EQ(client->NextUpdate(), "sensor 102 object=10 group=1 number=2 state=0x0 L2 'Окно'");
    EXPECT_EQ(client->NextUpdate(), "object 11 group=1 state=0x1 L0 'Склад'");
    const std::string log = m_bridge.Log();
    EXPECT_NE(log.find("unable to load events dictionary dictionary_events_system.xml "
                       "(cannot open the file: No such file or directory)\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Unknown event type = 3, subtype = 2\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Unknown event type = 2, subtype = 9\n"), std::string::npos) << log;
}

} // namespace

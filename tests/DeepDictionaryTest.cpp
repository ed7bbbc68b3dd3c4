// An events dictionary nested far deeper than any real one: refused with its
// reason at start-up, and the service serves the video system all the same.

#include "SystemTest.h"

#include <string>

namespace {

using DeepDictionaryTest = SystemTest;

TEST_F(DeepDictionaryTest, IsRefusedWithItsReasonAndTheServiceGoesOn)
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
    const std::string log = m_bridge.Log();
    EXPECT_NE(log.find("unable to load events dictionary dictionary_events_system.xml "
                       "(elements nested deeper than 256 levels)\n"),
              std::string::npos)
        << log;
}

} // namespace

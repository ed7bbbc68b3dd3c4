#include "SystemTest.h"

#include <filesystem>

const char SystemTest::kLogin[] = "bridge";
const char SystemTest::kPassword[] = "s3cret";
const char SystemTest::kDictionary[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Root>
  <Template>
    <Param id="2">
      <Param id="9" text="Снятие с охраны"/>
      <Param id="10" text="Постановка на охрану"/>
    </Param>
    <Param id="3">
      <Param id="1" text="Восстановление датчика"/>
      <Param id="2" text="Тревога датчика"/>
    </Param>
  </Template>
</Root>
)";

void SystemTest::SetUp()
{
    const std::string library = std::string(KORVEL_BIN_DIR) + "/libArdentis.so";
    if (!std::filesystem::exists(library))
        GTEST_SKIP() << "the station library is not built: " << library;
    ASSERT_TRUE(m_station.Start()) << testsupport::read_file(m_folder / "station.out");
    ASSERT_EQ(m_station.Command(std::string("account ") + kLogin + " " + kPassword), "ok");
}

void SystemTest::StartBridge(BridgeSettings settings)
{
    settings.stationPort = m_station.Port();
    ASSERT_TRUE(m_bridge.Start(settings)) << m_bridge.Output() << m_bridge.Log();
}

void SystemTest::StartBridge()
{
    BridgeSettings settings;
    settings.login = kLogin;
    settings.password = kPassword;
    settings.dictionary = kDictionary;
    StartBridge(settings);
}

std::unique_ptr<VmsLink> SystemTest::Client()
{
    auto client = std::make_unique<VmsLink>();
    if (client->Open(m_bridge.LocalPort(), kLogin, kPassword))
        return client;
    ADD_FAILURE() << "the bridge refused the client\n" << m_bridge.Log();
    return nullptr;
}

// A station that takes the bridge's connection in and never answers: the
// service still stops at once when told to, without a station fault logged.

#include "SystemTest.h"

#include "testsupport/WaitUntil.h"

#include <signal.h>

#include <chrono>

namespace {

using HungStationTest = SystemTest;

TEST_F(HungStationTest, SigtermEndsTheServiceWhileItsLoginWaitsForTheStation)
{
    ASSERT_TRUE(m_station.Commands({"group 1 Охрана", "object 10 1 1 Офис", "mute"}));
    StartBridge();
    ASSERT_TRUE(wait_until([&] { return m_station.Command("connections") == "ok 1"; }, std::chrono::seconds(20)));

    // The login waits a minute for its answer; the stop must not.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_bridge.Stop(SIGTERM, 10000), 0) << m_bridge.Output();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const std::string log = m_bridge.Log();
    EXPECT_NE(log.find("service_status: 1\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Successfully connected"), std::string::npos) << log;
    EXPECT_EQ(log.find("Could not create connection"), std::string::npos) << log;
    RecordProperty("stop_ms", static_cast<int>(took.count()));
}

} // namespace

// Video-system peers that hold the bridge's resources without using them: idle
// connections by the thousand against a bridge with few descriptors, and
// clients that ask for large states and never read.

#include "SystemTest.h"
#include "testsupport/WaitUntil.h"

#include <sys/resource.h>


namespace {

constexpr size_t kMiB = 1024;  // in the KiB of /proc

// A field of /proc/<pid>/status in KiB ("VmRSS", "VmHWM").
size_t status_kib(pid_t pid, const std::string& field)
{
    const std::string status = testsupport::read_file("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("\n" + field + ":");
    return at == std::string::npos ? 0 : std::stoul(status.substr(at + field.size() + 2));
}

class HostilePeersTest : public SystemTest
{
protected:
    void SetUp() override
    {
        SystemTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // The test's own end of every connection.
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = limit.rlim_max;
        if (limit.rlim_max < 2000 || ::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            GTEST_SKIP() << "this process may not open 2,000 descriptors";
    }

    std::vector<std::unique_ptr<LinkTestClient>> m_peers;
};

TEST_F(HostilePeersTest, ThousandsOfIdleConnectionsLockOutNeitherAClientNorTheStationLink)
{
    ASSERT_TRUE(m_station.Commands({"group 1 Охрана", "object 10 1 1 Офис", "sensor 10 101 1 1 0 Дверь"}));
    // Room for 136 video-system connections besides the reserve.
    BridgeSettings settings;
    settings.login = kLogin;
    settings.password = kPassword;
    settings.dictionary = kDictionary;
    settings.descriptorLimit = 200;
    // For the worker's "." once it waits for events, its tree loaded.
    settings.verbosity = 2;
    StartBridge(settings);
    // The drop below must find the worker in its event loop, not in the middle
    // of its first load.
    ASSERT_TRUE(m_bridge.WaitForEventLoop(30000)) << m_bridge.Log();

    for (int i = 0; i < 1100; ++i) {
        m_peers.push_back(std::make_unique<LinkTestClient>());
        ASSERT_TRUE(m_peers.back()->Connect(m_bridge.LocalPort())) << i;
    }
    // The station link, dropped while they are open, comes back: the library
    // reports the loss and the restored link, and the worker reloads on it.
    ASSERT_EQ(m_station.Command("drop"), "ok");
    ASSERT_TRUE(m_bridge.WaitForLog("Connection to Korvel server lost\n", 30000)) << m_bridge.Log();
    ASSERT_TRUE(m_bridge.WaitForLog("Connection to Korvel server restored\n", 30000)) << m_bridge.Log();

    auto client = Client();
    ASSERT_TRUE(client);
    client->WaitForState({
        "group 1 L1 'Охрана'",
        "object 10 group=1 state=0x1 L1 'Офис'",
        "sensor 101 object=10 group=1 number=1 state=0x0 L1 'Дверь'",
    });
    EXPECT_EQ(m_station.Command("event 3 2 10 1"), "ok 1");
    EXPECT_EQ(client->NextUpdate(), "sensor 101 object=10 group=1 number=1 state=0x0 L2 'Дверь'");

    // A thousand closed peers leave a few lines, with their counts once their
    // second has passed.
    EXPECT_TRUE(m_bridge.WaitForLog("repeated ", 10000));
    const std::string log = m_bridge.Log();
    EXPECT_LT(count_of(log, "Orvanta connection destroyed\n"), 100u) << log.size();
    EXPECT_NE(log.find("too few descriptors left\n"), std::string::npos);
}

TEST_F(HostilePeersTest, ClientsThatNeverReadHoldBoundedMemoryAndGiveItBackWhenTheyLeave)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's allocator holds freed memory back and its shadow memory counts";
#endif
    // A state of about 4 MB: 2,000 sensors with long names.
    std::vector<std::string> world{"group 1 Охрана", "object 10 1 1 Офис"};
    for (int i = 0; i < 2000; ++i)
        world.push_back("sensor 10 " + std::to_string(1000 + i) + " " + std::to_string(i + 1) + " 1 0 " +
                        std::string(2000, static_cast<char>('a' + i % 26)));
    ASSERT_TRUE(m_station.Commands(world));
    StartBridge();
    auto reader = Client();
    ASSERT_TRUE(reader);
    std::vector<std::string> elements;
    ASSERT_TRUE(wait_until([&] { return reader->GetState(elements) && elements.size() == 2002; },
                           std::chrono::milliseconds(30000)));
    const size_t before = status_kib(m_bridge.Pid(), "VmRSS");

    // Each asks for the state twelve times, each time after a level changed,
    // so no two states are the same: 1.9 GB unless the bridge bounds them.
    for (int i = 0; i < 40; ++i) {
        m_peers.push_back(std::make_unique<LinkTestClient>());
        ASSERT_TRUE(m_peers.back()->Connect(m_bridge.LocalPort(), 16 * 1024));
        ASSERT_TRUE(m_peers.back()->Login(kLogin, kPassword));
        for (int j = 0; j < 12; ++j) {
            ASSERT_EQ(m_station.Command(j % 2 == 0 ? "event 3 2 10 1" : "event 3 1 10 1"), "ok 1");
            ASSERT_NE(reader->NextUpdate(), "");
            m_peers.back()->SendFrame(LINK_GET_STATE);
        }
    }
    // The reader's request is answered after theirs.
    ASSERT_TRUE(reader->GetState(elements));
    const size_t peak = status_kib(m_bridge.Pid(), "VmHWM");
    EXPECT_LT(peak, before + 256 * kMiB + 96 * kMiB) << before << " KiB before";
    EXPECT_NE(m_bridge.Log().find(" bytes waiting, "), std::string::npos);

    m_peers.clear();
    EXPECT_TRUE(wait_until([&] { return status_kib(m_bridge.Pid(), "VmRSS") < before + 32 * kMiB; },
                           std::chrono::milliseconds(10000)))
        << status_kib(m_bridge.Pid(), "VmRSS") << " KiB after, " << before << " KiB before";
}

} // namespace

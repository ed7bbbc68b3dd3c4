// The benchmark's clients against the bridge's own video-system server, run in
// this process: they must take and check the state, and count and match every
// update of a stream that interleaves sensors, as the reads happen to cut it.

#include "VideoClients.h"

#include "model/ElementModel.h"
#include "model/ElementRecord.h"
#include "support/ConnectionSettings.h"
#include "vms/VmsServer.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>

namespace eventpath {
namespace {

const char kLogin[] = "bench";
const char kPassword[] = "bench-pass";

class VideoClientsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        login = kLogin;
        password = kPassword;
        local_port = 0;
        ASSERT_TRUE(start_vms_server());
        // The tree as the bridge holds it after `m_sent` events.
        std::lock_guard<std::mutex> lock(g_model_mutex);
        g_group_map.clear();
        for (size_t s = 0; s < m_world.SensorCount(); ++s) {
            const BenchSensor& entry = m_world.Sensor(s);
            KorvelElementPtr& group = g_group_map[entry.groupId];
            if (!group) {
                group = std::make_shared<KorvelElement>();
                group->ID = entry.groupId;
            }
            KorvelElementPtr& object = group->children[entry.objectId];
            if (!object) {
                object = std::make_shared<KorvelElement>();
                object->ID = entry.objectId;
                object->Group = entry.groupId;
            }
            auto sensor = std::make_shared<KorvelElement>();
            sensor->ID = entry.id;
            sensor->Group = entry.groupId;
            sensor->ObjectID = entry.objectId;
            sensor->Number = entry.number;
            sensor->Name = "Датчик " + std::to_string(entry.number);
            sensor->StateLevel = m_world.LevelBefore(s, m_sent);
            object->children[entry.id] = sensor;
            m_sensors[s] = sensor;
        }
    }

    void TearDown() override
    {
        stop_vms_server();
        std::lock_guard<std::mutex> lock(g_model_mutex);
        g_group_map.clear();
    }

    // Applies event k to the tree and broadcasts it, as the worker does.
    void Apply(uint64_t k, SendLog& log)
    {
        const KorvelElementPtr& sensor = m_sensors.at(m_world.SensorOfEvent(k));
        {
            std::lock_guard<std::mutex> lock(g_model_mutex);
            sensor->StateLevel = m_world.LevelOfEvent(k);
        }
        log.Record(k, now_ns());
        broadcast_update(sensor, LEVEL_SENSOR);
    }

    BenchWorld m_world{WorldShape{2, 3, 4}};
    std::map<size_t, KorvelElementPtr> m_sensors;
    uint64_t m_sent = 7;  // the phase begins in the middle of the run
};

TEST_F(VideoClientsTest, EveryClientMatchesEveryUpdate)
{
    constexpr uint64_t kEvents = 3000;
    SendLog log(m_sent, kEvents);
    VideoClients clients(m_world, vms_server_port(), kLogin, kPassword);
    std::string error;
    ASSERT_TRUE(clients.Open(5, 2, log, true, error)) << error;
    for (uint64_t k = m_sent; k < m_sent + kEvents; ++k)
        Apply(k, log);
    ASSERT_TRUE(clients.WaitMatched(kEvents, 20000)) << clients.LeastMatched();
    EXPECT_EQ(clients.TotalMatched(), 5 * kEvents);
    EXPECT_EQ(clients.TotalUnexpected(), 0u);
    EXPECT_EQ(clients.Latencies().size(), 5 * kEvents);
    EXPECT_FALSE(clients.AnyClosed());
}

TEST_F(VideoClientsTest, AStateThatDoesNotFitTheRunIsRefused)
{
    // The clients expect the levels after more events than the tree has seen.
    SendLog log(m_sent + 1, 10);
    VideoClients clients(m_world, vms_server_port(), kLogin, kPassword);
    std::string error;
    EXPECT_FALSE(clients.Open(1, 1, log, false, error));
    EXPECT_NE(error.find("level"), std::string::npos) << error;

    VideoClients refused(m_world, vms_server_port(), kLogin, "wrong");
    EXPECT_FALSE(refused.Open(1, 1, log, false, error));
    EXPECT_NE(error.find("login"), std::string::npos) << error;
}

TEST_F(VideoClientsTest, UpdatesThatAnswerNoEventAreNotCounted)
{
    SendLog log(m_sent, 4);
    VideoClients clients(m_world, vms_server_port(), kLogin, kPassword);
    std::string error;
    ASSERT_TRUE(clients.Open(2, 1, log, false, error)) << error;
    // The first event's sensor, sent with the level it has now.
    broadcast_update(m_sensors.at(m_world.SensorOfEvent(m_sent)), LEVEL_SENSOR);
    for (uint64_t k = m_sent; k < m_sent + 4; ++k)
        Apply(k, log);
    ASSERT_TRUE(clients.WaitMatched(4, 20000));
    EXPECT_EQ(clients.TotalUnexpected(), 2u);
    EXPECT_EQ(clients.TotalMatched(), 8u);
}

} // namespace
} // namespace eventpath

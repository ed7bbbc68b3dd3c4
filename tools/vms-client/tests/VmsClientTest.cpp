// vms-client run as a program against the bridge's server, started in-process
// with an element model filled here.

#include "model/ElementModel.h"
#include "model/ElementRecord.h"
#include "support/BridgeLog.h"
#include "support/ConnectionSettings.h"
#include "testsupport/ChildProcess.h"
#include "vms/VmsServer.h"

#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <memory>
#include <cstdio>
#include <mutex>
#include <string>

using testsupport::read_file;
using testsupport::TempFolder;

namespace {

KorvelElementPtr make_element(int32_t id, int32_t group, int32_t object, int32_t number, int32_t level,
                              int32_t state, const std::string& name)
{
    auto e = std::make_shared<KorvelElement>();
    e->ID = id;
    e->Group = group;
    e->ObjectID = object;
    e->Type = 1;
    e->Number = number;
    e->StateLevel = level;
    e->State = state;
    e->Name = name;
    return e;
}

class VmsClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved_log = log_path();
        set_log_path(m_folder / "korvel-orvanta-client.log");
        login = "orvanta";
        password = "pass word";
        local_port = 0;
        ASSERT_TRUE(start_vms_server());
    }
    void TearDown() override
    {
        stop_vms_server();
        std::lock_guard<std::mutex> lock(g_model_mutex);
        g_group_map.clear();
        set_log_path(m_saved_log);
    }

    pid_t start_client(const std::string& port, const std::string& pass)
    {
        return testsupport::spawn_child({KORVEL_VMS_CLIENT_EXE, "127.0.0.1", port, "orvanta", pass},
                                        testsupport::environment_without({}), output_path());
    }
    std::string output_path() const { return m_folder / "output"; }
    std::string output() const { return read_file(output_path()); }

    TempFolder m_folder;
    std::string m_saved_log;
};

TEST_F(VmsClientTest, ShowsTheLiveTreeUntilTheBridgeCloses)
{
    KorvelElementPtr sensor;
    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        auto group = make_element(10, 10, -1, -1, 1, 0, "Склад");
        auto object = make_element(100, 10, 100, 5, 1, 0x10, "Ворота");
        sensor = make_element(1001, 10, 100, 1, 1, 0x3, "Дверь");
        object->children[1001] = sensor;
        object->children[1002] = make_element(1002, 10, 100, 2, 0, 0xD, "");
        group->children[100] = object;
        g_group_map[10] = group;
    }
    const std::string port = std::to_string(vms_server_port());
    const pid_t pid = start_client(port, "pass word");
    ASSERT_GT(pid, 0);
    const std::string tree = "state: 4 elements\n"
                             "group  id=10 group=10 object=-1 type=1 number=-1 state=0x0 level=1 \"Склад\"\n"
                             "  object id=100 group=10 object=100 type=1 number=5 state=0x10 level=1 \"Ворота\"\n"
                             "    sensor id=1001 group=10 object=100 type=1 number=1 state=0x3 level=1 \"Дверь\"\n"
                             "    sensor id=1002 group=10 object=100 type=1 number=2 state=0xD level=0 \"\"\n";
    ASSERT_TRUE(testsupport::wait_for_text(output_path(), tree, 20000)) << output();

    // As the station worker does it: the level changes under the model lock,
    // then the element goes out.
    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        sensor->StateLevel = 2;
    }
    broadcast_update(sensor, LEVEL_SENSOR);
    const std::string update =
        "update: sensor id=1001 group=10 object=100 type=1 number=1 state=0x3 level=2 \"Дверь\"\n";
    ASSERT_TRUE(testsupport::wait_for_text(output_path(), update, 20000)) << output();

    stop_vms_server();
    EXPECT_EQ(testsupport::wait_child(pid, 20000), 0);
    EXPECT_EQ(output(), "connected to 127.0.0.1:" + port + "\nlogin OK\n" + tree + update + "closed by the bridge\n");
}

TEST_F(VmsClientTest, RefusedLoginOrNoBridgeEndsWithFailure)
{
    const pid_t refused = start_client(std::to_string(vms_server_port()), "wrong");
    ASSERT_GT(refused, 0);
    EXPECT_EQ(testsupport::wait_child(refused, 20000), 1);
    EXPECT_NE(output().find("error from the bridge: Unauthorized\nclosed by the bridge\n"), std::string::npos)
        << output();

    // A port that nothing listens on.
    platform::Ipv4Endpoint endpoint;
    endpoint.address = platform::kLoopbackAddress;
    uint16_t free_port = 0;
    platform::close_socket(platform::listen_tcp(endpoint, 1, free_port));
    std::remove(output_path().c_str());
    const pid_t nobody = start_client(std::to_string(free_port), "pass word");
    ASSERT_GT(nobody, 0);
    EXPECT_EQ(testsupport::wait_child(nobody, 20000), 1);
    EXPECT_EQ(output(), "cannot connect to 127.0.0.1:" + std::to_string(free_port) + ": Connection refused\n");
}

} // namespace

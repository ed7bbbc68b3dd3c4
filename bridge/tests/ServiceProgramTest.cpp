#include "service/ServiceProgram.h"

#include "support/BridgeLog.h"
#include "support/ConnectionSettings.h"
#include "testsupport/ChildProcess.h"

#include "platform/ModulePath.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using testsupport::read_file;
using testsupport::TempFolder;

namespace {

// The install step against a recording stand-in "sc" in the executable's
// folder, with PATH holding no other.
class InstallServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved_log = log_path();
        verbosity = 1;
        std::filesystem::create_directory(m_folder / "no sc here");
        // A blank in the folder: the path must stay one argument.
        std::filesystem::create_directory(m_folder / "my bridge");
        m_exe = m_folder / "my bridge/korvel-orvanta-client";
        platform::set_executable_path_override(m_exe);
        set_log_path(m_folder / "korvel-orvanta-client.log");
        const char* path = std::getenv("PATH");
        m_saved_path = path != nullptr ? path : "";
        ::setenv("PATH", (m_folder / "no sc here").c_str(), 1);
    }
    void TearDown() override
    {
        ::setenv("PATH", m_saved_path.c_str(), 1);
        platform::set_executable_path_override("");
        set_log_path(m_saved_log);
    }

    void write_sc()
    {
        testsupport::write_file(m_folder / "my bridge/sc",
                                "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\" >> '" + (m_folder / "calls") +
                                    "'; done\necho >> '" + (m_folder / "calls") + "'\n",
                                0755);
    }

    std::string log() const { return read_file(m_folder / "korvel-orvanta-client.log"); }
    std::string calls() const { return read_file(m_folder / "calls"); }

    TempFolder m_folder;
    std::string m_exe;
    std::string m_saved_log;
    std::string m_saved_path;
};

TEST_F(InstallServiceTest, InstallCreatesWithQuotedFullPathThenStarts)
{
    write_sc();
    install_service(true, m_exe);
    EXPECT_EQ(calls(), "create|Korvel Orvanta Client|binPath=|" + m_exe + "|\nstart|Korvel Orvanta Client|\n");
    EXPECT_EQ(log(), "run sc create \"Korvel Orvanta Client\" binPath= \"" + m_exe +
                         "\"\nrun sc start \"Korvel Orvanta Client\"\n");
}

TEST_F(InstallServiceTest, RemoveStopsThenDeletes)
{
    write_sc();
    install_service(false, m_exe);
    EXPECT_EQ(calls(), "stop|Korvel Orvanta Client|\ndelete|Korvel Orvanta Client|\n");
    EXPECT_EQ(log(), "run sc stop \"Korvel Orvanta Client\"\nrun sc delete \"Korvel Orvanta Client\"\n");
}

TEST_F(InstallServiceTest, MissingScIsLoggedAndSecondCommandSkipped)
{
    struct Case {
        bool install;
        std::string expected;
    };
    const Case cases[] = {
        {true, "run sc create \"Korvel Orvanta Client\" binPath= \"" + m_exe +
                   "\"\nunable to start service Korvel Orvanta Client (err 0x0002)\n"},
        {false, "run sc stop \"Korvel Orvanta Client\"\nunable to stop service Korvel Orvanta Client (err 0x0002)\n"},
    };
    for (const Case& c : cases) {
        set_log_path(m_folder / "korvel-orvanta-client.log");
        install_service(c.install, m_exe);
        EXPECT_EQ(log(), c.expected);
    }
    EXPECT_FALSE(run_program("sc start x"));
}

TEST_F(InstallServiceTest, VerbosityZeroLogsOnlyTheFailure)
{
    verbosity = 0;
    install_service(true, m_exe);
    EXPECT_EQ(log(), "unable to start service Korvel Orvanta Client (err 0x0002)\n");
    verbosity = 1;
}

TEST_F(InstallServiceTest, ControlHandlerLogsAndRequestsStopForAnyCode)
{
    for (uint32_t code : {1u, 4u, 255u}) {
        g_stop_request = false;
        service_control_handler(code);
        EXPECT_TRUE(g_stop_request);
    }
    EXPECT_EQ(log(), "service_status: 1\nservice_status: 4\nservice_status: 255\n");
    g_stop_request = false;
}

} // namespace

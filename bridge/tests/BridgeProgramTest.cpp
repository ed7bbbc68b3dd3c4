// The program as a whole: run as a child process, from a console and under the
// run recipe the demo uses.

#include "testsupport/ChildProcess.h"
#include "testsupport/WaitUntil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

using testsupport::read_file;
using testsupport::TempFolder;

namespace {

// A TCP port that nothing on 127.0.0.1 listens on just now.
uint16_t free_local_port()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    EXPECT_NE(port, 0);
    return port;
}

const char kUsage[] = "Korvel Orvanta Client communication utility\n"
                      "usage:\n"
                      "%s [stop]\n"
                      "  stop - option to stop and delete service.\n";

class BridgeProgramTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(m_folder / "bin");
        m_exe = m_folder / "bin/korvel-orvanta-client";
        std::filesystem::copy_file(KORVEL_BRIDGE_EXE, m_exe);
        std::filesystem::create_directory(m_folder / "empty");
    }

    // A recording stand-in sc beside the copy of the program.
    void write_sc()
    {
        testsupport::write_file(m_folder / "bin/sc",
                                "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\" >> '" + (m_folder / "calls") +
                                    "'; done\necho >> '" + (m_folder / "calls") + "'\n",
                                0755);
    }

    // Started from a console: no INVOCATION_ID, and no sc on PATH.
    int run_from_console(const std::string& argument, const std::string& exe = std::string())
    {
        std::vector<std::string> argv{exe.empty() ? m_exe : exe};
        if (!argument.empty())
            argv.push_back(argument);
        return testsupport::run_child(
            argv, testsupport::environment_without({"INVOCATION_ID", "PATH"}, {"PATH=" + (m_folder / "empty")}),
            m_folder / "output");
    }

    // Starts the program through the run recipe in the run folder.
    pid_t start_service(const std::string& ini_text)
    {
        std::vector<std::string> argv{"/bin/bash", KORVEL_RUN_BRIDGE, "--exe", KORVEL_BRIDGE_EXE, "--dir", run()};
        if (!ini_text.empty()) {
            testsupport::write_file(m_folder / "given.ini", ini_text);
            argv.insert(argv.end(), {"--ini", m_folder / "given.ini"});
        }
        return testsupport::spawn_child(argv, testsupport::environment_without({"INVOCATION_ID"}),
                                        m_folder / "output");
    }

    std::string run() const { return m_folder / "run"; }
    std::string run_log() const { return read_file(m_folder / "run/korvel-orvanta-client.log"); }
    std::string output() const { return read_file(m_folder / "output"); }

    TempFolder m_folder;
    std::string m_exe;
};

TEST_F(BridgeProgramTest, HelpPrintsUsageAndExitsWithZero)
{
    write_sc();
    for (const char* argument : {"-h", "--help", "x-hy"}) {
        std::filesystem::remove(m_folder / "output");
        EXPECT_EQ(run_from_console(argument), 0) << argument;
        char expected[512];
        std::snprintf(expected, sizeof(expected), kUsage, m_exe.c_str());
        EXPECT_EQ(output(), expected) << argument;
    }
    EXPECT_FALSE(std::filesystem::exists(m_folder / "calls"));
    EXPECT_FALSE(std::filesystem::exists(m_folder / "bin/korvel-orvanta-client.log"));
}

TEST_F(BridgeProgramTest, FromConsoleInstallsOrRemovesThenEndsWithStatus39)
{
    write_sc();
    struct Case {
        const char* argument;
        std::string calls;
    };
    const std::string install = "create|Korvel Orvanta Client|binPath=|" + m_exe + "|\nstart|Korvel Orvanta Client|\n";
    const std::string remove = "stop|Korvel Orvanta Client|\ndelete|Korvel Orvanta Client|\n";
    const Case cases[] = {{"", install}, {"stop", remove}, {"STOP", remove}, {"sToP", remove}, {"stopped", install}};
    for (const Case& c : cases) {
        std::filesystem::remove(m_folder / "calls");
        EXPECT_EQ(run_from_console(c.argument), 1063 & 0xFF) << c.argument;
        EXPECT_EQ(read_file(m_folder / "calls"), c.calls) << c.argument;
    }
}

TEST_F(BridgeProgramTest, ServiceRunsUntilAStopSignalKeepingTheLastRunsLogBesideAConsoleStop)
{
    const std::string service_lines =
        "run sc create \"Korvel Orvanta Client\" binPath= \"" + run() + "/korvel-orvanta-client\"\n"
        "unable to start service Korvel Orvanta Client (err 0x0002)\n"
        "load events dictionary " + run() + "/dictionary_events_system.xml\n"
        "unable to load events dictionary dictionary_events_system.xml "
        "(cannot open the file: No such file or directory)\n"
        "CMSC init failed\n"
        "unable to load libArdentis.so (libArdentis.so: cannot open shared object file: No such file or directory)\n";
    const std::string console_lines = "run sc stop \"Korvel Orvanta Client\"\n"
                                      "unable to stop service Korvel Orvanta Client (err 0x0002)\n";
    std::string last_run;
    // Each run in the same folder, so each finds the log of the one before.
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        // A port of its own for the video-system server: the default one may be taken.
        const pid_t pid = start_service("host h\nport 5000\nlogin l\nlocal_port " +
                                        std::to_string(free_local_port()) + "\n");
        ASSERT_GT(pid, 0);
        // Without a dictionary the service goes on all the same, and without a
        // station library the worker ends at once, saying why. The stop is sent
        // only after the last start-up line, since the control handler logs
        // from the dispatcher's own thread.
        ASSERT_TRUE(wait_until([&] { return run_log() == service_lines; }, std::chrono::seconds(20)))
            << run_log() << output();
        // "stop" from a console beside the running service writes after its lines.
        EXPECT_EQ(run_from_console("stop", run() + "/korvel-orvanta-client"), 1063 & 0xFF);
        ::kill(pid, signal);
        EXPECT_EQ(testsupport::wait_child(pid, 20000), 0) << output();
        EXPECT_EQ(run_log(), service_lines + console_lines + "service_status: 1\n") << signal;
        if (!last_run.empty()) {
            EXPECT_EQ(read_file(run() + "/korvel-orvanta-client.log.old"), last_run) << signal;
        }
        last_run = run_log();
    }
}

TEST_F(BridgeProgramTest, RejectedOrUnreadableSettingsEndTheServiceWithFailure)
{
    const pid_t rejected = start_service("host h\nport 0\nlogin l\nlocal_port 5050\n");
    ASSERT_GT(rejected, 0);
    EXPECT_EQ(testsupport::wait_child(rejected, 20000), 2) << output();
    EXPECT_NE(run_log().find("wrong port specified\nplease fix ini file\n"), std::string::npos) << run_log();

    std::filesystem::remove_all(run());
    std::filesystem::create_directories(run() + "/connection.ini");
    const pid_t unreadable = start_service("");
    ASSERT_GT(unreadable, 0);
    EXPECT_EQ(testsupport::wait_child(unreadable, 20000), 1) << output();
    EXPECT_NE(run_log().find("can't read and write connection.ini\n"), std::string::npos) << run_log();
}

} // namespace

#include "BridgeProcess.h"

#include "testsupport/ChildProcess.h"
#include "testsupport/LoopbackPort.h"

#include "platform/Socket.h"

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

constexpr int kStartTimeoutMs = 20000;


} // namespace

size_t count_of(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

BridgeProcess::BridgeProcess(std::string folder) : m_folder(std::move(folder))
{
}

BridgeProcess::~BridgeProcess()
{
    if (m_pid > 0) {
        EXPECT_EQ(Stop(SIGTERM, 15000), 0) << Output();
    }
}

bool BridgeProcess::Start(const BridgeSettings& settings)
{
    m_localPort = testsupport::free_local_port();
    if (m_localPort == 0)
        return false;
    const std::string ini = m_folder + "/connection.ini";
    testsupport::write_file(ini, "host\t127.0.0.1\n"
                                 "port\t" + std::to_string(settings.stationPort) + "\n"
                                 "login\t" + settings.login + "\n"
                                 "password\t" + settings.password + "\n"
                                 "local_port\t" + std::to_string(m_localPort) + "\n"
                                 "verbosity\t" + std::to_string(settings.verbosity) + "\n");
    // Made here, so that run-bridge leaves what it copied in it after the run.
    std::filesystem::create_directories(RunFolder());
    std::vector<std::string> argv{"/bin/bash",
                                  std::string(KORVEL_SOURCE_DIR) + "/tools/run-bridge",
                                  "--exe",
                                  std::string(KORVEL_BIN_DIR) + "/korvel-orvanta-client",
                                  "--lib",
                                  std::string(KORVEL_BIN_DIR) + "/libArdentis.so",
                                  "--ini",
                                  ini,
                                  "--dir",
                                  RunFolder()};
    if (!settings.dictionary.empty()) {
        const std::string dictionary = m_folder + "/dictionary.xml";
        testsupport::write_file(dictionary, settings.dictionary);
        argv.insert(argv.end(), {"--dict", dictionary});
    }
    if (settings.descriptorLimit > 0) {
        const std::string limit = std::to_string(settings.descriptorLimit);
        argv.insert(argv.begin(), {"/usr/bin/prlimit", "--nofile=" + limit + ":" + limit});
    }
    m_pid = testsupport::spawn_child(argv, testsupport::environment_without({"INVOCATION_ID"}),
                                     m_folder + "/bridge.out");
    if (m_pid < 0)
        return false;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (testsupport::accepts_connections(m_localPort))
            return true;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            ADD_FAILURE() << "the bridge ended at start-up:\n" << Output() << Log();
            m_pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

int BridgeProcess::Stop(int signal, int timeoutMs)
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, signal);
    const int code = testsupport::wait_child(m_pid, timeoutMs);
    m_pid = -1;
    return code;
}

bool BridgeProcess::TakeNewPort()
{
    const std::string ini = RunFolder() + "/connection.ini";
    std::string text = testsupport::read_file(ini);
    const std::string old_line = "local_port\t" + std::to_string(m_localPort) + "\n";
    const size_t at = text.find(old_line);
    const uint16_t port = testsupport::free_local_port();
    if (at == std::string::npos || port == 0)
        return false;
    text.replace(at, old_line.size(), "local_port\t" + std::to_string(port) + "\n");
    testsupport::write_file(ini, text);
    m_localPort = port;
    return true;
}

pid_t BridgeProcess::StartCopy(const std::string& output) const
{
    const std::string no_sc = m_folder + "/no-sc";
    std::filesystem::create_directories(no_sc);
    return testsupport::spawn_child({RunFolder() + "/korvel-orvanta-client"},
                                    testsupport::environment_without({"INVOCATION_ID", "PATH"},
                                                                     {"INVOCATION_ID=copy", "PATH=" + no_sc}),
                                    output);
}

std::string BridgeProcess::Log() const
{
    return testsupport::read_file(RunFolder() + "/korvel-orvanta-client.log");
}

bool BridgeProcess::WaitForLog(const std::string& text, int timeoutMs, size_t count) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (count_of(Log(), text) < count) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool BridgeProcess::WaitForEventLoop(int timeoutMs) const
{
    const std::string connected = "Successfully connected to Korvel server ";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::string log = Log();
        const size_t line = log.find(connected);
        const size_t end = line == std::string::npos ? line : log.find('\n', line);
        if (end != std::string::npos && log.find('.', end) != std::string::npos)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string BridgeProcess::Output() const
{
    return testsupport::read_file(m_folder + "/bridge.out");
}

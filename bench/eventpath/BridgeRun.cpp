#include "BridgeRun.h"

#include "testsupport/LoopbackPort.h"
#include "testsupport/Spawn.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace eventpath {
namespace {

constexpr int kStartTimeoutMs = 30000;

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool write_text(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}


} // namespace

BridgeRun::BridgeRun(std::string folder) : m_folder(std::move(folder))
{
}

BridgeRun::~BridgeRun()
{
    if (m_pid > 0)
        Stop(15000);
}

bool BridgeRun::Start(const BridgeOptions& options, std::string& error)
{
    m_localPort = testsupport::free_local_port();
    if (m_localPort == 0) {
        error = "no free local port";
        return false;
    }
    const std::string ini = m_folder + "/connection.ini";
    const std::string dictionary = m_folder + "/dictionary.xml";
    if (!write_text(ini, "host\t127.0.0.1\n"
                         "port\t" + std::to_string(options.stationPort) + "\n"
                         "login\t" + options.login + "\n"
                         "password\t" + options.password + "\n"
                         "local_port\t" + std::to_string(m_localPort) + "\n"
                         "verbosity\t" + std::to_string(options.verbosity) + "\n") ||
        !write_text(dictionary, options.dictionary)) {
        error = "cannot write the bridge's settings into " + m_folder;
        return false;
    }
    m_pid = testsupport::spawn_child({"/bin/bash", options.runRecipe, "--exe", options.executable, "--lib", options.library, "--ini",
                   ini, "--dict", dictionary, "--dir", m_folder + "/run"},
                  testsupport::environment_without({"INVOCATION_ID"}), m_folder + "/bridge.out");
    if (m_pid < 0) {
        error = "cannot start " + options.runRecipe;
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (testsupport::accepts_connections(m_localPort))
            return true;
        if (!Running()) {
            error = "the bridge ended at start-up:\n" + Output() + Log();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error = "the bridge does not take connections on port " + std::to_string(m_localPort);
    return false;
}

bool BridgeRun::Running()
{
    int status = 0;
    if (m_pid <= 0)
        return false;
    if (::waitpid(m_pid, &status, WNOHANG) == 0)
        return true;
    m_pid = -1;
    return false;
}

int BridgeRun::Stop(int timeoutMs)
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid || done < 0)
            break;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            m_pid = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string BridgeRun::Log() const
{
    return read_text(m_folder + "/run/korvel-orvanta-client.log");
}

std::string BridgeRun::Output() const
{
    return read_text(m_folder + "/bridge.out");
}

} // namespace eventpath

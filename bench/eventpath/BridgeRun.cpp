#include "BridgeRun.h"

#include "platform/Socket.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

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

uint16_t free_local_port()
{
    platform::Ipv4Endpoint endpoint;
    endpoint.address = platform::kLoopbackAddress;
    uint16_t port = 0;
    const platform::SocketHandle listener = platform::listen_tcp(endpoint, 1, port);
    if (listener == platform::kInvalidSocket)
        return 0;
    platform::close_socket(listener);
    return port;
}

bool accepts_connections(uint16_t port)
{
    const platform::SocketHandle socket = platform::create_tcp_socket();
    if (socket == platform::kInvalidSocket)
        return false;
    platform::Ipv4Endpoint endpoint;
    endpoint.address = platform::kLoopbackAddress;
    endpoint.port = port;
    const bool connected = platform::connect_with_timeout(socket, endpoint, 1000);
    platform::close_socket(socket);
    return connected;
}

// The recipe gives the bridge a service manager's id of its own.
std::vector<std::string> environment_for_bridge()
{
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "INVOCATION_ID=", 14) != 0)
            env.emplace_back(*entry);
    }
    return env;
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& output)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
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
    m_localPort = free_local_port();
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
    m_pid = spawn({"/bin/bash", options.runRecipe, "--exe", options.executable, "--lib", options.library, "--ini",
                   ini, "--dict", dictionary, "--dir", m_folder + "/run"},
                  environment_for_bridge(), m_folder + "/bridge.out");
    if (m_pid < 0) {
        error = "cannot start " + options.runRecipe;
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (accepts_connections(m_localPort))
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

#include "StationSimProcess.h"

#include "testsupport/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

constexpr int kAnswerTimeoutMs = 10000;

// The complete lines of the file (a line still being written is left out).
std::vector<std::string> complete_lines(const std::string& path)
{
    const std::string text = testsupport::read_file(path);
    std::vector<std::string> lines;
    size_t start = 0;
    size_t end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

StationSimProcess::StationSimProcess(std::string outputPath) : m_outputPath(std::move(outputPath))
{
}

StationSimProcess::~StationSimProcess()
{
    Stop();
}

bool StationSimProcess::Start(const std::vector<std::string>& options)
{
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return false;

    std::vector<std::string> argv{std::string(KORVEL_BIN_DIR) + "/station-sim", "--control"};
    argv.insert(argv.end(), options.begin(), options.end());
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(&arg[0]);
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int result = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[0]);
    if (result != 0) {
        m_pid = -1;
        ::close(pipeEnds[1]);
        return false;
    }
    m_input = pipeEnds[1];

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<std::string> lines = complete_lines(m_outputPath);
        if (!lines.empty()) {
            const long port = std::strtol(lines[0].c_str(), nullptr, 10);
            m_linesRead = 1;
            m_port = port > 0 && port < 65536 ? static_cast<uint16_t>(port) : 0;
            return m_port != 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string StationSimProcess::Command(const std::string& line)
{
    const std::string text = line + "\n";
    if (m_input < 0 || ::write(m_input, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        return std::string();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<std::string> lines = complete_lines(m_outputPath);
        if (lines.size() > m_linesRead)
            return lines[m_linesRead++];
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return std::string();
}

bool StationSimProcess::Commands(const std::vector<std::string>& lines)
{
    bool all = true;
    for (const std::string& line : lines) {
        const std::string answer = Command(line);
        EXPECT_EQ(answer, "ok") << line;
        all = all && answer == "ok";
    }
    return all;
}

void StationSimProcess::Stop()
{
    if (m_input >= 0) {
        ::close(m_input);
        m_input = -1;
    }
    if (m_pid > 0) {
        EXPECT_EQ(testsupport::wait_child(m_pid, kAnswerTimeoutMs), 0) << "station-sim";
        m_pid = -1;
    }
}

std::vector<std::string> StationSimProcess::OutputLines() const
{
    return complete_lines(m_outputPath);
}

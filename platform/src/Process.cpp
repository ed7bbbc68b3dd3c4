#include "platform/Process.h"

#include "platform/Event.h"
#include "platform/ModulePath.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace platform {
namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool is_executable_file(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The exit code of a wait status; a signal that ended the process as the shells report it.
int exit_code_of(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return status;
}

} // namespace

std::vector<std::string> split_command_line(const std::string& commandLine)
{
    std::vector<std::string> args;
    const size_t end = commandLine.size();
    size_t i = 0;
    while (i < end && is_blank(commandLine[i]))
        ++i;
    if (i == end)
        return args;

    std::string arg;
    bool quoted = false;
    for (; i < end; ++i) {
        const char c = commandLine[i];
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && is_blank(c))
            break;
        else
            arg += c;
    }
    args.push_back(arg);

    for (;;) {
        while (i < end && is_blank(commandLine[i]))
            ++i;
        if (i == end)
            break;
        arg.clear();
        quoted = false;
        while (i < end) {
            const char c = commandLine[i];
            if (!quoted && is_blank(c))
                break;
            if (c == '\\') {
                size_t j = i;
                while (j < end && commandLine[j] == '\\')
                    ++j;
                const size_t count = j - i;
                if (j < end && commandLine[j] == '"') {
                    arg.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        arg += '"';
                        ++j;
                    }
                } else {
                    arg.append(count, '\\');
                }
                i = j;
            } else if (c == '"') {
                if (quoted && i + 1 < end && commandLine[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += c;
                ++i;
            }
        }
        args.push_back(arg);
    }
    return args;
}

std::string find_program(const std::string& name)
{
    if (name.empty())
        return std::string();
    if (name.find('/') != std::string::npos)
        return name;
    std::vector<std::string> folders{executable_folder()};
    if (const char* path = std::getenv("PATH")) {
        const std::string list = path;
        size_t start = 0;
        for (;;) {
            const size_t colon = list.find(':', start);
            folders.push_back(list.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
            if (colon == std::string::npos)
                break;
            start = colon + 1;
        }
    }
    for (const std::string& folder : folders) {
        // An empty entry would mean the current folder, which is never searched.
        if (folder.empty())
            continue;
        std::string candidate = folder.back() == '/' ? folder + name : folder + "/" + name;
        if (is_executable_file(candidate))
            return candidate;
    }
    return std::string();
}

Process::~Process()
{
    // Reap a child that has ended; a running one goes on by itself.
    if (m_pid > 0 && !m_ended) {
        int status = 0;
        ::waitpid(m_pid, &status, WNOHANG);
    }
}

bool Process::Start(const std::string& commandLine)
{
    if (m_pid > 0) {
        m_error = EBUSY;
        return false;
    }
    const std::vector<std::string> args = split_command_line(commandLine);
    const std::string program = args.empty() ? std::string() : find_program(args[0]);
    if (program.empty()) {
        m_error = ENOENT;
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    ::posix_spawnattr_init(&attributes);
    ::posix_spawn_file_actions_init(&actions);
    // The caller may hold signals blocked for its own handling; the child starts clean.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    pid_t pid = -1;
    const int result = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        m_error = static_cast<uint32_t>(result);
        return false;
    }
    m_pid = pid;
    m_ended = false;
    m_error = 0;
    return true;
}

bool Process::Wait(uint32_t timeoutMs)
{
    if (m_pid <= 0)
        return false;
    if (m_ended)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t result = ::waitpid(m_pid, &status, timeoutMs == kInfinite ? 0 : WNOHANG);
        if (result == m_pid) {
            m_ended = true;
            m_exitCode = exit_code_of(status);
            return true;
        }
        if (result < 0 && errno != EINTR)
            return false;
        if (timeoutMs != kInfinite && std::chrono::steady_clock::now() >= deadline)
            return false;
        if (result == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace platform

#pragma once

// Test helpers for running programs: a chosen environment, output into a file,
// a bounded wait, and temporary folders.

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {

// This process's environment without the named variables, plus the extra ones.
inline std::vector<std::string> environment_without(std::initializer_list<const char*> names,
                                                    std::initializer_list<std::string> extra = {})
{
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool drop = false;
        for (const char* name : names)
            drop = drop || text.compare(0, std::strlen(name) + 1, std::string(name) + "=") == 0;
        if (!drop)
            env.push_back(text);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

// Starts argv[0] (a path) with the environment; standard output and error go to
// outputPath, appended. -1 when it cannot start.
inline pid_t spawn_child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& outputPath)
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
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

// The child's exit code (128 + the signal that ended it). A child still running
// after timeoutMs is killed and the test fails; the result is then -1.
inline int wait_child(pid_t pid, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0) {
            ADD_FAILURE() << "waitpid failed: " << std::strerror(errno);
            return -1;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ADD_FAILURE() << "child " << pid << " still running after " << timeoutMs << " ms";
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

inline int run_child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const std::string& outputPath, int timeoutMs = 20000)
{
    const pid_t pid = spawn_child(argv, env, outputPath);
    if (pid < 0) {
        ADD_FAILURE() << "cannot start " << argv.at(0);
        return -1;
    }
    return wait_child(pid, timeoutMs);
}

inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_file(const std::string& path, const std::string& text, mode_t mode = 0644)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    chmod(path.c_str(), mode);
}

// Waits until the file holds the text; false after timeoutMs.
inline bool wait_for_text(const std::string& path, const std::string& text, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (read_file(path).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace testsupport

#pragma once

// Test helpers for running programs: a chosen environment, output into a file,
// a bounded wait, and temporary folders.

#include "testsupport/Spawn.h"
#include "testsupport/TempFolder.h"

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
                     const std::string& outputPath, int timeoutMs = 20000, const std::string& errorPath = std::string())
{
    const pid_t pid = spawn_child(argv, env, outputPath, errorPath);
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

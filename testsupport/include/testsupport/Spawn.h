#pragma once

// Starting programs with a chosen environment and their output in a file; for
// tests and benchmarks alike (no test framework here).

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>
#include <string>
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
// outputPath, appended, or standard error to errorPath when one is given. -1
// when it cannot start.
inline pid_t spawn_child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& outputPath, const std::string& errorPath = std::string())
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
    if (errorPath.empty())
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0644);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

} // namespace testsupport

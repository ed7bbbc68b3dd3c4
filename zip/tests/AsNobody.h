#pragma once

// Root ignores file modes; checks of refused access run in a child as "nobody".

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace ziptest {

constexpr int kCannotDropRoot = -1;

// The exit code of `check` run in a child process as nobody, kCannotDropRoot when
// the child could not become nobody, 128 + the signal that ended it.
inline int RunAsNobody(const std::function<int()>& check)
{
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(99);
        _exit(check());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return 128;
    if (!WIFEXITED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status) == 99 ? kCannotDropRoot : WEXITSTATUS(status);
}

} // namespace ziptest

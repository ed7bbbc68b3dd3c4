#pragma once

// Puts standard error on a pseudo-terminal (raw, so bytes arrive unchanged) for
// one test, so isatty(stderr) holds, and hands back what was written to it.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <string>

namespace testsupport {

class StderrOnTerminal
{
public:
    StderrOnTerminal()
    {
        struct termios raw {};
        ::cfmakeraw(&raw);
        if (::openpty(&m_master, &m_slave, nullptr, &raw, nullptr) != 0)
            ADD_FAILURE() << "openpty failed";
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_slave, STDERR_FILENO);
    }
    ~StderrOnTerminal()
    {
        ::dup2(m_saved, STDERR_FILENO);
        for (int fd : {m_saved, m_slave, m_master})
            ::close(fd);
    }
    // Everything written since the last call.
    std::string take()
    {
        std::string text;
        struct pollfd readable {m_master, POLLIN, 0};
        char buffer[4096];
        ssize_t n = 0;
        while (::poll(&readable, 1, 20) > 0 && (n = ::read(m_master, buffer, sizeof(buffer))) > 0)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    int m_saved = -1;
};

} // namespace testsupport

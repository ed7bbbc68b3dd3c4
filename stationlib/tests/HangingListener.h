#pragma once

// A loopback listener that never answers a connect: its queue is full, so the
// system drops every further attempt, which stays under way until it is given
// up, as with a station that does not answer.

#include "testsupport/WaitUntil.h"

#include "platform/Socket.h"

#include <chrono>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

class HangingListener
{
public:
    HangingListener() = default;
    ~HangingListener()
    {
        platform::close_socket(m_queued);
        platform::close_socket(m_listener);
    }
    HangingListener(const HangingListener&) = delete;
    HangingListener& operator=(const HangingListener&) = delete;

    // Listens with room for one connection and takes that room.
    bool Start()
    {
        m_listener = platform::listen_tcp({platform::kLoopbackAddress, 0}, 0, m_port);
        if (m_listener == platform::kInvalidSocket)
            return false;
        m_queued = platform::create_tcp_socket();
        return m_queued != platform::kInvalidSocket
               && platform::connect_with_timeout(m_queued, {platform::kLoopbackAddress, m_port}, 5000);
    }

    uint16_t GetPort() const { return m_port; }

    // Until some socket waits for this listener's reply to its connect.
    bool WaitForAttempt(std::chrono::milliseconds limit) const
    {
        return wait_until([this] { return AttemptUnderWay(); }, limit);
    }

private:
    // The system's table of TCP sockets: remote address and port in hex, then
    // the state, 02 while a connect waits for the reply.
    bool AttemptUnderWay() const
    {
        std::ifstream table("/proc/net/tcp");
        std::string line;
        std::getline(table, line);  // column names
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            if (!(fields >> slot >> local >> remote >> state))
                continue;
            const std::string::size_type colon = remote.find(':');
            if (colon == std::string::npos || state != "02")
                continue;
            if (std::stoul(remote.substr(colon + 1), nullptr, 16) == m_port)
                return true;
        }
        return false;
    }

    platform::SocketHandle m_listener = platform::kInvalidSocket;
    platform::SocketHandle m_queued = platform::kInvalidSocket;
    uint16_t m_port = 0;
};

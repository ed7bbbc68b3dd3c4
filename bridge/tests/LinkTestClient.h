#pragma once

// A video-system peer for the server tests: a blocking loopback socket read with
// time limits, so every test ends by itself.

#include "vms/LinkFrameReader.h"
#include "vms/LinkProtocol.h"

#include "platform/Socket.h"

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class LinkTestClient
{
public:
    enum class Read
    {
        Frame,
        Closed,
        Timeout,
        BadStart,
    };

    LinkTestClient() = default;
    LinkTestClient(const LinkTestClient&) = delete;
    LinkTestClient& operator=(const LinkTestClient&) = delete;
    ~LinkTestClient() { Close(); }

    // receive_buffer > 0 shrinks the socket's receive buffer, so a client that
    // does not read holds back the bridge early.
    bool Connect(uint16_t port, int receive_buffer = 0)
    {
        m_socket = platform::create_tcp_socket();
        if (m_socket == platform::kInvalidSocket)
            return false;
        if (receive_buffer > 0)
            ::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof(receive_buffer));
        platform::Ipv4Endpoint endpoint;
        endpoint.address = platform::kLoopbackAddress;
        endpoint.port = port;
        return platform::connect_with_timeout(m_socket, endpoint, 5000);
    }

    bool Send(const std::vector<uint8_t>& bytes) { return platform::send_all(m_socket, bytes.data(), bytes.size()); }
    bool SendFrame(uint8_t command, const std::string& payload = std::string())
    {
        return Send(make_link_frame(command, payload));
    }

    Read ReadFrame(LinkFrameReader::Frame& frame, int timeout_ms = 10000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            switch (m_reader.Next(frame)) {
            case LinkFrameReader::Result::Frame:
                return Read::Frame;
            case LinkFrameReader::Result::BadStart:
                return Read::BadStart;
            case LinkFrameReader::Result::NeedMore:
                break;
            }
            if (m_closed)
                return Read::Closed;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd descriptor{m_socket, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&descriptor, 1, static_cast<int>(left.count())) <= 0)
                return Read::Timeout;
            uint8_t chunk[65536];
            const long n = platform::receive_some(m_socket, chunk, sizeof(chunk));
            // A reset ends the stream as well as an orderly close.
            if (n <= 0)
                m_closed = true;
            else
                m_reader.Feed(chunk, static_cast<size_t>(n));
        }
    }

    // Reads and drops whatever comes until the bridge closes; false on timeout.
    bool WaitClosed(int timeout_ms = 10000)
    {
        LinkFrameReader::Frame frame;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const Read result = ReadFrame(frame, static_cast<int>(left.count()));
            if (result == Read::Closed)
                return true;
            if (result == Read::Timeout)
                return false;
            if (result == Read::BadStart)
                m_reader = LinkFrameReader();
        }
    }

    // Logs in and takes the bridge's answer; true on LINK_LOGIN_OK "OK".
    bool Login(const std::string& login, const std::string& password)
    {
        if (!SendFrame(LINK_LOGIN, link_login_text(login, password)))
            return false;
        LinkFrameReader::Frame frame;
        return ReadFrame(frame) == Read::Frame && frame.command == LINK_LOGIN_OK &&
               std::string(frame.payload.begin(), frame.payload.end()) == "OK";
    }

    void Close()
    {
        if (m_socket != platform::kInvalidSocket)
            platform::close_socket(m_socket);
        m_socket = platform::kInvalidSocket;
    }

private:
    platform::SocketHandle m_socket = platform::kInvalidSocket;
    LinkFrameReader m_reader;
    bool m_closed = false;
};

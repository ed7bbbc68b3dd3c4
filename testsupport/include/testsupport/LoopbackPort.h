#pragma once

// Loopback ports for programs under test: one free to listen on, and whether
// something accepts on one.

#include "platform/Socket.h"

#include <cstdint>

namespace testsupport {

// A port nothing listens on right now (bound once, then released); 0 on failure.
inline uint16_t free_local_port()
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

inline bool accepts_connections(uint16_t port)
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

} // namespace testsupport

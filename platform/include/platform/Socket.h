#pragma once

// IPv4 TCP sockets as the station protocol uses them. Every call retries when a
// signal interrupts it, and nothing here can raise SIGPIPE. Failures leave errno
// set.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

using SocketHandle = int;

constexpr SocketHandle kInvalidSocket = -1;

// An IPv4 address and port, both in host byte order.
struct Ipv4Endpoint
{
    uint32_t address = 0;
    uint16_t port = 0;
};

constexpr uint32_t kLoopbackAddress = 0x7F000001u;

// A new blocking IPv4 stream socket (close-on-exec), or kInvalidSocket.
SocketHandle create_tcp_socket();
void close_socket(SocketHandle socket);
// Ends both directions: a receive blocked on the socket returns 0 at once.
void shutdown_socket(SocketHandle socket);

// The first IPv4 address of a host name or dotted address.
bool resolve_ipv4(const std::string& host, uint32_t& address);

// Connects a blocking socket, giving up after timeoutMs. True only when the
// connection is established: the attempt must both complete and report no error
// (SO_ERROR 0). The socket is blocking again on return.
bool connect_with_timeout(SocketHandle socket, const Ipv4Endpoint& endpoint, uint32_t timeoutMs);

// One send of at most `size` bytes; the count sent, or -1.
long send_some(SocketHandle socket, const void* data, size_t size);
// One receive into `buffer`; the count received, 0 at the end of the stream, or -1.
long receive_some(SocketHandle socket, void* buffer, size_t size);
// Sends every byte, continuing after partial sends.
bool send_all(SocketHandle socket, const void* data, size_t size);

// A listening socket on `endpoint` (port 0: the system picks one); the port it
// got comes back in boundPort.
SocketHandle listen_tcp(const Ipv4Endpoint& endpoint, int backlog, uint16_t& boundPort);
// The next connection of a listener; kInvalidSocket on failure.
SocketHandle accept_connection(SocketHandle listener);

} // namespace platform

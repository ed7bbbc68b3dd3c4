#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

namespace platform {
namespace {

sockaddr_in to_sockaddr(const Ipv4Endpoint& endpoint)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(endpoint.address);
    address.sin_port = htons(endpoint.port);
    return address;
}

bool set_blocking(SocketHandle socket, bool blocking)
{
    int flags = ::fcntl(socket, F_GETFL, 0);
    if (flags < 0)
        return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(socket, F_SETFL, flags) == 0;
}

// Waits until the socket is writable or the time is up; false on time-out or failure.
bool wait_writable(SocketHandle socket, uint32_t timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left < 0)
            left = 0;
        pollfd fd{socket, POLLOUT, 0};
        int ready = ::poll(&fd, 1, left > INT_MAX ? INT_MAX : static_cast<int>(left));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (ready > 0)
            return true;
        if (left == 0) {
            errno = ETIMEDOUT;
            return false;
        }
    }
}

} // namespace

SocketHandle create_tcp_socket()
{
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
}

void close_socket(SocketHandle socket)
{
    if (socket != kInvalidSocket)
        ::close(socket);  // never retried: the descriptor is gone even when close reports EINTR
}

void shutdown_socket(SocketHandle socket)
{
    if (socket != kInvalidSocket)
        ::shutdown(socket, SHUT_RDWR);
}

bool resolve_ipv4(const std::string& host, uint32_t& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int result;
    do {
        result = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    } while (result == EAI_SYSTEM && errno == EINTR);
    if (result != 0 || found == nullptr) {
        if (result != EAI_SYSTEM)
            errno = EHOSTUNREACH;
        return false;
    }
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    address = ntohl(ipv4->sin_addr.s_addr);
    ::freeaddrinfo(found);
    return true;
}

bool connect_with_timeout(SocketHandle socket, const Ipv4Endpoint& endpoint, uint32_t timeoutMs)
{
    if (!set_blocking(socket, false))
        return false;
    const sockaddr_in address = to_sockaddr(endpoint);
    bool connected = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    // An interrupted connect goes on in the background, as a non-blocking one does.
    if (!connected && (errno == EINPROGRESS || errno == EINTR) && wait_writable(socket, timeoutMs)) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0) {
            connected = error == 0;
            if (error != 0)
                errno = error;
        }
    }
    const int savedErrno = errno;
    if (!set_blocking(socket, true))
        return false;
    errno = savedErrno;
    return connected;
}

long send_some(SocketHandle socket, const void* data, size_t size)
{
    for (;;) {
        ssize_t sent = ::send(socket, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        return static_cast<long>(sent);
    }
}

long receive_some(SocketHandle socket, void* buffer, size_t size)
{
    for (;;) {
        ssize_t received = ::recv(socket, buffer, size, 0);
        if (received < 0 && errno == EINTR)
            continue;
        return static_cast<long>(received);
    }
}

bool send_all(SocketHandle socket, const void* data, size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        long sent = send_some(socket, bytes, size);
        if (sent < 0) {
            // A full buffer on a socket with a send time-out: give the peer a moment.
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            return false;
        }
        bytes += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

SocketHandle listen_tcp(const Ipv4Endpoint& endpoint, int backlog, uint16_t& boundPort)
{
    SocketHandle listener = create_tcp_socket();
    if (listener == kInvalidSocket)
        return kInvalidSocket;
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address = to_sockaddr(endpoint);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, backlog) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int savedErrno = errno;
        ::close(listener);
        errno = savedErrno;
        return kInvalidSocket;
    }
    boundPort = ntohs(address.sin_port);
    return listener;
}

SocketHandle accept_connection(SocketHandle listener)
{
    for (;;) {
        SocketHandle socket = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0 && (errno == EINTR || errno == ECONNABORTED))
            continue;
        return socket;
    }
}

} // namespace platform

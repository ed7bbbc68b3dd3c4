#include "HostileClients.h"

#include "vms/LinkProtocol.h"

#include "platform/Socket.h"

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

namespace soak {
namespace {

constexpr int kSmallReceiveBuffer = 4096;
constexpr uint32_t kConnectTimeoutMs = 5000;
// Between two cycles, so that they are spread over the events sent meanwhile
// rather than over in a blink.
constexpr auto kChurnPause = std::chrono::milliseconds(1);

int connect_to(uint16_t port, int receiveBuffer = 0)
{
    const platform::SocketHandle socket = platform::create_tcp_socket();
    if (socket == platform::kInvalidSocket)
        return -1;
    // Set before connecting, so the window the bridge sees stays small.
    if (receiveBuffer > 0)
        ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    platform::Ipv4Endpoint endpoint;
    endpoint.address = platform::kLoopbackAddress;
    endpoint.port = port;
    if (!platform::connect_with_timeout(socket, endpoint, kConnectTimeoutMs)) {
        platform::close_socket(socket);
        return -1;
    }
    return socket;
}

std::vector<uint8_t> churn_bytes(Churn kind, const std::string& login, const std::string& password)
{
    std::vector<uint8_t> bytes;
    const auto append = [&bytes](const std::vector<uint8_t>& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
    };
    switch (kind) {
    case Churn::ConnectOnly:
        break;
    case Churn::LoginOnly:
        append(make_link_frame(LINK_LOGIN, link_login_text(login, password)));
        break;
    case Churn::StateUnread:
        append(make_link_frame(LINK_LOGIN, link_login_text(login, password)));
        append(make_link_frame(LINK_GET_STATE, ""));
        break;
    case Churn::CutFrame: {
        const std::vector<uint8_t> frame = make_link_frame(LINK_LOGIN, std::string(64 * 1024, 'A'));
        bytes.assign(frame.begin(), frame.begin() + 100);
        break;
    }
    case Churn::WrongStart:
        bytes.assign({'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P', '/', '1', '.', '0', '\r', '\n', '\r', '\n'});
        break;
    case Churn::WrongLogin:
        append(make_link_frame(LINK_LOGIN, link_login_text(login, password + "x")));
        break;
    }
    return bytes;
}

} // namespace

SilentClients::~SilentClients()
{
    Close();
}

bool SilentClients::Open(uint16_t port, int count, const std::string& login, const std::string& password,
                         std::string& error)
{
    std::vector<uint8_t> request = make_link_frame(LINK_LOGIN, link_login_text(login, password));
    const std::vector<uint8_t> state = make_link_frame(LINK_GET_STATE, "");
    request.insert(request.end(), state.begin(), state.end());
    for (int i = 0; i < count; ++i) {
        const int socket = connect_to(port, kSmallReceiveBuffer);
        if (socket < 0 || !platform::send_all(socket, request.data(), request.size())) {
            if (socket >= 0)
                platform::close_socket(socket);
            error = "silent client " + std::to_string(i + 1) + " of " + std::to_string(count) + " could not connect";
            return false;
        }
        m_sockets.push_back(socket);
    }
    return true;
}

size_t SilentClients::ClosedByPeer() const
{
    size_t closed = 0;
    for (const int socket : m_sockets) {
        pollfd descriptor{socket, POLLRDHUP, 0};
        if (::poll(&descriptor, 1, 0) > 0 && (descriptor.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0)
            ++closed;
    }
    return closed;
}

void SilentClients::Close()
{
    for (const int socket : m_sockets)
        platform::close_socket(socket);
    m_sockets.clear();
}

ChurnFigures churn_connections(uint16_t port, uint64_t cycles, const std::string& login,
                               const std::string& password, const std::atomic<bool>& stop)
{
    std::vector<std::vector<uint8_t>> kinds;
    for (int kind = 0; kind < kChurnKinds; ++kind)
        kinds.push_back(churn_bytes(static_cast<Churn>(kind), login, password));
    ChurnFigures figures;
    for (; figures.cycles < cycles && !stop; ++figures.cycles) {
        const int socket = connect_to(port);
        if (socket < 0) {
            ++figures.refused;
            continue;
        }
        const std::vector<uint8_t>& bytes = kinds[figures.cycles % kinds.size()];
        if (!bytes.empty())
            platform::send_all(socket, bytes.data(), bytes.size());
        platform::close_socket(socket);
        std::this_thread::sleep_for(kChurnPause);
    }
    return figures;
}

} // namespace soak

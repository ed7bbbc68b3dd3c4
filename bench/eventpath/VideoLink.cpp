#include "VideoLink.h"

#include "vms/LinkProtocol.h"

#include "platform/Socket.h"

#include <poll.h>

namespace eventpath {
namespace {

constexpr int kReplyTimeoutMs = 20000;

} // namespace

VideoLink::~VideoLink()
{
    Close();
}

bool VideoLink::Open(uint16_t port, const std::string& login, const std::string& password, std::string& error)
{
    Close();
    m_socket = platform::create_tcp_socket();
    platform::Ipv4Endpoint endpoint;
    endpoint.address = platform::kLoopbackAddress;
    endpoint.port = port;
    if (m_socket == platform::kInvalidSocket || !platform::connect_with_timeout(m_socket, endpoint, 5000)) {
        error = "cannot connect to the bridge on port " + std::to_string(port);
        return false;
    }
    const std::vector<uint8_t> frame = make_link_frame(LINK_LOGIN, link_login_text(login, password));
    LinkFrameReader::Frame reply;
    if (!platform::send_all(m_socket, frame.data(), frame.size()) || !NextFrame(reply, error))
        return false;
    if (reply.command != LINK_LOGIN_OK) {
        error = "the bridge refused the login";
        return false;
    }
    return true;
}

bool VideoLink::RequestState(std::vector<ElementRecord>& records, std::string& error)
{
    const std::vector<uint8_t> request = make_link_frame(LINK_GET_STATE, "");
    LinkFrameReader::Frame reply;
    if (!platform::send_all(m_socket, request.data(), request.size())) {
        error = "cannot ask for the state";
        return false;
    }
    // Updates may come first; the phase's clients have not asked before, so
    // none does here.
    do {
        if (!NextFrame(reply, error))
            return false;
    } while (reply.command == LINK_UPDATE);
    if (reply.command != LINK_STATE) {
        error = "the bridge answered the state request with command " + std::to_string(reply.command);
        return false;
    }
    records.clear();
    size_t offset = 0;
    while (offset < reply.payload.size()) {
        ElementRecord record;
        if (!read_element_record(reply.payload.data(), reply.payload.size(), offset, record)) {
            error = "the state's records do not fill it";
            return false;
        }
        records.push_back(std::move(record));
    }
    return true;
}

void VideoLink::Close()
{
    if (m_socket != -1)
        platform::close_socket(m_socket);
    m_socket = -1;
    m_reader = LinkFrameReader();
}

bool VideoLink::NextFrame(LinkFrameReader::Frame& frame, std::string& error)
{
    uint8_t chunk[16 * 1024];
    for (;;) {
        switch (m_reader.Next(frame)) {
        case LinkFrameReader::Result::Frame:
            return true;
        case LinkFrameReader::Result::BadStart:
            error = "a frame from the bridge does not begin with the start bytes";
            return false;
        case LinkFrameReader::Result::NeedMore:
            break;
        }
        pollfd descriptor{m_socket, POLLIN, 0};
        if (::poll(&descriptor, 1, kReplyTimeoutMs) <= 0) {
            error = "no reply from the bridge";
            return false;
        }
        const long n = platform::receive_some(m_socket, chunk, sizeof(chunk));
        if (n <= 0) {
            error = "the bridge closed the connection";
            return false;
        }
        m_reader.Feed(chunk, static_cast<size_t>(n));
    }
}

} // namespace eventpath

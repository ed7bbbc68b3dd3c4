// The video-system link as a client drives it: the input is the byte stream a
// video client sends, written in chunks into a connected socket pair whose other
// end an OrvantaConnection reads with its own receive path (login, state
// requests, any other frame). What the bridge writes back is read with the
// link's frame reader and checked: whole frames only, "OK" first when the login
// is taken, one state per request, an error frame last and nothing after it,
// and the connection gone with everything it queued once the peer has closed.
//
// Input: the first byte sets the chunk size, the rest is the stream.

#include "FuzzSupport.h"

#include "model/ElementModel.h"
#include "model/ElementRecord.h"
#include "support/ConnectionSettings.h"
#include "vms/ConnectionList.h"
#include "vms/LinkFrameReader.h"
#include "vms/LinkProtocol.h"
#include "vms/OrvantaConnection.h"
#include "vms/QueuedMemory.h"

#include <boost/asio/io_context.hpp>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

KorvelElementPtr element(int32_t id, const std::string& name, int32_t level)
{
    auto e = std::make_shared<KorvelElement>();
    e->ID = id;
    e->Name = name;
    e->StateLevel = level;
    return e;
}

struct Harness
{
    boost::asio::io_context io;
    std::vector<uint8_t> state; // the payload of every state frame

    Harness()
    {
        login = "pelto";
        password = "pelto";
        verbosity = 2; // every log format runs; without a log path nothing is written
        KorvelElementPtr group = element(1, "Группа", 1);
        KorvelElementPtr object = element(10, "Объект", 2);
        object->children[100] = element(100, "Датчик", 0);
        group->children[10] = object;
        g_group_map[1] = group;
        g_group_map[2] = element(2, "", 1);
        OrvantaConnection::SerializeElements(g_group_map, LEVEL_GROUP, state);
    }
};

} // namespace

FUZZ_HARNESS_STATE(Harness, "Feeds a video-system client's byte stream to a real connection of the bridge.")

namespace {

// The state requests a bridge owes for the stream: whole GET_STATE frames after
// a first frame that is the right login.
size_t requests_in(const uint8_t* data, size_t size)
{
    LinkFrameReader reader;
    reader.Feed(data, size);
    LinkFrameReader::Frame frame;
    if (reader.Next(frame) != LinkFrameReader::Result::Frame || frame.command != LINK_LOGIN)
        return 0;
    size_t requests = 0;
    while (reader.Next(frame) == LinkFrameReader::Result::Frame)
        requests += frame.command == LINK_GET_STATE;
    return requests;
}

class Peer
{
public:
    explicit Peer(int fd) : m_fd(fd) {}
    ~Peer() { ::close(m_fd); }

    // Reads what the bridge has written so far and checks each frame.
    void Drain()
    {
        uint8_t buffer[65536];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            FUZZ_CHECK(!m_error, "bytes after the error frame");
            m_reader.Feed(buffer, static_cast<size_t>(n));
            LinkFrameReader::Frame frame;
            LinkFrameReader::Result result;
            while ((result = m_reader.Next(frame)) == LinkFrameReader::Result::Frame)
                Check(frame);
            FUZZ_CHECK(result == LinkFrameReader::Result::NeedMore, "a frame without its start bytes");
        }
    }

    // False while the socket cannot take more.
    bool Send(const uint8_t* data, size_t size, size_t& sent)
    {
        const ssize_t n = ::send(m_fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            FUZZ_CHECK(errno == EAGAIN || errno == EWOULDBLOCK || errno == EPIPE || errno == ECONNRESET,
                       "cannot write to the bridge");
            return errno == EAGAIN || errno == EWOULDBLOCK ? false : (sent = size, true);
        }
        sent = static_cast<size_t>(n);
        return true;
    }

    void CloseWriting() { ::shutdown(m_fd, SHUT_WR); }

    bool Error() const { return m_error; }
    size_t States() const { return m_states; }
    size_t Buffered() const { return m_reader.Buffered(); }

private:
    void Check(const LinkFrameReader::Frame& frame)
    {
        FUZZ_CHECK(!m_error, "a frame after the error frame");
        const std::string text(frame.payload.begin(), frame.payload.end());
        switch (frame.command) {
        case LINK_LOGIN_OK:
            FUZZ_CHECK(!m_logged_in && m_states == 0, "login taken twice or late");
            FUZZ_CHECK(text == kLinkLoginOk, "login answer");
            m_logged_in = true;
            break;
        case LINK_STATE:
            FUZZ_CHECK(m_logged_in, "a state before the login");
            FUZZ_CHECK(frame.payload == harness->state, "a state that is not the tree");
            ++m_states;
            break;
        case LINK_ERROR:
            FUZZ_CHECK(text == kLinkErrorUnauthorized || text == kLinkErrorWrongFormat, "error text");
            m_error = true;
            break;
        default: FUZZ_CHECK(false, "a command the bridge never sends");
        }
    }

    int m_fd;
    LinkFrameReader m_reader;
    bool m_logged_in = false;
    bool m_error = false;
    size_t m_states = 0;
};

// Runs what is ready on the I/O service without waiting for timers.
void run_ready()
{
    harness->io.restart();
    harness->io.poll();
}

} // namespace


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t chunk = 1 + data[0] % 128 * 8;
    ++data;
    --size;

    int fds[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) == 0, "socketpair");
    Peer peer(fds[1]);
    const size_t queued_before = QueuedMemory::Total();
    std::weak_ptr<OrvantaConnection> watched;
    {
        auto connection = std::make_shared<OrvantaConnection>(harness->io);
        connection->socket().assign(boost::asio::ip::tcp::v4(), fds[0]);
        g_connection_list.PruneExpired();
        g_connection_list.Append(connection);
        OrvantaConnection::Start(connection);
        watched = connection;
    }

    size_t offset = 0;
    int stalled = 0;
    while (offset < size && !watched.expired()) {
        size_t sent = 0;
        const bool moved = peer.Send(data + offset, std::min(chunk, size - offset), sent);
        offset += sent;
        run_ready();
        peer.Drain();
        // A peer that stops reading is no fault of the input once it has been told why.
        if (!moved && ++stalled > 1000)
            break;
    }
    peer.CloseWriting();
    for (int round = 0; round < 1000 && !watched.expired(); ++round) {
        run_ready();
        peer.Drain();
    }
    run_ready();
    peer.Drain();

    FUZZ_CHECK(watched.expired(), "the connection outlives its closed peer");
    FUZZ_CHECK(peer.Buffered() == 0, "the bridge's output ends inside a frame");
    FUZZ_CHECK(QueuedMemory::Total() == queued_before, "queued frames not given back");
    if (!peer.Error())
        FUZZ_CHECK(peer.States() == requests_in(data, size), "a state request without its state");
    return 0;
}

#include "vms/OrvantaConnection.h"

#include "model/ElementModel.h"
#include "model/ElementRecord.h"
#include "support/BridgeAssert.h"
#include "support/BridgeLog.h"
#include "support/ConnectionSettings.h"
#include "vms/ConnectionList.h"
#include "vms/LinkProtocol.h"
#include "vms/QueuedMemory.h"
#include "vms/UpdateFanOut.h"
#include "vms/VmsLimits.h"

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <list>
#include <mutex>

using boost::system::error_code;

namespace {

std::atomic<size_t> g_open_connections{0};
std::atomic<size_t> g_awaiting_login{0};

// The last state built, shared by every queue that holds it while it is
// unchanged: clients asking again and again for the same state hold one copy.
// I/O thread only.
std::weak_ptr<OrvantaConnection::ToSend> g_last_state;
// Room beyond the last state's size reserved for the next one.
constexpr size_t kLastStateSlack = 64 * 1024;

// Failed logins are logged once per interval for each address, so a peer
// guessing passwords does not fill the log. I/O thread only.
class FailedLoginLog
{
public:
    void Report(const std::string& address)
    {
        const auto now = std::chrono::steady_clock::now();
        const auto found = m_last.find(address);
        if (found != m_last.end()) {
            if (now - found->second->second < kFailedLoginLogInterval)
                return;
            m_order.erase(found->second);
            m_last.erase(found);
        }
        if (m_order.size() >= kFailedLoginAddressesKept) {
            m_last.erase(m_order.front().first);
            m_order.pop_front();
        }
        m_order.emplace_back(address, now);
        m_last[address] = std::prev(m_order.end());
        log_message(kLogInfo, "Orvanta login failed from %s\n", address.c_str());
    }

private:
    using Entry = std::pair<std::string, std::chrono::steady_clock::time_point>;
    std::list<Entry> m_order; // least recently logged first
    std::unordered_map<std::string, std::list<Entry>::iterator> m_last;
};

FailedLoginLog g_failed_logins;

// The connections an update delivery goes to, kept for its capacity. I/O
// thread only.
std::vector<OrvantaConnection::Ptr> g_update_receivers;

} // namespace

OrvantaConnection::OrvantaConnection(boost::asio::io_context& io_service)
    : m_socket(io_service), m_receive_chunk(kReceiveChunkSize), m_deadline(io_service), m_close_timer(io_service)
{
}

OrvantaConnection::~OrvantaConnection()
{
    SetOpen(false);
    for (ToSendPtr& frame : m_queue)
        frame.reset();
    QueuedMemory::Release(m_queue.size() * kQueueEntryCost);
    error_code error;
    m_socket.close(error);
    if (error)
        log_message(kLogError, "Error while closing Orvanta connection: %s\n", error.message().c_str());
    log_message(kLogError, "Orvanta connection destroyed\n");
}

size_t OrvantaConnection::OpenCount()
{
    return g_open_connections;
}

size_t OrvantaConnection::AwaitingLoginCount()
{
    return g_awaiting_login;
}

void OrvantaConnection::SetOpen(bool open)
{
    if (open == m_open)
        return;
    m_open = open;
    if (open) {
        ++g_open_connections;
        ++g_awaiting_login;
    } else {
        --g_open_connections;
        if (!authorised)
            --g_awaiting_login;
    }
}

void OrvantaConnection::Start(const Ptr& self)
{
    error_code error;
    const auto endpoint = self->m_socket.remote_endpoint(error);
    if (!error) {
        self->m_peer_address = endpoint.address().to_string();
        self->m_peer = self->m_peer_address + ":" + std::to_string(endpoint.port());
    }
    self->SetOpen(true);
    ArmDeadline(self, vms_time_limit(kLoginTimeLimit), "log in");
    StartRead(self);
}

void OrvantaConnection::ArmDeadline(const Ptr& self, std::chrono::milliseconds limit, const char* what)
{
    self->m_deadline_armed = true;
    const uint64_t generation = ++self->m_deadline_generation;
    self->m_deadline.expires_after(limit);
    self->m_deadline.async_wait([self, limit, what, generation](const error_code& error) {
        // Disarmed or armed anew after this expiry was queued: the login or
        // frame it guarded ended in time.
        if (error || self->m_closed || generation != self->m_deadline_generation)
            return;
        log_message(kLogInfo, "Orvanta client %s did not %s within %lld ms, connection closed\n",
                    self->m_peer_address.c_str(), what, static_cast<long long>(limit.count()));
        self->Close();
    });
}

void OrvantaConnection::DisarmDeadline()
{
    if (!m_deadline_armed)
        return;
    m_deadline_armed = false;
    ++m_deadline_generation;
    m_deadline.cancel();
}

void OrvantaConnection::StartRead(const Ptr& self)
{
    self->m_socket.async_read_some(boost::asio::buffer(self->m_receive_chunk),
                                   [self](const error_code& error, size_t n) { OnRead(self, error, n); });
}

void OrvantaConnection::OnRead(const Ptr& self, const error_code& error, size_t n)
{
    if (self->m_closed)
        return;
    if (error || n == 0) {
        self->Close();
        return;
    }
    // While an error frame leaves, input is read only to be dropped, so the
    // peer's unread bytes do not turn the close into a reset that loses it.
    if (self->m_closing) {
        StartRead(self);
        return;
    }
    const size_t frames_before = self->m_frames_taken;
    if (!ProcessInput(self->m_receive_chunk.data(), n, self)) {
        CloseAfterSending(self);
        return;
    }
    // A reply may have found the send queue over its limit.
    if (self->m_closed)
        return;
    // Logged in, a frame begun must end in time; the login's own limit runs
    // from the accept.
    if (self->authorised) {
        if (self->m_input.empty() && !self->m_in_payload)
            self->DisarmDeadline();
        else if (!self->m_deadline_armed || self->m_frames_taken != frames_before)
            ArmDeadline(self, vms_time_limit(kFrameTimeLimit), "complete a frame");
    }
    StartRead(self);
}

bool OrvantaConnection::ProcessInput(const uint8_t* data, size_t n, const Ptr& self)
{
    std::vector<uint8_t>& input = self->m_input;
    input.insert(input.end(), data, data + n);

    // Frames are consumed by moving `start`; the buffer is cut once at the end.
    size_t start = 0;
    while (!self->m_closed) {
        // Once logged in no payload is looked at: its bytes are passed over as
        // they come instead of being held, and the command is taken with the
        // last of them.
        if (self->m_in_payload) {
            const size_t skipped = std::min(self->m_payload_left, input.size() - start);
            start += skipped;
            self->m_payload_left -= skipped;
            if (self->m_payload_left != 0)
                break;
            self->m_in_payload = false;
            TakeCommand(self, self->m_payload_command);
            continue;
        }
        if (input.size() - start < kLinkHeaderSize)
            break;
        LinkHeader header;
        if (!read_link_header(input.data() + start, header) ||
            (!self->authorised && header.length > link_login_payload_limit(login, password))) {
            SendString(self, LINK_ERROR, kLinkErrorWrongFormat);
            input.clear();
            return false;
        }
        if (self->authorised) {
            start += kLinkHeaderSize;
            self->m_in_payload = true;
            self->m_payload_left = header.length;
            self->m_payload_command = header.command;
            continue;
        }
        if (input.size() - start - kLinkHeaderSize < header.length)
            break;
        const uint8_t* payload = input.data() + start + kLinkHeaderSize;
        ++self->m_frames_taken;
        const bool login_frame = header.command == LINK_LOGIN;
        if (!login_frame || !CheckLogin(self, payload, header.length)) {
            if (login_frame)
                g_failed_logins.Report(self->m_peer_address);
            SendString(self, LINK_ERROR, kLinkErrorUnauthorized);
            input.clear();
            return false;
        }
        start += kLinkHeaderSize + header.length;
    }
    input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(start));
    return true;
}

void OrvantaConnection::TakeCommand(const Ptr& self, uint8_t command)
{
    ++self->m_frames_taken;
    if (command == LINK_GET_STATE)
        SendFullState(self);
    else if (command != LINK_LOGIN)
        log_message(kLogInfo, "unknown cmd 0x%02x received\n", command);
}

bool OrvantaConnection::CheckLogin(const Ptr& self, const uint8_t* payload, uint32_t length)
{
    const std::string expected = link_login_text(login, password);
    if (length != expected.size() || std::memcmp(payload, expected.data(), length) != 0)
        return false;
    SendString(self, LINK_LOGIN_OK, kLinkLoginOk);
    self->authorised = true;
    if (self->m_open)
        --g_awaiting_login;
    self->DisarmDeadline();
    return true;
}

void OrvantaConnection::SendPacket(const Ptr& self, uint8_t command, const void* data, uint32_t length)
{
    const size_t size = length;
    std::vector<uint8_t> frame(kLinkHeaderSize + size);
    write_link_header(frame.data(), command, length);
    size_t it = kLinkHeaderSize;
    if (size != 0)
        std::memcpy(frame.data() + it, data, size);
    auto to_send = std::make_shared<ToSend>(std::move(frame));
    BRIDGE_ASSERT(it + size == to_send->data.size());
    Enqueue(self, std::move(to_send));
}

void OrvantaConnection::SendString(const Ptr& self, uint8_t command, const std::string& text)
{
    SendPacket(self, command, text.data(), static_cast<uint32_t>(text.size()));
}

void OrvantaConnection::Enqueue(const Ptr& self, ToSendPtr to_send, bool repeatable)
{
    if (self->m_closed || self->m_closing)
        return;
    // Bytes of a frame this queue already holds are not held twice.
    const bool held = repeatable && self->m_uses[to_send.get()]++ != 0;
    const size_t charge = kQueueEntryCost + (held ? 0 : to_send->data.size());
    // A frame on an empty queue always goes, so even a state larger than the
    // limit reaches a client that reads.
    if (!self->m_queue.empty() && self->m_queued_bytes + charge > kMaxQueuedBytesPerConnection) {
        log_message(kLogError, "Orvanta client does not read, connection closed (%zu bytes waiting)\n",
                    self->m_queued_bytes + charge);
        self->Close();
        return;
    }
    self->m_queue.push_back(std::move(to_send));
    self->m_queued_bytes += charge;
    QueuedMemory::Add(kQueueEntryCost);
    // One write in flight: overlapping writes on one socket would interleave
    // the bytes of their frames. The first frame of an idle connection waits
    // for the handlers already posted, so the updates of a burst, one handler
    // each, leave together in one write.
    if (self->m_queue.size() == 1)
        boost::asio::post(self->m_socket.get_executor(), [self]() {
            if (!self->m_closed && !self->m_queue.empty())
                StartWrite(self);
        });
    if (QueuedMemory::Live() > kMaxQueuedBytesTotal)
        EnforceTotalBound();
}

void OrvantaConnection::PopFront()
{
    const ToSendPtr& frame = m_queue.front();
    size_t charge = kQueueEntryCost;
    const auto uses = m_uses.find(frame.get());
    if (uses == m_uses.end()) {
        charge += frame->data.size();
    } else if (--uses->second == 0) {
        charge += frame->data.size();
        m_uses.erase(uses);
    }
    m_queued_bytes -= charge;
    m_queue.pop_front();
    QueuedMemory::Release(kQueueEntryCost);
}

void OrvantaConnection::EnforceTotalBound()
{
    std::vector<Ptr> holders;
    g_connection_list.ForEachAlive([&](const Ptr& connection) {
        if (!connection->m_closed && connection->m_queued_bytes != 0)
            holders.push_back(connection);
    });
    std::sort(holders.begin(), holders.end(),
              [](const Ptr& a, const Ptr& b) { return a->m_queued_bytes > b->m_queued_bytes; });
    // What closing gives back is estimated from what each holds; a state
    // shared with others stays, and the next frame queued looks again.
    size_t total = QueuedMemory::Live();
    for (const Ptr& connection : holders) {
        if (total <= kMaxQueuedBytesTotal)
            break;
        log_message(kLogError, "Orvanta client %s closed: %zu bytes waiting, %zu for all clients\n",
                    connection->m_peer.c_str(), connection->m_queued_bytes, total);
        total -= std::min(total, connection->m_queued_bytes);
        connection->Close();
    }
}

void OrvantaConnection::StartWrite(const Ptr& self)
{
    // Whatever is queued leaves in one write, in queue order: a burst of
    // updates costs one system call instead of one each.
    const size_t count = std::min(self->m_queue.size(), kMaxFramesPerWrite);
    auto sent = std::make_shared<Batch>(self->m_queue.begin(),
                                        self->m_queue.begin() + static_cast<std::ptrdiff_t>(count));
    self->m_in_flight_bytes = 0;
    for (const ToSendPtr& frame : *sent)
        self->m_in_flight_bytes += frame->data.size();
    std::vector<boost::asio::const_buffer> buffers;
    buffers.reserve(count);
    for (const ToSendPtr& frame : *sent)
        buffers.push_back(boost::asio::buffer(frame->data));
    boost::asio::async_write(self->m_socket, buffers,
                             [self, sent](const error_code& error, size_t n) { OnWrite(self, sent, error, n); });
}

void OrvantaConnection::OnWrite(const Ptr& self, const std::shared_ptr<Batch>& sent, const error_code& error,
                                size_t /*n*/)
{
    // The frames of this write are given back once this handler is done.
    const size_t in_flight = self->m_in_flight_bytes;
    self->m_in_flight_bytes = 0;
    // Closed meanwhile: the queue is gone and the failure is our own doing.
    if (self->m_closed) {
        QueuedMemory::ReleaseClosing(in_flight);
        return;
    }
    if (error) {
        log_message(kLogError, "Error while sending data to Orvanta: %s\n", error.message().c_str());
        self->Close();
        return;
    }
    for (const ToSendPtr& frame : *sent) {
        BRIDGE_ASSERT(!self->m_queue.empty() && self->m_queue.front() == frame);
        self->PopFront();
    }
    if (!self->m_queue.empty()) {
        StartWrite(self);
    } else if (self->m_closing) {
        // The error frame is out; the peer sees the end of the stream and
        // closes, which ends the pending read.
        error_code ignored;
        self->m_socket.shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
    }
}

void OrvantaConnection::CloseAfterSending(const Ptr& self)
{
    self->m_closing = true;
    if (self->m_queue.empty()) {
        self->Close();
        return;
    }
    self->m_close_timer.expires_after(std::chrono::milliseconds(kCloseDelayMs));
    self->m_close_timer.async_wait([self](const error_code& error) {
        if (!error)
            self->Close();
    });
    StartRead(self);
}

void OrvantaConnection::Close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_closing = false;
    m_close_timer.cancel();
    DisarmDeadline();
    SetOpen(false);
    // An in-flight write keeps its own frames alive through its handler;
    // until it ends they are counted as closing.
    QueuedMemory::AddClosing(m_in_flight_bytes);
    QueuedMemory::Release(m_queue.size() * kQueueEntryCost);
    m_queue.clear();
    m_uses.clear();
    m_queued_bytes = 0;
    error_code error;
    m_socket.close(error);
    if (error)
        log_message(kLogError, "Error while closing Orvanta connection: %s\n", error.message().c_str());
}

void OrvantaConnection::SendFullState(const Ptr& self)
{
    // The records go straight behind the header, so the frame is built once,
    // with room for a state the size of the last one.
    ToSendPtr to_send = g_last_state.lock();
    std::vector<uint8_t> frame;
    frame.reserve(to_send ? to_send->data.size() + kLastStateSlack : 0);
    frame.resize(kLinkHeaderSize);
    {
        // Serialised under the lock: the worker changes the children maps and
        // levels that the records are read from.
        std::lock_guard<std::mutex> lock(g_model_mutex);
        // Updates handed over from here on may carry changes this state
        // lacks; those handed over before are in it.
        if (!self->state_sent.exchange(true))
            self->m_updates_from = g_update_fan_out.Mark();
        SerializeElements(g_group_map, LEVEL_GROUP, frame);
    }
    write_link_header(frame.data(), LINK_STATE, static_cast<uint32_t>(frame.size() - kLinkHeaderSize));
    if (!to_send || to_send->data != frame) {
        // A state that grew keeps no spare room while it waits to be sent.
        if (frame.capacity() - frame.size() > frame.size() / 8)
            frame.shrink_to_fit();
        to_send = std::make_shared<ToSend>(std::move(frame));
        g_last_state = to_send;
    }
    Enqueue(self, std::move(to_send), true);
}

void OrvantaConnection::SerializeElements(const ElementMap& map, uint8_t level, std::vector<uint8_t>& out)
{
    for (const auto& entry : map) {
        append_element_record(entry.second, level, out);
        SerializeElements(entry.second->children, static_cast<uint8_t>(level + 1), out);
    }
}

void OrvantaConnection::PostElementUpdate(uint8_t level, const KorvelElementPtr& element)
{
    g_update_fan_out.Push(level, element);
}

void OrvantaConnection::DeliverUpdates(const std::vector<ToSendPtr>& blocks, uint64_t first)
{
    // Queued outside the list mutex: a queue past its bound looks through the
    // list for the connections to close.
    g_connection_list.ForEachAlive([](const Ptr& connection) {
        if (connection->state_sent)
            g_update_receivers.push_back(connection);
    });
    for (const Ptr& connection : g_update_receivers) {
        const uint64_t skipped = connection->m_updates_from > first ? connection->m_updates_from - first : 0;
        for (size_t i = static_cast<size_t>(std::min<uint64_t>(skipped, blocks.size())); i < blocks.size(); ++i)
            SendBuffer(connection, blocks[i]);
    }
    g_update_receivers.clear();
}

void OrvantaConnection::SendBuffer(const Ptr& self, const ToSendPtr& block)
{
    Enqueue(self, block);
}

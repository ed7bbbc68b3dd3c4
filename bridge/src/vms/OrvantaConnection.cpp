#include "vms/OrvantaConnection.h"

#include "model/ElementModel.h"
#include "model/ElementRecord.h"
#include "support/BridgeAssert.h"
#include "support/BridgeLog.h"
#include "support/ConnectionSettings.h"
#include "vms/LinkProtocol.h"

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

using boost::system::error_code;

OrvantaConnection::OrvantaConnection(boost::asio::io_context& io_service)
    : m_socket(io_service), m_receive_chunk(kReceiveChunkSize), m_close_timer(io_service)
{
}

OrvantaConnection::~OrvantaConnection()
{
    error_code error;
    m_socket.close(error);
    if (error)
        log_message(kLogError, "Error while closing Orvanta connection: %s\n", error.message().c_str());
    log_message(kLogError, "Orvanta connection destroyed\n");
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
    if (!ProcessInput(self->m_receive_chunk.data(), n, self)) {
        CloseAfterSending(self);
        return;
    }
    // A reply may have found the send queue over its limit.
    if (!self->m_closed)
        StartRead(self);
}

bool OrvantaConnection::ProcessInput(const uint8_t* data, size_t n, const Ptr& self)
{
    std::vector<uint8_t>& input = self->m_input;
    input.insert(input.end(), data, data + n);

    // Frames are consumed by moving `start`; the buffer is cut once at the end.
    size_t start = 0;
    while (!self->m_closed && input.size() - start >= kLinkHeaderSize) {
        LinkHeader header;
        const uint32_t limit = self->authorised ? kMaxPayloadAfterLogin : kMaxPayloadBeforeLogin;
        if (!read_link_header(input.data() + start, header) || header.length > limit) {
            SendString(self, LINK_ERROR, kLinkErrorWrongFormat);
            input.clear();
            return false;
        }
        if (input.size() - start - kLinkHeaderSize < header.length)
            break;
        const uint8_t* payload = input.data() + start + kLinkHeaderSize;
        if (!self->authorised) {
            if (header.command != LINK_LOGIN || !CheckLogin(self, payload, header.length)) {
                SendString(self, LINK_ERROR, kLinkErrorUnauthorized);
                input.clear();
                return false;
            }
        } else if (header.command == LINK_GET_STATE) {
            SendFullState(self);
        } else if (header.command != LINK_LOGIN) {
            log_message(kLogInfo, "unknown cmd 0x%02x received\n", header.command);
        }
        start += kLinkHeaderSize + header.length;
    }
    input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(start));
    return true;
}

bool OrvantaConnection::CheckLogin(const Ptr& self, const uint8_t* payload, uint32_t length)
{
    const std::string expected = link_login_text(login, password);
    if (length != expected.size() || std::memcmp(payload, expected.data(), length) != 0)
        return false;
    SendString(self, LINK_LOGIN_OK, kLinkLoginOk);
    self->authorised = true;
    return true;
}

void OrvantaConnection::SendPacket(const Ptr& self, uint8_t command, const void* data, uint32_t length)
{
    auto to_send = std::make_shared<ToSend>();
    const size_t size = length;
    to_send->data.resize(kLinkHeaderSize + size);
    write_link_header(to_send->data.data(), command, length);
    size_t it = kLinkHeaderSize;
    if (size != 0)
        std::memcpy(to_send->data.data() + it, data, size);
    BRIDGE_ASSERT(it + size == to_send->data.size());
    Enqueue(self, std::move(to_send));
}

void OrvantaConnection::SendString(const Ptr& self, uint8_t command, const std::string& text)
{
    SendPacket(self, command, text.data(), static_cast<uint32_t>(text.size()));
}

void OrvantaConnection::SendBuffer(const Ptr& self, uint8_t command, const Buffer& data)
{
    SendPacket(self, command, data->data(), static_cast<uint32_t>(data->size()));
}

void OrvantaConnection::Enqueue(const Ptr& self, ToSendPtr to_send)
{
    if (self->m_closed || self->m_closing)
        return;
    const size_t size = to_send->data.size();
    // A frame on an empty queue always goes, so even a state larger than the
    // limit reaches a client that reads.
    if (!self->m_queue.empty() && self->m_queued_bytes + size > kMaxQueuedBytes) {
        log_message(kLogError, "Orvanta client does not read, connection closed (%zu bytes waiting)\n",
                    self->m_queued_bytes + size);
        self->Close();
        return;
    }
    self->m_queue.push_back(std::move(to_send));
    self->m_queued_bytes += size;
    // One write in flight: overlapping writes on one socket would interleave
    // the bytes of their frames. The first frame of an idle connection waits
    // for the handlers already posted, so the updates of a burst, one handler
    // each, leave together in one write.
    if (self->m_queue.size() == 1)
        boost::asio::post(self->m_socket.get_executor(), [self]() {
            if (!self->m_closed && !self->m_queue.empty())
                StartWrite(self);
        });
}

void OrvantaConnection::StartWrite(const Ptr& self)
{
    // Whatever is queued leaves in one write, in queue order: a burst of
    // updates costs one system call instead of one each.
    const size_t count = std::min(self->m_queue.size(), kMaxFramesPerWrite);
    auto sent = std::make_shared<Batch>(self->m_queue.begin(),
                                        self->m_queue.begin() + static_cast<std::ptrdiff_t>(count));
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
    // Closed meanwhile: the queue is gone and the failure is our own doing.
    if (self->m_closed)
        return;
    if (error) {
        log_message(kLogError, "Error while sending data to Orvanta: %s\n", error.message().c_str());
        self->Close();
        return;
    }
    for (const ToSendPtr& frame : *sent) {
        BRIDGE_ASSERT(!self->m_queue.empty() && self->m_queue.front() == frame);
        self->m_queued_bytes -= frame->data.size();
        self->m_queue.pop_front();
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
    // An in-flight write keeps its own frame alive through its handler.
    m_queue.clear();
    m_queued_bytes = 0;
    error_code error;
    m_socket.close(error);
    if (error)
        log_message(kLogError, "Error while closing Orvanta connection: %s\n", error.message().c_str());
}

void OrvantaConnection::SendFullState(const Ptr& self)
{
    auto out = std::make_shared<std::vector<uint8_t>>();
    {
        // Serialised under the lock: the worker changes the children maps and
        // levels that the records are read from.
        std::lock_guard<std::mutex> lock(g_model_mutex);
        self->state_sent.exchange(true);
        SerializeElements(g_group_map, LEVEL_GROUP, *out);
    }
    SendBuffer(self, LINK_STATE, out);
}

void OrvantaConnection::SerializeElements(const ElementMap& map, uint8_t level, std::vector<uint8_t>& out)
{
    for (const auto& entry : map) {
        append_element_record(entry.second, level, out);
        SerializeElements(entry.second->children, static_cast<uint8_t>(level + 1), out);
    }
}

void OrvantaConnection::PostElementUpdate(const Ptr& self, uint8_t level, const KorvelElementPtr& element)
{
    auto record = std::make_shared<std::vector<uint8_t>>();
    append_element_record(element, level, *record);
    boost::asio::post(self->m_socket.get_executor(),
                      [self, record = Buffer(std::move(record))]() { SendBuffer(self, LINK_UPDATE, record); });
}

#include "StationSimulator.h"

#include "base/CByteStream.h"
#include "wire/CLanPacket.h"
#include "wire/CLanPacketHelper.h"
#include "wire/KvtpFrame.h"
#include "wire/PayloadScrambler.h"
#include "wire/StationMessageType.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

namespace stationsim {
namespace {

// Clients keep at most this much of a frame; we hold their frames to the same.
constexpr size_t kReceiveBufferSize = 65536;

int32_t read_word(const uint8_t* p)
{
    int32_t value;
    std::memcpy(&value, p, sizeof value);  // the wire and the host are both little-endian
    return value;
}

std::vector<uint8_t> stream_bytes(const CByteStream& stream)
{
    const uint8_t* data = stream.GetData();
    return data ? std::vector<uint8_t>(data, data + stream.GetLength()) : std::vector<uint8_t>();
}

// Answer data: the leading word, the error flag, then the scrambled body or the
// refusal's text in clear.
std::vector<uint8_t> answer_data(const StationReply& reply)
{
    CByteStream out;
    out.WriteInt32(reply.firstWord);
    out.WriteInt32(reply.refused ? 1 : 0);
    if (reply.refused) {
        out.WriteStdString(reply.refusalText);
    } else {
        std::vector<uint8_t> body = reply.body;
        ScramblePayload(body.data(), static_cast<int32_t>(body.size()), kStationKeyWord);
        out.WriteBytes(body.data(), static_cast<int32_t>(body.size()));
    }
    return stream_bytes(out);
}

// A notification's data: its code and records, scrambled together.
std::vector<uint8_t> notification_data(int32_t code, const std::vector<uint8_t>& records)
{
    CByteStream out;
    out.WriteInt32(code);
    out.WriteBytes(records.data(), static_cast<int32_t>(records.size()));
    std::vector<uint8_t> data = stream_bytes(out);
    ScramblePayload(data.data(), static_cast<int32_t>(data.size()), kStationKeyWord);
    return data;
}

template <class Predicate>
bool wait_until(std::mutex& mutex, std::condition_variable& changed, uint32_t timeoutMs, Predicate predicate)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), predicate);
}

} // namespace

StationReply StationReply::Success(std::vector<uint8_t> body)
{
    StationReply reply;
    reply.body = std::move(body);
    return reply;
}

StationReply StationReply::Refusal(std::string text)
{
    StationReply reply;
    reply.refused = true;
    reply.refusalText = std::move(text);
    return reply;
}

// One accepted client. Its thread reads and answers; other threads may send
// to it, so a message's frames go out under the send lock, which also keeps
// the socket from being closed under a sender.
struct StationSimulator::Connection
{
    int id = 0;
    platform::SocketHandle socket = platform::kInvalidSocket;
    std::mutex sendMutex;
    std::atomic<bool> open{true};
    std::atomic<bool> finished{false};
    CLanPacket assembly;
    std::thread thread;
};

StationSimulator::StationSimulator() = default;

StationSimulator::~StationSimulator()
{
    Stop();
}

bool StationSimulator::Start(uint16_t port)
{
    if (m_acceptThread.joinable())
        return false;
    m_stopEvent = platform::create_event(true, false);
    if (m_stopEvent == platform::kInvalidWaitHandle)
        return false;
    m_listener = platform::listen_tcp({platform::kLoopbackAddress, port}, 16, m_port);
    if (m_listener == platform::kInvalidSocket) {
        platform::close_event(m_stopEvent);
        m_stopEvent = platform::kInvalidWaitHandle;
        return false;
    }
    m_acceptThread = std::thread(&StationSimulator::AcceptLoop, this);
    return true;
}

void StationSimulator::Stop()
{
    if (!m_acceptThread.joinable())
        return;
    platform::set_event(m_stopEvent);
    m_acceptThread.join();
    platform::close_socket(m_listener);
    m_listener = platform::kInvalidSocket;
    platform::close_event(m_stopEvent);
    m_stopEvent = platform::kInvalidWaitHandle;

    CloseConnections();
    std::vector<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        connections.swap(m_connections);
    }
    for (auto& connection : connections)
        if (connection->thread.joinable())
            connection->thread.join();
    m_changed.notify_all();
}

// ---- Scripting -----------------------------------------------------------------

void StationSimulator::SetHandler(int32_t code, RequestHandler handler)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handlers[code] = std::move(handler);
}

void StationSimulator::SetFault(int32_t code, RequestFault fault, std::string refusalText)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (fault == RequestFault::None)
        m_faults.erase(code);
    else
        m_faults[code] = FaultSetting{fault, std::move(refusalText)};
}

void StationSimulator::ClearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
}

bool StationSimulator::SetFrameSize(int32_t size)
{
    if (size <= KvtpFrame::kHeaderSize || size > static_cast<int32_t>(kReceiveBufferSize))
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frameSize = size;
    return true;
}

void StationSimulator::SetMuted(bool muted)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_muted = muted;
}

void StationSimulator::SetAnswerPings(bool answer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answerPings = answer;
}

void StationSimulator::SetNoDelay(bool noDelay)
{
    m_noDelay = noDelay;
}

// ---- Observation ---------------------------------------------------------------

std::vector<StationRequest> StationSimulator::GetRequests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::vector<StationRequest> StationSimulator::GetRequests(size_t first) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (first >= m_requests.size())
        return {};
    return std::vector<StationRequest>(m_requests.begin() + static_cast<std::ptrdiff_t>(first), m_requests.end());
}

bool StationSimulator::WaitForRequests(size_t count, uint32_t timeoutMs) const
{
    return wait_until(m_mutex, m_changed, timeoutMs, [&] { return m_requests.size() >= count; });
}

size_t StationSimulator::GetPingCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pings;
}

bool StationSimulator::WaitForPings(size_t count, uint32_t timeoutMs) const
{
    return wait_until(m_mutex, m_changed, timeoutMs, [&] { return m_pings >= count; });
}

size_t StationSimulator::GetOpenConnections() const
{
    return OpenConnections().size();
}

size_t StationSimulator::GetAcceptedConnections() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<size_t>(m_accepted);
}

bool StationSimulator::WaitForOpenConnections(size_t count, uint32_t timeoutMs) const
{
    return wait_until(m_mutex, m_changed, timeoutMs, [&] {
        return static_cast<size_t>(std::count_if(m_connections.begin(), m_connections.end(),
                                                 [](const auto& c) { return c->open.load(); }))
            == count;
    });
}

std::vector<std::shared_ptr<StationSimulator::Connection>> StationSimulator::OpenConnections() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::shared_ptr<Connection>> open;
    for (const auto& connection : m_connections)
        if (connection->open)
            open.push_back(connection);
    return open;
}

// ---- Sending -------------------------------------------------------------------

std::vector<uint8_t> StationSimulator::Frames(int32_t type, const std::vector<uint8_t>& data) const
{
    CLanPacket packet;
    if (!packet.Create(type, 0, data.data(), static_cast<int32_t>(data.size())))
        return {};
    int32_t frameSize;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        frameSize = m_frameSize;
    }
    CLanPacketHelper helper;
    std::vector<uint8_t> frames;
    std::vector<uint8_t> frame(static_cast<size_t>(frameSize));
    const int32_t count = helper.GetFrameCount(packet, frameSize);
    for (int32_t index = 0; index < count; ++index) {
        int32_t size = 0;
        if (helper.BuildFrame(packet, index, frame.data(), frameSize, size) == 0)
            return {};
        frames.insert(frames.end(), frame.begin(), frame.begin() + size);
    }
    return frames;
}

bool StationSimulator::SendMessage(Connection& connection, int32_t type, const std::vector<uint8_t>& data)
{
    const std::vector<uint8_t> frames = Frames(type, data);
    std::lock_guard<std::mutex> sendLock(connection.sendMutex);
    return connection.open && !frames.empty() && platform::send_all(connection.socket, frames.data(), frames.size());
}

int StationSimulator::SendToAll(int32_t type, const std::vector<uint8_t>& data)
{
    int reached = 0;
    for (const auto& connection : OpenConnections())
        if (SendMessage(*connection, type, data))
            ++reached;
    return reached;
}

int StationSimulator::SendNotification(int32_t code, const std::vector<uint8_t>& records)
{
    return SendToAll(kMessageRequest, notification_data(code, records));
}

std::vector<uint8_t> StationSimulator::NotificationFrames(int32_t code, const std::vector<uint8_t>& records) const
{
    return Frames(kMessageRequest, notification_data(code, records));
}

int StationSimulator::SendPing()
{
    return SendToAll(kMessagePing, {});
}

int StationSimulator::SendAnswer(const StationReply& reply)
{
    return SendToAll(kMessageAnswer, answer_data(reply));
}

int StationSimulator::SendRawBytes(const std::vector<uint8_t>& bytes)
{
    int reached = 0;
    for (const auto& connection : OpenConnections()) {
        std::lock_guard<std::mutex> sendLock(connection->sendMutex);
        if (connection->open && platform::send_all(connection->socket, bytes.data(), bytes.size()))
            ++reached;
    }
    return reached;
}

void StationSimulator::CloseConnections()
{
    // The connection's own thread closes the socket once its receive returns.
    for (const auto& connection : OpenConnections()) {
        std::lock_guard<std::mutex> sendLock(connection->sendMutex);
        if (connection->open)
            platform::shutdown_socket(connection->socket);
    }
}

// ---- Serving -------------------------------------------------------------------

void StationSimulator::AcceptLoop()
{
    const platform::WaitHandle handles[2] = {m_stopEvent, m_listener};
    for (;;) {
        if (platform::wait_for_multiple(handles, 2, platform::kInfinite) != platform::kWaitObject0 + 1)
            break;
        const platform::SocketHandle socket = platform::accept_connection(m_listener);
        if (socket == platform::kInvalidSocket) {
            // Out of descriptors or similar: give the system a moment.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (m_noDelay) {
            const int noDelay = 1;
            ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        }
        ReapFinished();
        auto connection = std::make_shared<Connection>();
        connection->socket = socket;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            connection->id = ++m_accepted;
            m_connections.push_back(connection);
        }
        connection->thread = std::thread(&StationSimulator::Serve, this, connection);
        m_changed.notify_all();
    }
}

void StationSimulator::ReapFinished()
{
    std::vector<std::shared_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto ended = std::stable_partition(m_connections.begin(), m_connections.end(),
                                           [](const auto& c) { return !c->finished.load(); });
        finished.assign(ended, m_connections.end());
        m_connections.erase(ended, m_connections.end());
    }
    for (auto& connection : finished)
        connection->thread.join();
}

void StationSimulator::Serve(const std::shared_ptr<Connection>& connection)
{
    std::vector<uint8_t> buffer(kReceiveBufferSize);
    size_t fill = 0;
    for (;;) {
        const long received = platform::receive_some(connection->socket, buffer.data() + fill, buffer.size() - fill);
        if (received <= 0)
            break;
        fill += static_cast<size_t>(received);
        if (!TakeInFrames(*connection, buffer, fill))
            break;
    }
    {
        std::lock_guard<std::mutex> sendLock(connection->sendMutex);
        platform::close_socket(connection->socket);
        connection->open = false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        connection->finished = true;
    }
    m_changed.notify_all();
}

bool StationSimulator::TakeInFrames(Connection& connection, std::vector<uint8_t>& buffer, size_t& fill)
{
    CLanPacketHelper helper;
    CLanPacket frame;
    size_t offset = 0;
    bool keepOpen = true;
    while (keepOpen) {
        const uint8_t* at = buffer.data() + offset;
        const int32_t available = static_cast<int32_t>(fill - offset);
        const int32_t size = helper.ParseFrame(at, available, &frame);
        if (size < 0)
            return false;
        if (size == 0) {
            // A frame that cannot fit the buffer would never complete.
            if (available >= KvtpFrame::kHeaderSize
                && read_word(at + KvtpFrame::kFrameLengthOffset)
                    > static_cast<int32_t>(kReceiveBufferSize) - KvtpFrame::kHeaderSize)
                return false;
            break;
        }
        offset += static_cast<size_t>(size);

        if (frame.GetType() == kMessagePing) {
            bool answer;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_pings;
                answer = m_answerPings && !m_muted;
            }
            m_changed.notify_all();
            if (answer)
                SendMessage(connection, kMessagePing, {});
            continue;
        }
        CLanPacket& assembly = connection.assembly;
        if (!assembly.AppendFragment(frame)) {
            assembly.Free();
            assembly.AppendFragment(frame);
        }
        if (assembly.IsComplete()) {
            keepOpen = HandleMessage(connection, assembly.GetType(), assembly.GetData(), assembly.GetDataLength());
            assembly.Free();
        }
    }
    std::memmove(buffer.data(), buffer.data() + offset, fill - offset);
    fill -= offset;
    return keepOpen;
}

bool StationSimulator::HandleMessage(Connection& connection, int32_t type, const uint8_t* data, int32_t length)
{
    // Clients send only pings and requests; anything else is ignored.
    if (type != kMessageRequest)
        return true;
    return HandleRequest(connection, data, length);
}

bool StationSimulator::HandleRequest(Connection& connection, const uint8_t* data, int32_t length)
{
    if (data == nullptr || length < 4)
        return SendMessage(connection, kMessageAnswer, answer_data(StationReply::Refusal("Malformed request")));

    StationRequest request;
    request.code = read_word(data);
    request.body.assign(data + 4, data + length);
    request.connection = connection.id;
    DescramblePayload(request.body.data(), static_cast<int32_t>(request.body.size()), kStationKeyWord);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request);
    }
    m_changed.notify_all();

    RequestFault fault = RequestFault::None;
    const StationReply reply = ReplyTo(request, fault);
    if (fault == RequestFault::CloseConnection)
        return false;
    if (fault == RequestFault::DropAnswer)
        return true;
    SendMessage(connection, kMessageAnswer, answer_data(reply));
    return true;
}

StationReply StationSimulator::ReplyTo(const StationRequest& request, RequestFault& fault)
{
    RequestHandler handler;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_muted) {
            fault = RequestFault::DropAnswer;
            return {};
        }
        auto faultSetting = m_faults.find(request.code);
        if (faultSetting != m_faults.end()) {
            fault = faultSetting->second.fault;
            if (fault == RequestFault::Refuse)
                return StationReply::Refusal(faultSetting->second.refusalText);
            if (fault != RequestFault::None)
                return {};
        }
        auto found = m_handlers.find(request.code);
        if (found != m_handlers.end())
            handler = found->second;
    }
    // Handlers run unlocked: a test's handler may wait for the test.
    if (!handler)
        return StationReply::Refusal("Unsupported request " + std::to_string(request.code));
    return handler(request);
}

} // namespace stationsim

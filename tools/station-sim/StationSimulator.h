#pragma once

#include "platform/Event.h"
#include "platform/Socket.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace stationsim {

// One request as the station took it in: its code and its unscrambled body.
struct StationRequest
{
    int32_t code = 0;
    std::vector<uint8_t> body;
    int connection = 0;  // 1 for the first connection accepted, and so on
};

// The answer to one request. A success carries a body in clear (the simulator
// scrambles it); a refusal carries a text, which travels in clear.
struct StationReply
{
    bool refused = false;
    std::string refusalText;
    std::vector<uint8_t> body;
    int32_t firstWord = 0;  // the answer's leading word, which clients do not examine

    static StationReply Success(std::vector<uint8_t> body = {});
    static StationReply Refusal(std::string text);
};

using RequestHandler = std::function<StationReply(const StationRequest&)>;

// What the simulator does to a request instead of answering it normally.
enum class RequestFault
{
    None,
    Refuse,           // answer with a refusal carrying the fault's text
    DropAnswer,       // take the request in and answer nothing
    CloseConnection,  // close the connection without answering
};

// A station server on loopback: accepts connections, reassembles the clients'
// frames, answers every ping frame with one, and answers each request with
// exactly one answer message from the handler of its code. Notifications,
// unasked pings and stray answers can be sent to every connection at any time.
// Several connections are served at once, each on its own thread.
class StationSimulator
{
public:
    static constexpr int32_t kDefaultFrameSize = 8192;

    StationSimulator();
    ~StationSimulator();
    StationSimulator(const StationSimulator&) = delete;
    StationSimulator& operator=(const StationSimulator&) = delete;

    // Listens on 127.0.0.1 (port 0: a free one). False when that fails.
    bool Start(uint16_t port = 0);
    // Closes the listener and every connection, and waits for their threads.
    void Stop();
    uint16_t GetPort() const { return m_port; }

    // Scripting. A code without handler is refused with a text naming it.
    void SetHandler(int32_t code, RequestHandler handler);
    // Fault switches, per request code, until cleared.
    void SetFault(int32_t code, RequestFault fault, std::string refusalText = {});
    void ClearFaults();
    // Largest frame the simulator sends, header included (28 < size <= 65536).
    // An answer whose data fills its frames exactly ends with a header-only frame.
    bool SetFrameSize(int32_t size);
    void SetAnswerPings(bool answer);
    // Connections accepted from now on send each frame at once (TCP_NODELAY),
    // so an answer in many small frames never waits for an acknowledgement.
    // Off by default: a station's frames go out as its system sends them.
    void SetNoDelay(bool noDelay);
    // A muted station takes every request and ping in and answers none, as a
    // hung server does; its connections stay open.
    void SetMuted(bool muted);

    // Sending to every open connection; each returns how many it reached.
    // `records` follow the notification code; both are scrambled together.
    int SendNotification(int32_t code, const std::vector<uint8_t>& records);
    int SendPing();
    // An answer no request waits for.
    int SendAnswer(const StationReply& reply);
    // Bytes as they are, framed or not.
    int SendRawBytes(const std::vector<uint8_t>& bytes);
    // The bytes SendNotification puts on the wire, every frame of the message,
    // for a peer that is to receive only part of them.
    std::vector<uint8_t> NotificationFrames(int32_t code, const std::vector<uint8_t>& records) const;
    // Closes every open connection.
    void CloseConnections();

    // What the simulator has seen.
    std::vector<StationRequest> GetRequests() const;
    // The requests taken in from the first-th on (0 for the first).
    std::vector<StationRequest> GetRequests(size_t first) const;
    bool WaitForRequests(size_t count, uint32_t timeoutMs) const;
    size_t GetPingCount() const;
    bool WaitForPings(size_t count, uint32_t timeoutMs) const;
    size_t GetOpenConnections() const;
    size_t GetAcceptedConnections() const;
    // Until exactly `count` connections are open.
    bool WaitForOpenConnections(size_t count, uint32_t timeoutMs) const;

private:
    struct Connection;

    void AcceptLoop();
    void Serve(const std::shared_ptr<Connection>& connection);
    bool TakeInFrames(Connection& connection, std::vector<uint8_t>& buffer, size_t& fill);
    // False when the connection is to be closed.
    bool HandleMessage(Connection& connection, int32_t type, const uint8_t* data, int32_t length);
    bool HandleRequest(Connection& connection, const uint8_t* data, int32_t length);
    StationReply ReplyTo(const StationRequest& request, RequestFault& fault);

    // Every frame of one message, empty when it cannot be framed.
    std::vector<uint8_t> Frames(int32_t type, const std::vector<uint8_t>& data) const;
    bool SendMessage(Connection& connection, int32_t type, const std::vector<uint8_t>& data);
    int SendToAll(int32_t type, const std::vector<uint8_t>& data);
    std::vector<std::shared_ptr<Connection>> OpenConnections() const;
    void ReapFinished();

    struct FaultSetting
    {
        RequestFault fault = RequestFault::None;
        std::string refusalText;
    };

    platform::SocketHandle m_listener = platform::kInvalidSocket;
    platform::WaitHandle m_stopEvent = platform::kInvalidWaitHandle;
    uint16_t m_port = 0;
    std::thread m_acceptThread;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::shared_ptr<Connection>> m_connections;
    int m_accepted = 0;
    std::map<int32_t, RequestHandler> m_handlers;
    std::map<int32_t, FaultSetting> m_faults;
    int32_t m_frameSize = kDefaultFrameSize;
    bool m_answerPings = true;
    std::atomic<bool> m_noDelay{false};
    bool m_muted = false;
    std::vector<StationRequest> m_requests;
    size_t m_pings = 0;
};

} // namespace stationsim

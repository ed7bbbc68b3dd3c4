#pragma once

#include "base/CByteStream.h"
#include "connection/LanClientError.h"
#include "threads/CCritSect.h"
#include "threads/CManualResetEventSock.h"
#include "threads/CThreadSock.h"
#include "wire/CLanPacket.h"
#include "wire/CLanPacketHelper.h"

#include "platform/Socket.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CMS_HelperServer;

// TCP client of the station protocol. A receive thread ("LanClient") reads
// frames, reassembles messages, hands an answer to the one waiting request and
// every other message to OnMessage. Requests are serialised by the connection
// lock, which is held for the whole wait of a request.
class CLanClient : public CThreadSock
{
public:
    static constexpr int32_t kReceiveBufferSize = 65536;
    // Exit code the receive thread is stopped with.
    static constexpr uint32_t kStopExitCode = 100;
    // OnMessage's result for a message its receiver can take no more of: the
    // link ends, as after data that makes no frame.
    static constexpr int32_t kBreakLink = -1;

    CLanClient();
    ~CLanClient() override;

    void SetHost(const std::string& host);
    // Only the low 16 bits are kept.
    void SetPort(int port);
    // Framing for this connection, and the owner handed to OnMessage. Called
    // before the first Connect.
    void SetPacketHelper(CMS_HelperServer* owner, int32_t maximumFrameSize);

    // Disconnects, then connects within timeoutSeconds and starts the receive
    // thread. Throws CWin32Exception when the thread cannot be made.
    bool Connect(int timeoutSeconds);
    // True when a socket was closed.
    bool Disconnect();
    bool IsConnected() const;
    // For an owner that is going away: shuts the socket down both ways without
    // taking the connection lock, so a request or ping that holds it wakes at
    // once, and ends a connect under way. Closing stays with Disconnect. From
    // then on no connect gets through.
    void ShutdownSocket();
    // The same for a host closing the connection while another thread holds it:
    // the link and a connect under way are shut down at once, and no connect
    // gets through until the matching EndInterrupt, so the holder fails soon and
    // the connection lock comes free for the close.
    void BeginInterrupt();
    void EndInterrupt();

    // Sends one request and waits for its answer. 1 on success, with the answer's
    // body (still scrambled) in `answer` when given; 0 with the last error set.
    int32_t Request(int32_t code, CByteStream* body, CByteStream* answer, uint32_t timeoutMs);
    // True when some ping frame arrives within timeoutMs of sending ours; false
    // at once when the receive thread ends meanwhile.
    bool Ping(uint32_t timeoutMs);

    int32_t GetLastError();
    int32_t GetLastErrorDetail();
    // The text of the last error in Windows-1251.
    std::string GetLastErrorText();

protected:
    // The receive thread.
    uint32_t Run() override;
    // A complete message other than an answer, on the receive thread.
    virtual int32_t OnMessage(CLanPacket& message, CMS_HelperServer* owner, CByteStream& data);
    // Takes in bytes as the receive thread takes in what it receives: through the
    // receive buffer, frame by frame, into OnMessage or the waiting request. False
    // when they can never make a frame, which would end the link.
    bool TakeInBytes(const uint8_t* data, int32_t size);

private:
    bool ResolveAddress(platform::Ipv4Endpoint& endpoint);
    bool ConnectWithTimeout(platform::SocketHandle socket, const platform::Ipv4Endpoint& endpoint,
                            int timeoutSeconds);
    // Makes the socket being connected reachable for ShutdownSocket; false once
    // that has been called.
    bool BeginConnecting(platform::SocketHandle socket);
    // Under the socket lock: no new link is taken while set.
    bool RefusingLinks() const { return m_shutDown || m_interrupts > 0; }
    // Under the socket lock: shuts the link and a connect under way down.
    void ShutDownLinks();
    // Ends the attempt: a connected socket becomes the connection's, unless
    // ShutdownSocket came meanwhile; false when it does not.
    bool EndConnecting(platform::SocketHandle socket, bool connected);
    bool SendRaw(const uint8_t* data, int32_t size);
    bool SendPacket(const CLanPacket& packet);
    bool SendAndWait(const CLanPacket& request, CLanPacket& answer, uint32_t timeoutMs);

    // Receive side.
    bool TakeInFrames();
    // False when the frame breaks the link.
    bool HandleFrame(const CLanPacket& frame);
    void DeliverAnswer();
    // True when a request was waiting; it wakes and fails.
    bool FailAnswer();
    void EndReceiving();
    bool IsReceiving() const;

    void SetError(int32_t error, int32_t detail = 0);
    void ClearAnswerTarget();

    int32_t m_lastError = kLanErrorNone;
    int32_t m_lastErrorDetail = 0;
    std::string m_lastErrorText;

    std::array<uint8_t, kReceiveBufferSize> m_receiveBuffer{};
    int32_t m_fill = 0;
    uint16_t m_port = 0;
    std::string m_host;
    CLanPacket m_assembly;
    std::atomic<platform::SocketHandle> m_socket{platform::kInvalidSocket};
    CMS_HelperServer* m_owner = nullptr;

    CManualResetEventSock m_answerEvent;
    CManualResetEventSock m_pingEvent;
    CCritSect m_answerLock;
    CCritSect m_connectionLock;
    // Guards only the descriptors between ShutdownSocket and their close, so a
    // shutdown never reaches a descriptor number the system has handed out again.
    CCritSect m_socketLock;
    // The socket of a connect under way, under the socket lock.
    platform::SocketHandle m_connectingSocket = platform::kInvalidSocket;
    // Set for good by ShutdownSocket, under the socket lock.
    bool m_shutDown = false;
    // Interruptions under way, under the socket lock.
    int m_interrupts = 0;

    CLanPacket* m_answerTarget = nullptr;
    // Under the answer lock: the answer to the waiting request came broken.
    bool m_answerBroken = false;
    // Set (under the answer lock) when the receive thread has left its loop.
    std::atomic<bool> m_receiveEnded{true};

    std::unique_ptr<CLanPacketHelper> m_packetHelper;
    int32_t m_maximumFrameSize = 0;
};

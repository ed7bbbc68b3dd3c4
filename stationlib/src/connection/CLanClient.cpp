#include "connection/CLanClient.h"

#include "base/StringHelpers.h"
#include "threads/CCritSectLock.h"
#include "wire/KvtpFrame.h"
#include "wire/StationMessageType.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Answer data: a word the client does not examine, the error flag, then the body.
constexpr int32_t kAnswerPrefixSize = 8;

// Texts in the source's UTF-8; handed out in the library's code page.
const char* error_text_utf8(int32_t error)
{
    switch (error) {
    case kLanErrorNone: return "";
    case kLanErrorNotConnected: return "Соединение не установлено";
    case kLanErrorNoAnswer: return "Нет ответа";
    case kLanErrorSocket: return "Невозможно создать сокет";
    case kLanErrorAddress: return "Невозможно получить адрес сервера";
    case kLanErrorConnect: return "Невозможно подсоединиться к серверу";
    case kLanErrorSend: return "Ошибка передачи";
    case kLanErrorAnswerType: return "Ошибка передачи (неверный код ответа)";
    case kLanErrorAnswerStructure: return "Ошибка передачи (нарушена структура ответа)";
    case kLanErrorPacket: return "Ошибка формирования пакета передачи";
    default: return "Неопределено";
    }
}

int32_t frame_length_word(const uint8_t* frame)
{
    int32_t value;
    std::memcpy(&value, frame + KvtpFrame::kFrameLengthOffset, sizeof value);
    return value;  // the wire and the host are both little-endian
}

} // namespace

CLanClient::CLanClient() : CThreadSock("LanClient"), m_answerEvent(false), m_pingEvent(false)
{
}

CLanClient::~CLanClient()
{
    // The receive thread uses our members; it ends before they go.
    try {
        Disconnect();
    } catch (...) {
    }
    try {
        Stop(kStopExitCode);
    } catch (...) {
    }
}

void CLanClient::SetHost(const std::string& host)
{
    m_host = host;
}

void CLanClient::SetPort(int port)
{
    m_port = static_cast<uint16_t>(port);
}

void CLanClient::SetPacketHelper(CMS_HelperServer* owner, int32_t maximumFrameSize)
{
    m_packetHelper = std::make_unique<CLanPacketHelper>();
    m_owner = owner;
    m_maximumFrameSize = maximumFrameSize;
}

void CLanClient::SetError(int32_t error, int32_t detail)
{
    m_lastError = error;
    m_lastErrorDetail = detail;
}

int32_t CLanClient::GetLastError()
{
    CCritSectLock lock(m_connectionLock);
    return m_lastError;
}

int32_t CLanClient::GetLastErrorDetail()
{
    CCritSectLock lock(m_connectionLock);
    return m_lastErrorDetail;
}

std::string CLanClient::GetLastErrorText()
{
    CCritSectLock lock(m_connectionLock);
    if (m_lastError == kLanErrorRefused)
        return m_lastErrorText;
    std::string text = error_text_utf8(m_lastError);
    utf8_to_ansi(text);
    return text;
}

// ---- Connecting ----------------------------------------------------------------

bool CLanClient::Connect(int timeoutSeconds)
{
    Disconnect();
    CCritSectLock lock(m_connectionLock);

    platform::SocketHandle socket = platform::create_tcp_socket();
    if (socket == platform::kInvalidSocket) {
        SetError(kLanErrorSocket);
        return false;
    }
    platform::Ipv4Endpoint endpoint;
    if (!ResolveAddress(endpoint)) {
        platform::close_socket(socket);
        SetError(kLanErrorAddress);
        return false;
    }
    const bool connected = BeginConnecting(socket) && ConnectWithTimeout(socket, endpoint, timeoutSeconds);
    if (!EndConnecting(socket, connected)) {
        platform::close_socket(socket);
        SetError(kLanErrorConnect);
        return false;
    }

    m_fill = 0;
    m_assembly.Free();
    m_receiveEnded = false;
    Start();
    return true;
}

bool CLanClient::BeginConnecting(platform::SocketHandle socket)
{
    CCritSectLock socketLock(m_socketLock);
    if (RefusingLinks())
        return false;
    m_connectingSocket = socket;
    return true;
}

bool CLanClient::EndConnecting(platform::SocketHandle socket, bool connected)
{
    CCritSectLock socketLock(m_socketLock);
    m_connectingSocket = platform::kInvalidSocket;
    // A shutdown that came after the attempt began may have found nothing
    // left to shut down: the link it would have ended is not kept.
    if (!connected || RefusingLinks())
        return false;
    m_socket = socket;
    return true;
}

bool CLanClient::ResolveAddress(platform::Ipv4Endpoint& endpoint)
{
    if (!platform::resolve_ipv4(m_host, endpoint.address))
        return false;
    endpoint.port = m_port;
    return true;
}

bool CLanClient::ConnectWithTimeout(platform::SocketHandle socket, const platform::Ipv4Endpoint& endpoint,
                                    int timeoutSeconds)
{
    // An attempt still under way when the time is up counts as failed: a link
    // taken as established without being so would only fail later, less clearly.
    const uint32_t timeoutMs = timeoutSeconds > 0 ? static_cast<uint32_t>(timeoutSeconds) * 1000u : 0u;
    return platform::connect_with_timeout(socket, endpoint, timeoutMs);
}

bool CLanClient::Disconnect()
{
    CCritSectLock lock(m_connectionLock);
    const platform::SocketHandle socket = m_socket;
    if (socket == platform::kInvalidSocket)
        return false;

    SignalStop();
    platform::shutdown_socket(socket);
    Stop(kStopExitCode);
    {
        CCritSectLock socketLock(m_socketLock);
        platform::close_socket(socket);
        m_socket = platform::kInvalidSocket;
    }
    ClearAnswerTarget();
    m_fill = 0;
    m_assembly.Free();
    return true;
}

bool CLanClient::IsConnected() const
{
    return m_socket != platform::kInvalidSocket && IsReceiving();
}

bool CLanClient::IsReceiving() const
{
    return IsRunning() && !m_receiveEnded;
}

void CLanClient::ShutdownSocket()
{
    CCritSectLock socketLock(m_socketLock);
    m_shutDown = true;
    ShutDownLinks();
}

void CLanClient::BeginInterrupt()
{
    CCritSectLock socketLock(m_socketLock);
    ++m_interrupts;
    ShutDownLinks();
}

void CLanClient::EndInterrupt()
{
    CCritSectLock socketLock(m_socketLock);
    if (m_interrupts > 0)
        --m_interrupts;
}

void CLanClient::ShutDownLinks()
{
    platform::shutdown_socket(m_socket);
    // A connect waiting for the station's reply wakes and fails at once.
    platform::shutdown_socket(m_connectingSocket);
}

// ---- Requests ------------------------------------------------------------------

int32_t CLanClient::Request(int32_t code, CByteStream* body, CByteStream* answer, uint32_t timeoutMs)
{
    CCritSectLock lock(m_connectionLock);
    if (!IsConnected()) {
        SetError(kLanErrorNotConnected);
        return 0;
    }

    CLanPacket request;
    const uint8_t* bodyData = body != nullptr ? body->GetData() : nullptr;
    const int32_t bodyLength = bodyData != nullptr ? body->GetLength() : 0;
    if (!request.CreateRequest(code, bodyData, bodyLength)) {
        SetError(kLanErrorPacket);
        return 0;
    }

    CLanPacket reply;
    if (!SendAndWait(request, reply, timeoutMs))
        return 0;

    if (reply.GetType() != kMessageAnswer) {
        SetError(kLanErrorAnswerType, reply.GetType());
        return 0;
    }
    const uint8_t* data = reply.GetData();
    const int32_t length = reply.GetDataLength();
    if (data == nullptr || length < kAnswerPrefixSize) {
        SetError(kLanErrorAnswerStructure);
        return 0;
    }

    CByteStream in;
    in.Attach(data, length);
    int32_t unexamined = 0;
    int32_t errorFlag = 0;
    in.ReadInt32(unexamined);
    in.ReadInt32(errorFlag);
    if (errorFlag != 0) {
        // A refusal's text travels in clear.
        std::string text;
        if (!in.ReadString(text) || text.empty())
            text = "<Unknown>";
        m_lastErrorText = text;
        SetError(kLanErrorRefused);
        return 0;
    }

    if (answer != nullptr) {
        answer->Free();
        if (!answer->WriteBytes(data + kAnswerPrefixSize, length - kAnswerPrefixSize)) {
            SetError(kLanErrorAnswerStructure);
            return 0;
        }
        answer->Rewind();
    }
    return 1;
}

void CLanClient::ClearAnswerTarget()
{
    CCritSectLock answerLock(m_answerLock);
    m_answerTarget = nullptr;
}

bool CLanClient::SendAndWait(const CLanPacket& request, CLanPacket& answer, uint32_t timeoutMs)
{
    struct TargetGuard
    {
        CLanClient* client;
        ~TargetGuard() { client->ClearAnswerTarget(); }
    };

    {
        CCritSectLock answerLock(m_answerLock);
        answer.Free();
        m_answerTarget = &answer;
        m_answerBroken = false;
        m_answerEvent.Reset();
        // The thread may have ended before the reset: its wake-up must not be lost.
        if (m_receiveEnded)
            m_answerEvent.Set();
    }
    TargetGuard guard{this};

    if (!SendPacket(request)) {
        SetError(kLanErrorSend);
        return false;
    }
    const bool signalled = m_answerEvent.Wait(timeoutMs);
    bool broken = false;
    {
        CCritSectLock answerLock(m_answerLock);
        m_answerTarget = nullptr;
        broken = m_answerBroken;
    }
    // An answer delivered between the time-out and the clearing still counts.
    if (!answer.IsEmpty())
        return true;
    if (broken) {
        SetError(kLanErrorAnswerStructure);
        return false;
    }

    // Signalled with nothing delivered: the receive thread has ended.
    SetError(kLanErrorNoAnswer);
    if (!signalled) {
        // Answers carry no request identifier: a late one would be taken as the
        // answer to the next request, so the link goes.
        Disconnect();
    }
    return false;
}

bool CLanClient::Ping(uint32_t timeoutMs)
{
    CCritSectLock lock(m_connectionLock);
    if (!IsConnected()) {
        SetError(kLanErrorNotConnected);
        return false;
    }
    CLanPacket ping;
    if (!ping.Create(kMessagePing, 0, nullptr, 0))
        return false;
    // A receive thread that ends after the reset sets the event too; one that
    // ended before it makes the send fail.
    m_pingEvent.Reset();
    if (!SendPacket(ping))
        return false;
    const bool signalled = m_pingEvent.Wait(timeoutMs);
    // Woken by the end of the receive thread: the link is dead, whatever came.
    return signalled && !m_receiveEnded;
}

// ---- Sending -------------------------------------------------------------------

bool CLanClient::SendPacket(const CLanPacket& packet)
{
    if (packet.IsEmpty() || m_maximumFrameSize <= 0 || !m_packetHelper)
        return false;
    const int32_t count = m_packetHelper->GetFrameCount(packet, m_maximumFrameSize);
    if (count < 1)
        return false;

    // One frame buffer per message, reused for each of its frames.
    std::vector<uint8_t> frame(static_cast<size_t>(m_maximumFrameSize));
    for (int32_t index = 0; index < count; ++index) {
        int32_t frameSize = 0;
        if (m_packetHelper->BuildFrame(packet, index, frame.data(), m_maximumFrameSize, frameSize) == 0)
            return false;
        if (!SendRaw(frame.data(), frameSize))
            return false;
    }
    return true;
}

bool CLanClient::SendRaw(const uint8_t* data, int32_t size)
{
    // Nothing is sent where no receive thread would take the answer in.
    const platform::SocketHandle socket = m_socket;
    if (socket == platform::kInvalidSocket || !IsReceiving())
        return false;
    return platform::send_all(socket, data, static_cast<size_t>(size));
}

// ---- Receiving -----------------------------------------------------------------

uint32_t CLanClient::Run()
{
    try {
        const platform::SocketHandle socket = m_socket;
        while (!GetStopEvent().Wait(0)) {
            const long received = platform::receive_some(socket, m_receiveBuffer.data() + m_fill,
                                                         static_cast<size_t>(kReceiveBufferSize - m_fill));
            if (received <= 0)
                break;
            m_fill += static_cast<int32_t>(received);
            if (!TakeInFrames())
                break;
        }
    } catch (...) {
        // A failed event ends the thread like a dead link.
    }
    EndReceiving();
    return 0;
}

bool CLanClient::TakeInBytes(const uint8_t* data, int32_t size)
{
    while (size > 0) {
        const int32_t n = std::min(size, kReceiveBufferSize - m_fill);
        if (n <= 0)
            return false;
        std::memcpy(m_receiveBuffer.data() + m_fill, data, static_cast<size_t>(n));
        m_fill += n;
        if (!TakeInFrames())
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// Takes in every whole frame of the receive buffer; false when the data can
// never make a frame, which ends the link.
bool CLanClient::TakeInFrames()
{
    if (!m_packetHelper) {
        m_fill = 0;
        return true;
    }
    int32_t offset = 0;
    CLanPacket frame;
    for (;;) {
        const uint8_t* at = m_receiveBuffer.data() + offset;
        const int32_t available = m_fill - offset;
        const int32_t size = m_packetHelper->ParseFrame(at, available, &frame);
        if (size < 0)
            return false;
        if (size == 0) {
            // A frame larger than the whole buffer would never be complete.
            if (available >= KvtpFrame::kHeaderSize
                && frame_length_word(at) > kReceiveBufferSize - KvtpFrame::kHeaderSize)
                return false;
            break;
        }
        offset += size;
        if (!HandleFrame(frame))
            return false;
    }
    if (offset > 0) {
        std::memmove(m_receiveBuffer.data(), m_receiveBuffer.data() + offset, static_cast<size_t>(m_fill - offset));
        m_fill -= offset;
    }
    return true;
}

bool CLanClient::HandleFrame(const CLanPacket& frame)
{
    if (frame.GetType() == kMessagePing) {
        m_pingEvent.Set();
        return true;
    }
    // A message too large to take in breaks the link as bad data does; the
    // request waiting for it fails at once.
    if (frame.ClaimsOversizedMessage()) {
        if (frame.GetType() == kMessageAnswer)
            FailAnswer();
        return false;
    }
    bool keepLink = true;
    if (!m_assembly.AppendFragment(frame)) {
        // A refused fragment costs the message under way and may begin the next.
        const bool answerUnderWay = m_assembly.GetType() == kMessageAnswer;
        m_assembly.Free();
        const bool begun = m_assembly.AppendFragment(frame);
        // When the answer a request waits for is lost, the request fails at
        // once. What is left of that answer may still come and be taken for
        // the next request's, as answers carry no request identifier: the link
        // goes, as for an answer too large to take in.
        if (answerUnderWay || (!begun && frame.GetType() == kMessageAnswer))
            keepLink = !FailAnswer();
    }
    if (!m_assembly.IsComplete())
        return keepLink;

    if (m_assembly.GetType() == kMessageAnswer) {
        DeliverAnswer();
    } else {
        CByteStream data;
        data.Attach(m_assembly.GetData(), m_assembly.GetDataLength());
        if (OnMessage(m_assembly, m_owner, data) == kBreakLink)
            keepLink = false;
    }
    m_assembly.Free();
    return keepLink;
}

void CLanClient::DeliverAnswer()
{
    CCritSectLock answerLock(m_answerLock);
    // With no request waiting the answer is dropped.
    if (m_answerTarget == nullptr)
        return;
    m_answerTarget->CopyFrom(m_assembly);
    m_answerTarget = nullptr;
    m_answerEvent.Set();
}

bool CLanClient::FailAnswer()
{
    CCritSectLock answerLock(m_answerLock);
    if (m_answerTarget == nullptr)
        return false;
    m_answerBroken = true;
    m_answerTarget = nullptr;
    m_answerEvent.Set();
    return true;
}

void CLanClient::EndReceiving()
{
    try {
        CCritSectLock answerLock(m_answerLock);
        m_receiveEnded = true;
        // A waiting request or ping wakes at once and fails.
        m_answerEvent.Set();
        m_pingEvent.Set();
    } catch (...) {
        m_receiveEnded = true;
    }
}

int32_t CLanClient::OnMessage(CLanPacket& /*message*/, CMS_HelperServer* /*owner*/, CByteStream& /*data*/)
{
    return 0;
}

#include "client/CMS_HelperClientLib.h"

#include "base/CByteStream.h"
#include "base/InputBounds.h"
#include "base/StringHelpers.h"
#include "base/Timeouts.h"
#include "records/CMS_SimpleEventData.h"
#include "threads/CCritSectLock.h"
#include "threads/CFileLog.h"
#include "wire/StationNotifyCode.h"

#include "platform/TickCount.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr char kThreadName[] = "HelperClientLib";
constexpr char kProductName[] = "Библиотека клиента ПЦН KORVEL";
constexpr int32_t kDefaultLoginValueA = -1;
constexpr uint32_t kWorkerExitCode = 100;
constexpr int kObjectHistoryLength = 10;
// File log category and module of the instance's own lines.
constexpr int32_t kLogCategory = 6;
constexpr char kLogModule[] = "HelperClientLib";

// A packet's share of the queue's bound.
uint64_t packet_cost(int32_t length)
{
    return static_cast<uint64_t>(length > 0 ? length : 0) + kPacketQueueCostPerPacket;
}


// No debugger listens on this platform; standard error stands in for it.
void debug_output(const char* utf8)
{
    std::fputs(ansi_text(utf8).c_str(), stderr);
}

class InstanceLock
{
public:
    explicit InstanceLock(platform::CriticalSection& section) : m_section(section) { m_section.Enter(); }
    ~InstanceLock() { m_section.Leave(); }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

private:
    platform::CriticalSection& m_section;
};

// A record notification: the record is read, marked as the host's own copy,
// applied to the cache, and shown to the host when the cache changed.
template <class T, class Apply>
void dispatch_record(CMS_HelperClientLib& instance, CByteStream& stream, int32_t notifyCode, const char* tag,
                     Apply apply)
{
    T record;
    if (!record.LoadFromStream(&stream, 0))
        return;
    record.OriginServerId = -1;
    if (!apply(record))
        return;
    const std::string text = CMS_HelperClientLib::RecordToXml(record, tag);
    instance.NotifyCallback(notifyCode, text.c_str(), static_cast<int32_t>(text.size()), 0, 0, 0);
}

// Items reach the host without a document.
template <class Apply>
void dispatch_item(CMS_HelperClientLib& instance, CByteStream& stream, int32_t notifyCode, Apply apply)
{
    StationItem item;
    if (!item.Read(&stream, 0))
        return;
    if (apply(item))
        instance.NotifyCallback(notifyCode, nullptr, 0, 0, 0, 0);
}

} // namespace

CMS_HelperClientLib::CMS_HelperClientLib()
    : CThreadSock(kThreadName),
      m_eventQueueEvent(false, false),
      m_packetEvent(false, false),
      m_closingEvent(false)
{
}

CMS_HelperClientLib::~CMS_HelperClientLib()
{
    try {
        Shutdown();
    } catch (...) {
    }
    try {
        CThreadSock::Stop(kWorkerExitCode);
    } catch (...) {
    }
    // The receive thread hands packets to this object: it ends before the
    // queues go.
    try {
        CMS_HelperServer::Disconnect();
    } catch (...) {
    }
}

void CMS_HelperClientLib::Start(MscNotifyCallback callback, intptr_t user, int32_t clientType)
{
    Init(clientType, ansi_text(kProductName), &m_settings, kDefaultLoginValueA);
    m_callback = callback;
    m_user = user;
    CThreadSock::Start();
}

bool CMS_HelperClientLib::Open(const std::string& host, int32_t port, const std::string& userName,
                               const std::string& password)
{
    InstanceLock lock(m_instanceLock);
    SetConnectParams(host, port, userName, password);
    if (!Connect())
        return false;
    SetOpen(true);
    return true;
}

void CMS_HelperClientLib::Close()
{
    // Cleared first: a reconnect under way sees it and drops its connection.
    SetOpen(false);
    // An Open, reconnect, ping or request under way holds the instance or the
    // connection until the station answers or its time-out passes; it is ended
    // first, so the close never waits for the station.
    CLanClient& connection = GetServerClient();
    connection.BeginInterrupt();
    {
        InstanceLock lock(m_instanceLock);
        // Ended before the lock is left, so an Open waiting for it connects as usual.
        struct InterruptEnd
        {
            CLanClient& connection;
            ~InterruptEnd() { connection.EndInterrupt(); }
        } interruptEnd{connection};
        // And again: a host Open that held the lock meanwhile may have set it.
        SetOpen(false);
        Disconnect();
        // Nothing more comes from the link; what it left goes unseen.
        CCritSectLock packetLock(m_packetLock);
        DropQueuedPackets();
    }
    // A callback in progress is not waited for: a host may hold a lock of its
    // own around the close that its callback takes. The worker drops the rest
    // of its round once that callback returns.
}

void CMS_HelperClientLib::Shutdown()
{
    m_stopping = true;
    SetOpen(false);
    SignalStop();
    {
        CCritSectLock packetLock(m_packetLock);
        DropQueuedPackets();
    }
    // Without the connection lock, so a request or ping that holds it fails at
    // once, and so does a connect of the worker or the host under way.
    GetServerClient().ShutdownSocket();
    m_closingEvent.Set();
}

int32_t CMS_HelperClientLib::OnPacket(CMS_ServerClient* /*connection*/, int32_t code, CByteStream& stream)
{
    // A stopping instance takes nothing in.
    if (m_stopping)
        return 1;
    Packet packet;
    packet.code = code;
    const int32_t remaining = stream.GetRemaining();
    const uint64_t cost = packet_cost(remaining);
    bool overflow = false;
    {
        CCritSectLock lock(m_packetLock);
        const uint64_t held = m_queuedBytes + m_takenBytes;
        // One packet is always taken: the message bound limits it.
        overflow = held > 0 && held + cost > kMaxPacketQueueBytes;
        if (overflow)
            DropQueuedPackets();
    }
    if (overflow) {
        log_printf(LOG_LEVEL_ERROR, kLogCategory, kLogModule, 0,
                   ansi_text("Очередь уведомлений станции превысила %llu байт, связь разорвана").c_str(),
                   static_cast<unsigned long long>(kMaxPacketQueueBytes));
        return CLanClient::kBreakLink;
    }
    if (remaining > 0) {
        packet.buffer.reset(new (std::nothrow) uint8_t[static_cast<size_t>(remaining)]);
        // A packet whose bytes cannot be kept is dropped rather than queued empty.
        if (!packet.buffer || !stream.ReadBytes(packet.buffer.get(), remaining))
            return 1;
        packet.length = remaining;
    }
    bool wasEmpty = false;
    try {
        CCritSectLock lock(m_packetLock);
        wasEmpty = m_packetQueue.empty();
        m_packetQueue.push_back(std::move(packet));
        m_queuedBytes += cost;
    } catch (const std::bad_alloc&) {
        return 1;
    }
    // The worker empties the queue on each wake-up, so only the first of the
    // packets that arrive together needs to wake it.
    if (wasEmpty)
        m_packetEvent.Set();
    return 1;
}

void CMS_HelperClientLib::DropQueuedPackets()
{
    m_packetQueue.clear();
    m_queuedBytes = 0;
    ++m_packetEpoch;
}

void CMS_HelperClientLib::ReleaseTakenBytes(uint64_t bytes)
{
    CCritSectLock lock(m_packetLock);
    m_takenBytes -= std::min(bytes, m_takenBytes);
}

void CMS_HelperClientLib::PushEvent(std::unique_ptr<CMS_SimpleEventData> event)
{
    CCritSectLock lock(m_eventQueueLock);
    const bool wasEmpty = m_eventQueue.empty();
    m_eventQueue.push_back(std::move(event));
    // An event into an empty queue wakes the host at once. While the worker
    // applies packets that arrived together, the signals of the events behind
    // it are given as one when the round ends: the host reads them in one go,
    // and a host that reads fewer still gets the signal it would have had.
    // The worker needs no wake-up for its own event.
    if (wasEmpty || !m_dispatchRound)
        m_eventQueueEvent.Set();
    else
        m_eventSignalOwed = true;
}

void CMS_HelperClientLib::SetDispatchRound(bool on)
{
    CCritSectLock lock(m_eventQueueLock);
    m_dispatchRound = on;
    if (!on && m_eventSignalOwed) {
        m_eventSignalOwed = false;
        m_eventQueueEvent.Set();
    }
}

std::unique_ptr<CMS_SimpleEventData> CMS_HelperClientLib::PopEvent()
{
    CCritSectLock lock(m_eventQueueLock);
    if (m_eventQueue.empty())
        return nullptr;
    std::unique_ptr<CMS_SimpleEventData> event = std::move(m_eventQueue.front());
    m_eventQueue.pop_front();
    return event;
}

bool CMS_HelperClientLib::PopPacket(Packet& out)
{
    CCritSectLock lock(m_packetLock);
    if (m_packetQueue.empty())
        return false;
    out = std::move(m_packetQueue.front());
    m_packetQueue.pop_front();
    m_queuedBytes -= std::min(packet_cost(out.length), m_queuedBytes);
    return true;
}

bool CMS_HelperClientLib::ReadEvent(char* buffer, int32_t size)
{
    if (size < 1)
        return false;
    for (;;) {
        std::unique_ptr<CMS_SimpleEventData> event = PopEvent();
        if (!event)
            return false;
        const std::string text = RecordToXml(*event, "event");
        event.reset();
        // One wake-up may stand for several events: an event without a document
        // gives way to the next instead of ending the read.
        if (text.empty())
            continue;
        const size_t room = static_cast<size_t>(size) - 1;
        const size_t count = std::min(text.size(), room);
        std::memcpy(buffer, text.data(), count);
        buffer[count] = '\0';
        buffer[room] = '\0';
        return true;
    }
}

void CMS_HelperClientLib::ResetEventQueue()
{
    CCritSectLock lock(m_eventQueueLock);
    m_eventQueue.clear();
}

int32_t CMS_HelperClientLib::NotifyCallback(int32_t code, const char* text, int32_t length, int32_t a, int32_t b,
                                            int32_t c)
{
    if (m_callback == nullptr)
        return -1;
    // Stopped, or the queue this round came from was dropped: no callback.
    if (m_stopping || (m_dispatching && m_packetEpoch != m_dispatchEpoch))
        return -1;
    return m_callback(m_user, code, text, length, a, b, c);
}

// ---- Worker ----------------------------------------------------------------------

uint32_t CMS_HelperClientLib::Run()
{
    uint32_t pingMark = platform::tick_count();
    uint32_t checkMark = pingMark;
    const platform::WaitHandle handles[2] = {GetStopEvent().GetHandle(), m_packetEvent.GetHandle()};

    bool stopping = GetStopEvent().Wait(0);
    while (!stopping) {
        const uint32_t result = platform::wait_for_multiple(handles, 2, Timeouts::ReconnectCheckMs());
        if (result == platform::kWaitObject0)
            break;
        if (result == platform::kWaitObject0 + 1) {
            DispatchPackets();
        } else if (result != platform::kWaitTimeout) {
            debug_output("Выход потока, ошибка функции ожидания\n");
            break;
        }

        if (platform::tick_count() - pingMark > Timeouts::PingIntervalMs()) {
            WatchConnection(true);
            pingMark = platform::tick_count();
        }
        if (platform::tick_count() - checkMark > Timeouts::ReconnectCheckMs()) {
            WatchConnection(false);
            checkMark = platform::tick_count();
        }
        stopping = GetStopEvent().Wait(0);
    }

    Disconnect();
    return 0;
}

void CMS_HelperClientLib::DispatchPackets()
{
    // One round per batch of packets that arrived together.
    std::deque<Packet> round;
    while (!m_stopping) {
        uint32_t epoch = 0;
        {
            CCritSectLock lock(m_packetLock);
            round.swap(m_packetQueue);
            m_takenBytes += m_queuedBytes;
            m_queuedBytes = 0;
            epoch = m_packetEpoch;
        }
        if (round.empty())
            return;
        m_dispatching = true;
        m_dispatchEpoch = epoch;
        SetDispatchRound(true);
        for (Packet& packet : round) {
            // Stopped, closed or over the bound meanwhile: the rest is dropped.
            if (!m_stopping && m_packetEpoch == epoch) {
                CByteStream stream;
                if (packet.buffer)
                    stream.Attach(packet.buffer.get(), packet.length);
                try {
                    DispatchNotification(&GetServerClient(), packet.code, stream);
                } catch (...) {
                    // A notification that cannot be applied is dropped like one that does not load.
                }
            }
            const uint64_t cost = packet_cost(packet.length);
            packet = Packet();
            ReleaseTakenBytes(cost);
        }
        m_dispatching = false;
        round.clear();
        SetDispatchRound(false);
    }
}

void CMS_HelperClientLib::WatchConnection(bool withPing)
{
    // Open or Close at work: this tick is skipped rather than waited for.
    if (!m_instanceLock.TryEnter())
        return;
    int32_t code = -1;
    try {
        const bool open = IsOpen();
        const bool connected = GetConnected();
        if (open && !connected) {
            if (Connect()) {
                // A Close during the attempt wins: the new link goes without a word.
                if (IsOpen())
                    code = MSC_NOTIFY_CONNECTED;
                else
                    Disconnect();
            }
        } else if (open && connected) {
            if (!IsConnected() || (withPing && !GetServerClient().Ping(Timeouts::PingWaitMs()))) {
                Disconnect();
                code = MSC_NOTIFY_DISCONNECTED;
            }
        } else if (!open && connected) {
            Disconnect();
            code = MSC_NOTIFY_DISCONNECTED;
        }
    } catch (...) {
        // A connect whose receive thread could not be made (CWin32Exception,
        // no std::exception) counts as failed; the lock must be left all the same.
    }
    m_instanceLock.Leave();
    if (code >= 0)
        NotifyCallback(code, nullptr, 0, 0, 0, 0);
}

// ---- Notifications ---------------------------------------------------------------

void CMS_HelperClientLib::DispatchNotification(CMS_ServerClient* connection, int32_t code, CByteStream& stream)
{
    if (connection == nullptr)
        return;
    CMS_ServerClient& c = *connection;
    CMS_HelperClientLib& self = *this;

    switch (code) {
    case kNotifyObjectAdded:
        dispatch_record<CMS_ObjectData>(self, stream, MSC_NOTIFY_OBJECT_ADDED, "object",
                                        [&](const CMS_ObjectData& r) { return c.AddCachedObject(r, nullptr); });
        break;
    case kNotifyObjectRemoved:
        dispatch_record<CMS_ObjectData>(self, stream, MSC_NOTIFY_OBJECT_REMOVED, "object",
                                        [&](const CMS_ObjectData& r) { return c.RemoveCachedObject(r, nullptr); });
        break;
    case kNotifyObjectChanged:
        dispatch_record<CMS_ObjectData>(self, stream, MSC_NOTIFY_OBJECT_CHANGED, "object",
                                        [&](const CMS_ObjectData& r) { return c.UpdateCachedObject(r, nullptr); });
        break;
    case kNotifyDeviceAdded:
        dispatch_record<CMS_DeviceData>(self, stream, MSC_NOTIFY_DEVICE_ADDED, "device",
                                        [&](const CMS_DeviceData& r) { return c.AddCachedDevice(r, nullptr); });
        break;
    case kNotifyDeviceRemoved:
        dispatch_record<CMS_DeviceData>(self, stream, MSC_NOTIFY_DEVICE_REMOVED, "device",
                                        [&](const CMS_DeviceData& r) { return c.RemoveCachedDevice(r, nullptr); });
        break;
    case kNotifyDeviceChanged:
        dispatch_record<CMS_DeviceData>(self, stream, MSC_NOTIFY_DEVICE_CHANGED, "device",
                                        [&](const CMS_DeviceData& r) { return c.UpdateCachedDevice(r, nullptr); });
        break;
    case kNotifyGroupAdded:
        dispatch_record<CMS_ObjectGroupData>(self, stream, MSC_NOTIFY_GROUP_ADDED, "objectgroup",
                                             [&](const CMS_ObjectGroupData& r) { return c.AddCachedGroup(r, nullptr); });
        break;
    case kNotifyGroupRemoved:
        dispatch_record<CMS_ObjectGroupData>(
            self, stream, MSC_NOTIFY_GROUP_REMOVED, "objectgroup",
            [&](const CMS_ObjectGroupData& r) { return c.RemoveCachedGroup(r, nullptr); });
        break;
    case kNotifyGroupChanged:
        dispatch_record<CMS_ObjectGroupData>(
            self, stream, MSC_NOTIFY_GROUP_CHANGED, "objectgroup",
            [&](const CMS_ObjectGroupData& r) { return c.UpdateCachedGroup(r, nullptr); });
        break;
    case kNotifyPinAdded:
        dispatch_record<CMS_ObjectPinData>(self, stream, MSC_NOTIFY_PIN_ADDED, "pin",
                                           [&](const CMS_ObjectPinData& r) { return c.AddCachedPin(r, nullptr); });
        break;
    case kNotifyPinRemoved:
        dispatch_record<CMS_ObjectPinData>(self, stream, MSC_NOTIFY_PIN_REMOVED, "pin",
                                           [&](const CMS_ObjectPinData& r) { return c.RemoveCachedPin(r, nullptr); });
        break;
    case kNotifyPinChanged:
        dispatch_record<CMS_ObjectPinData>(self, stream, MSC_NOTIFY_PIN_CHANGED, "pin",
                                           [&](const CMS_ObjectPinData& r) { return c.UpdateCachedPin(r, nullptr); });
        break;
    case kNotifyItemAdded:
        dispatch_item(self, stream, MSC_NOTIFY_ITEM_ADDED,
                      [&](const StationItem& r) { return c.AddCachedItem(r, nullptr); });
        break;
    case kNotifyItemRemoved:
        dispatch_item(self, stream, MSC_NOTIFY_ITEM_REMOVED,
                      [&](const StationItem& r) { return c.RemoveCachedItem(r, nullptr); });
        break;
    case kNotifyItemChanged:
        dispatch_item(self, stream, MSC_NOTIFY_ITEM_CHANGED,
                      [&](const StationItem& r) { return c.UpdateCachedItem(r, nullptr); });
        break;
    case kNotifyEvent:
        DispatchEvent(connection, stream);
        break;
    case kNotifyObjectGroupMoved:
        DispatchGroupMove(connection, stream);
        break;
    default:
        // 1015 and unknown codes carry nothing the library uses.
        break;
    }
}

void CMS_HelperClientLib::DispatchEvent(CMS_ServerClient* connection, CByteStream& stream)
{
    auto event = std::make_unique<CMS_SimpleEventData>();
    if (!event->LoadFromStream(&stream, 0))
        return;
    if (event->IsStateEvent()) {
        int32_t index = -1;
        connection->ApplyEventToObject(*event, kObjectHistoryLength, &index);
    }
    if (event->Type == kPinEvent)
        connection->ApplyPinEvent(event->ObjectID, event->PinNumber, event->SubType);
    // These two change only the cached object and are not queued.
    if (event->Type == kObjectEvent && (event->SubType == 4 || event->SubType == 5))
        return;
    PushEvent(std::move(event));
}

void CMS_HelperClientLib::DispatchGroupMove(CMS_ServerClient* connection, CByteStream& stream)
{
    int32_t values[5] = {};
    for (int32_t& value : values)
        if (!stream.ReadInt32(value))
            return;
    int32_t index = -1;
    if (!connection->SetObjectGroup(values[0], values[2], &index))
        return;
    CMS_ObjectData object;
    if (!connection->GetObjectAt(index, object))
        return;
    const std::string text = RecordToXml(object, "object");
    NotifyCallback(MSC_NOTIFY_OBJECT_GROUP_MOVED, text.c_str(), static_cast<int32_t>(text.size()), 0, 0, 0);
}

#pragma once

#include "Ardentis.h"
#include "client/CMS_HelperServer.h"
#include "client/RecordCache.h"
#include "config/CServerClientConfig.h"
#include "threads/CCritSect.h"
#include "threads/CEventSock.h"
#include "threads/CManualResetEventSock.h"
#include "threads/CThreadSock.h"

#include "platform/CriticalSection.h"
#include "platform/Event.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class CByteStream;
class CMS_SimpleEventData;
class CObjectStoreXmlHelper;

// One client instance behind a handle of the exported interface: a helper
// server with a worker thread ("HelperClientLib") that applies the station's
// notifications to the caches, tells the host through the callback, queues
// events for the host, and keeps the connection up while the host wants it open.
class CMS_HelperClientLib : public CMS_HelperServer, public CThreadSock
{
public:
    // A notification waiting for the worker.
    struct Packet
    {
        int32_t code = 0;
        std::unique_ptr<uint8_t[]> buffer;
        int32_t length = 0;
    };

    CMS_HelperClientLib();
    // Shuts down, joins the worker and stops the receive thread before the
    // queues and events go.
    ~CMS_HelperClientLib() override;

    // Initialises the helper server with the instance's own settings and starts
    // the worker.
    void Start(MscNotifyCallback callback, intptr_t user, int32_t clientType);
    // Connects and logs in with these values; the instance is open only when
    // that succeeded.
    bool Open(const std::string& host, int32_t port, const std::string& userName, const std::string& password);
    // Clears the open flag and disconnects; an Open, request, ping or connect
    // of any thread still waiting for the station ends at once and fails. The
    // notifications queued so far are dropped without a callback; a callback
    // in progress on the worker is waited for, so none of theirs follows.
    void Close();
    // Ends the instance's work without waiting: closes it, stops the worker,
    // which makes no callback after the one in progress, drops the queued
    // notifications, ends a pending request, ping or connect at once and wakes
    // waits on the closing event. Callable before the destructor, which calls
    // it too.
    void Shutdown();

    // On the receive thread: queues the notification for the worker. Past the
    // queue's bound the queued ones are dropped and the result, kBreakLink,
    // ends the link: the worker then reports it lost and reconnects.
    int32_t OnPacket(CMS_ServerClient* connection, int32_t code, CByteStream& stream) override;

    void PushEvent(std::unique_ptr<CMS_SimpleEventData> event);
    std::unique_ptr<CMS_SimpleEventData> PopEvent();
    bool PopPacket(Packet& out);
    // The oldest event as an "eventlist" document, cut to size - 1 characters
    // and terminated; false when none was taken or its text was empty.
    bool ReadEvent(char* buffer, int32_t size);
    // Drops every queued event; the queue's signal stays as it is.
    void ResetEventQueue();
    // The host's callback with the user value, or -1 without one or when the
    // instance is stopping or the notification being dispatched was dropped.
    int32_t NotifyCallback(int32_t code, const char* text, int32_t length, int32_t a, int32_t b, int32_t c);

    // Signalled when an event was queued.
    platform::WaitHandle GetEventHandle() const { return m_eventQueueEvent.GetHandle(); }
    // Signalled once the instance is shutting down; waits on the instance wake on it.
    platform::WaitHandle GetClosingHandle() const { return m_closingEvent.GetHandle(); }

    CServerClientConfig& GetSettings() { return m_settings; }

    // Worker side, on the worker thread.
    void DispatchNotification(CMS_ServerClient* connection, int32_t code, CByteStream& stream);

    // ---- List documents ----------------------------------------------------------

    // A document of one record element; "" when it cannot be built.
    static std::string RecordToXml(const CObjectStoreXmlHelper& record, const std::string& tag);
    // A document of one element per record, in list order; "" as soon as one fails.
    static std::string BuildListXml(const std::vector<const CObjectStoreXmlHelper*>& records,
                                    const std::string& tag);
    template <class T>
    static std::string BuildListXml(const RecordList<T>& records, const std::string& tag)
    {
        std::vector<const CObjectStoreXmlHelper*> pointers;
        pointers.reserve(records.size());
        for (const auto& record : records)
            pointers.push_back(record.get());
        return BuildListXml(pointers, tag);
    }
    // The same document built as a TinyXML tree and printed; BuildListXml
    // writes its bytes without the tree and falls back on it.
    static std::string BuildListXmlTree(const std::vector<const CObjectStoreXmlHelper*>& records,
                                        const std::string& tag);
    // Loads the record from the first record element of the document.
    static bool LoadListXml(const std::string& text, const std::string& tag, CObjectStoreXmlHelper& record);

    // ---- IOCtrl commands (CMS_HelperClientLibIOCtrl.cpp) -------------------------
    bool IOCtrl(int32_t command, const void* input, int32_t inputSize, void* output, int32_t outputSize,
                int32_t* outLength);
    // Appends text at `written` while `room` lasts (nothing once it is 0 or less),
    // with a 0 after it; both counters move by the characters copied, which are
    // returned.
    static int32_t CopyToBuffer(char* buffer, int32_t& written, int32_t& room, const std::string& text);
    // ---- end of IOCtrl commands ---------------------------------------------------

protected:
    uint32_t Run() override;

private:
    // One connection check of the worker; `withPing` also pings a live link.
    void WatchConnection(bool withPing);
    void DispatchPackets();
    // Under the packet lock: drops the queue, and the rest of the worker's round.
    void DropQueuedPackets();
    // The bytes of packets the worker is done with.
    void ReleaseTakenBytes(uint64_t bytes);
    // Begins or ends a round of packets; the end gives the event signal that
    // the round's events left owing.
    void SetDispatchRound(bool on);
    void DispatchEvent(CMS_ServerClient* connection, CByteStream& stream);
    void DispatchGroupMove(CMS_ServerClient* connection, CByteStream& stream);

    CServerClientConfig m_settings;
    std::deque<std::unique_ptr<CMS_SimpleEventData>> m_eventQueue;
    std::deque<Packet> m_packetQueue;
    CEventSock m_eventQueueEvent;
    CEventSock m_packetEvent;
    CCritSect m_eventQueueLock;
    CCritSect m_packetLock;
    // Under the packet lock: the queue's bytes and those of the worker's round,
    // each packet with its fixed cost.
    uint64_t m_queuedBytes = 0;
    uint64_t m_takenBytes = 0;
    // Changed under the packet lock whenever the queued packets are dropped;
    // the worker's round ends when it sees a change.
    std::atomic<uint32_t> m_packetEpoch{0};
    std::atomic<bool> m_stopping{false};
    // The worker's own: the epoch of the round being dispatched, if any.
    bool m_dispatching = false;
    uint32_t m_dispatchEpoch = 0;
    // Under the event-queue lock.
    bool m_dispatchRound = false;
    bool m_eventSignalOwed = false;
    MscNotifyCallback m_callback = nullptr;
    intptr_t m_user = 0;

    // Serialises Open, Close and the worker's connection watch; the outermost
    // lock of the instance.
    platform::CriticalSection m_instanceLock;
    CManualResetEventSock m_closingEvent;
};

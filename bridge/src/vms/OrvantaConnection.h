#pragma once

#include "model/KorvelElement.h"
#include "vms/ToSend.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// One video-system client of the bridge. Always owned through a shared pointer;
// every pending operation holds one, so the connection lives while a read, a
// write or a timer of its own is pending. Everything runs on the server's I/O
// thread.
class OrvantaConnection
{
public:
    using Ptr = std::shared_ptr<OrvantaConnection>;

    // One whole outgoing frame, or a block of whole update frames.
    using ToSend = ::ToSend;
    using ToSendPtr = ::ToSendPtr;
    // The frames of one write, front of the queue first.
    using Batch = std::vector<ToSendPtr>;

    // Bytes read per receive.
    static constexpr size_t kReceiveChunkSize = 1024;
    // Queued frames handed to the socket together at most (one system call
    // takes no more buffers than this).
    static constexpr size_t kMaxFramesPerWrite = 64;
    // Longest wait for an error frame to leave before the connection is closed.
    static constexpr int kCloseDelayMs = 3000;

    explicit OrvantaConnection(boost::asio::io_context& io_service);
    ~OrvantaConnection();
    OrvantaConnection(const OrvantaConnection&) = delete;
    OrvantaConnection& operator=(const OrvantaConnection&) = delete;

    boost::asio::ip::tcp::socket& socket() { return m_socket; }

    // Takes an accepted socket into service: its login time starts and it is
    // read from.
    static void Start(const Ptr& self);
    // Accepted, not closed and not logged in.
    bool AwaitingLogin() const { return m_open && !authorised; }
    // The peer's address ("a.b.c.d"); empty before the accept.
    const std::string& PeerAddress() const { return m_peer_address; }

    // Accepted connections whose socket is open, and those of them still
    // waiting for their login.
    static size_t OpenCount();
    static size_t AwaitingLoginCount();

    static void StartRead(const Ptr& self);
    static void OnRead(const Ptr& self, const boost::system::error_code& error, size_t n);
    // Consumes the whole frames received so far; false when the connection is
    // to be closed (an error frame has been queued then).
    static bool ProcessInput(const uint8_t* data, size_t n, const Ptr& self);
    // True, with LINK_LOGIN_OK sent, when the payload is the expected login.
    static bool CheckLogin(const Ptr& self, const uint8_t* payload, uint32_t length);

    static void SendPacket(const Ptr& self, uint8_t command, const void* data, uint32_t length);
    static void SendString(const Ptr& self, uint8_t command, const std::string& text);
    static void OnWrite(const Ptr& self, const std::shared_ptr<Batch>& sent, const boost::system::error_code& error,
                        size_t n);

    static void SendFullState(const Ptr& self);
    // Appends the records of the map's elements in ascending id order, each
    // followed by its children one level deeper.
    static void SerializeElements(const ElementMap& map, uint8_t level, std::vector<uint8_t>& out);

    // Station worker, after an element's level changed: its LINK_UPDATE frame
    // is built now, into the block shared by every connection that has taken
    // the state when the I/O thread comes to deliver it.
    static void PostElementUpdate(uint8_t level, const KorvelElementPtr& element);
    // I/O thread: the shared blocks of update frames handed over (numbered
    // from `first` on) to every connection that has taken the state, each
    // from the first block handed over after it took it.
    static void DeliverUpdates(const std::vector<ToSendPtr>& blocks, uint64_t first);
    // Queues one shared block of whole update frames.
    static void SendBuffer(const Ptr& self, const ToSendPtr& block);

    // Closes the socket at once: pending operations end cancelled and unsent
    // frames are dropped. Also called by the server when it stops, after its
    // I/O thread has ended.
    void Close();

private:
    // repeatable: the frame may be queued again while queued (a state); its
    // bytes then count once.
    static void Enqueue(const Ptr& self, ToSendPtr to_send, bool repeatable = false);
    // A whole frame of a logged-in client: a state request, a login again
    // (ignored) or an unknown command (logged).
    static void TakeCommand(const Ptr& self, uint8_t command);
    // Takes an entry off the front of the queue, giving back what it held.
    void PopFront();
    static void StartWrite(const Ptr& self);
    // Closes the connections holding the most unsent data while all of them
    // together hold more than kMaxQueuedBytesTotal.
    static void EnforceTotalBound();
    // (Re)starts the time limit of the login or of a frame being received;
    // the connection is closed when it passes.
    static void ArmDeadline(const Ptr& self, std::chrono::milliseconds limit, const char* what);
    void DisarmDeadline();
    void SetOpen(bool open);
    // Stops taking requests and closes once the queued error frame has left,
    // or after kCloseDelayMs.
    static void CloseAfterSending(const Ptr& self);

    boost::asio::ip::tcp::socket m_socket;

public:
    // Set when the full state is taken; only such connections receive updates.
    // Atomic, as other threads may look at it.
    std::atomic<bool> state_sent{false};

private:
    // Number of the first block of updates handed over after the state was taken.
    uint64_t m_updates_from = 0;
    std::vector<uint8_t> m_receive_chunk;
    std::vector<uint8_t> m_input; // received bytes not yet consumed as frames
    bool authorised = false;
    bool m_open = false; // accepted, socket not yet closed
    std::string m_peer_address;
    std::string m_peer; // with its port
    size_t m_frames_taken = 0;
    // Logged in: the payload being passed over, and its frame's command.
    bool m_in_payload = false;
    size_t m_payload_left = 0;
    uint8_t m_payload_command = 0;
    boost::asio::steady_timer m_deadline;
    bool m_deadline_armed = false;
    // Changed by every arm and disarm: a handler of an earlier deadline, which
    // a cancel cannot withdraw once it is queued, does nothing.
    uint64_t m_deadline_generation = 0;

    // Frames not yet written; the front one is being written.
    std::deque<ToSendPtr> m_queue;
    // Bytes of the queued frames, a frame queued more than once counted once,
    // plus kQueueEntryCost per entry.
    size_t m_queued_bytes = 0;
    // How often each frame that may be queued repeatedly (states) is queued.
    std::unordered_map<const ToSend*, size_t> m_uses;
    // Of m_queued_bytes, the frame bytes of the write in flight.
    size_t m_in_flight_bytes = 0;
    bool m_closing = false; // an error frame is leaving; nothing more is read or sent
    bool m_closed = false;
    boost::asio::steady_timer m_close_timer;
};

#pragma once

#include "model/KorvelElement.h"
#include "vms/ToSend.h"
#include "vms/VmsLimits.h"

#include <boost/asio/io_context.hpp>

#include <cstdint>
#include <mutex>
#include <vector>

// Update frames on their way from the station worker to the connections. The
// frames handed over until the I/O thread comes to take them are built one
// behind the other into blocks, and each block is queued as it is to every
// connection that has taken the state: the bytes exist once, are counted in
// QueuedMemory once from the first frame built into them until the last queue
// lets them go, and leave to each client as one buffer of its gather write.
// The I/O thread takes whatever has been handed over by the time it runs, so a
// burst costs one wake-up and an update never waits for another.
class UpdateFanOut
{
public:
    // A block is ended once it holds this much, so a burst is not held in one
    // piece nor copied over and over as it grows.
    static constexpr size_t kBlockBytes = 256 * 1024;
    // A block is at most kBlockBytes and one frame; far below a connection's
    // limit, it closes only a client that has fallen far behind.
    static_assert(kBlockBytes * 16 <= kMaxQueuedBytesPerConnection, "a block must be small beside a queue's limit");

    // I/O thread: the blocks handed over since the last call, numbered on from
    // `first`.
    using Receiver = void (*)(const std::vector<ToSendPtr>& blocks, uint64_t first);

    // Frames go to the receiver on io_service's thread from now on.
    void Open(boost::asio::io_context& io_service, Receiver receiver);
    // Frames waiting and frames handed over later are dropped.
    void Shut();

    // Station worker: the element's LINK_UPDATE frame, built now.
    void Push(uint8_t level, const KorvelElementPtr& element);

    // I/O thread, as a connection takes the state (under the model mutex, so
    // no change can fall between the state and its updates): ends the block
    // being filled and returns the number of the next one. The connection
    // takes the blocks from that number on.
    uint64_t Mark();

    // Test-only: the next `count` Pushes throw std::bad_alloc as their frame
    // is built, as when a block finds no memory. Shut disarms it.
    void FailNextPushesForTests(int count);

private:
    // Ends the block being filled, if any. Under m_mutex.
    void Seal();
    // Counts what the block being filled grew by since it held capacity_before.
    // Under m_mutex.
    void CountGrowth(size_t capacity_before);
    // I/O thread: hands the blocks over to the receiver.
    void Deliver();

    std::mutex m_mutex;
    boost::asio::io_context* m_io_service = nullptr;
    Receiver m_receiver = nullptr;
    // Frames of the next block, and the blocks ended; the capacity of each is
    // counted in QueuedMemory.
    std::vector<uint8_t> m_filling;
    std::vector<std::vector<uint8_t>> m_sealed;
    uint64_t m_first_sealed = 0; // number of m_sealed.front()
    bool m_posted = false;       // a Deliver is on its way
    int m_failures_for_tests = 0;
    // Deliver's own, kept for its capacity. I/O thread only.
    std::vector<ToSendPtr> m_blocks;
};

extern UpdateFanOut g_update_fan_out;

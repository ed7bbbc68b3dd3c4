// The shared update blocks between the station worker and the I/O thread, with
// an I/O service the test runs by hand.

#include "vms/UpdateFanOut.h"

#include "model/ElementRecord.h"
#include "vms/LinkProtocol.h"
#include "vms/QueuedMemory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<ToSendPtr> g_blocks;
uint64_t g_next_number = 0; // of the next block delivered

void take_blocks(const std::vector<ToSendPtr>& blocks, uint64_t first)
{
    EXPECT_EQ(first, g_next_number) << "blocks numbered without a gap";
    g_next_number = first + blocks.size();
    g_blocks.insert(g_blocks.end(), blocks.begin(), blocks.end());
}

TEST(UpdateFanOut, ABurstIsCountedFromItsFirstFrameAndDeliveredInBlocksOfAtMostTheBlockSize)
{
    boost::asio::io_context io;
    UpdateFanOut fan_out;
    fan_out.Open(io, &take_blocks);
    auto element = std::make_shared<KorvelElement>();
    element->Name = std::string(1000, 'n');
    const size_t frame = kLinkHeaderSize + kElementRecordFixedSize + element->Name.size();
    const size_t before = QueuedMemory::Total();

    // The I/O thread is busy elsewhere (the test does not run it yet).
    constexpr size_t kUpdates = 2000;
    for (size_t i = 0; i < kUpdates; ++i)
        fan_out.Push(LEVEL_SENSOR, element);
    EXPECT_GE(QueuedMemory::Total() - before, kUpdates * frame) << "frames not yet delivered count too";

    io.run();
    size_t bytes = 0;
    for (const ToSendPtr& block : g_blocks) {
        EXPECT_LE(block->data.size(), UpdateFanOut::kBlockBytes + frame - 1);
        EXPECT_EQ(block->data.size() % frame, 0u) << "whole frames only";
        bytes += block->data.size();
    }
    EXPECT_EQ(bytes, kUpdates * frame);
    EXPECT_EQ(g_next_number, fan_out.Mark());

    // Frames waiting when the server stops are given back with the blocks
    // delivered.
    fan_out.Push(LEVEL_SENSOR, element);
    fan_out.Shut();
    g_blocks.clear();
    EXPECT_EQ(QueuedMemory::Total(), before);
}

} // namespace

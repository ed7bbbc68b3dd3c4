// The shared update blocks, with an I/O service the test runs by hand.

#include "vms/UpdateFanOut.h"

#include "model/ElementRecord.h"
#include "vms/LinkProtocol.h"
#include "vms/QueuedMemory.h"

#include <gtest/gtest.h>

namespace {

std::vector<ToSendPtr> g_blocks;

TEST(UpdateFanOut, ABurstIsCountedFromItsFirstFrameAndDeliveredInBlocksOfAtMostTheBlockSize)
{
    boost::asio::io_context io;
    UpdateFanOut fan_out;
    fan_out.Open(io, [](const std::vector<ToSendPtr>& blocks, uint64_t first) {
        EXPECT_EQ(first, g_blocks.size()) << "numbered without a gap";
        g_blocks.insert(g_blocks.end(), blocks.begin(), blocks.end());
    });
    auto element = std::make_shared<KorvelElement>();
    element->Name = std::string(1000, 'n');
    const size_t frame = kLinkHeaderSize + kElementRecordFixedSize + element->Name.size();
    const size_t before = QueuedMemory::Total();

    // While the I/O thread is busy elsewhere (not run yet), the frames count.
    for (int i = 0; i < 2000; ++i)
        fan_out.Push(LEVEL_SENSOR, element);
    EXPECT_GE(QueuedMemory::Total() - before, 2000 * frame);
    io.run();
    size_t bytes = 0;
    for (const ToSendPtr& block : g_blocks) {
        EXPECT_LT(block->data.size(), UpdateFanOut::kBlockBytes + frame);
        EXPECT_EQ(block->data.size() % frame, 0u) << "whole frames only";
        bytes += block->data.size();
    }
    EXPECT_EQ(bytes, 2000 * frame);

    // Frames waiting when the server stops are given back, as delivered ones are.
    fan_out.Push(LEVEL_SENSOR, element);
    fan_out.Shut();
    g_blocks.clear();
    EXPECT_EQ(QueuedMemory::Total(), before);
}

} // namespace

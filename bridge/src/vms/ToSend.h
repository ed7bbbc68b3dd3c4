#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// One whole outgoing frame, or a block of whole update frames, counted in
// QueuedMemory while it exists. Never changed once built, so the same one may
// wait in several connections' queues at once.
class ToSend
{
public:
    explicit ToSend(std::vector<uint8_t> frame);
    // Takes over bytes already counted as `counted` (a block of updates counted
    // since its first frame was built); only the difference is counted again.
    ToSend(std::vector<uint8_t> frame, size_t counted);
    ~ToSend();
    ToSend(const ToSend&) = delete;
    ToSend& operator=(const ToSend&) = delete;

    const std::vector<uint8_t> data;
};

using ToSendPtr = std::shared_ptr<ToSend>;

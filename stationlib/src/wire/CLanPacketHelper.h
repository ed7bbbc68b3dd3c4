#pragma once

#include "wire/CLanPacketHelperImpl.h"

// KVTP framing: cuts a message into frames of at most a maximum size and
// recognises frames in a receive buffer.
class CLanPacketHelper : public CLanPacketHelperImpl
{
public:
    int32_t ParseFrame(const uint8_t* bytes, int32_t available, CLanPacket* packet) override;
    int32_t GetHeaderSize() const override;
    int32_t GetFrameCount(const CLanPacket& packet, int32_t maximum) const override;
    int32_t BuildFrame(const CLanPacket& packet, int32_t index, uint8_t* buffer, int32_t maximum,
                       int32_t& frameSize) const override;
};

#pragma once

#include <cstdint>

class CByteStream;
class CLanPacket;

// Framing interface of a connection; the base recognises nothing.
class CLanPacketHelperImpl
{
public:
    virtual ~CLanPacketHelperImpl() = default;

    virtual int32_t ParseBuffer(const CByteStream& buffer, CLanPacket* packet);
    virtual int32_t ParseFrame(const uint8_t* bytes, int32_t available, CLanPacket* packet);
    virtual int32_t GetHeaderSize() const;
    virtual int32_t GetFrameCount(const CLanPacket& packet, int32_t maximum) const;
    virtual int32_t BuildFrame(const CLanPacket& packet, int32_t index, uint8_t* buffer, int32_t maximum,
                               int32_t& frameSize) const;
};

#include "wire/CLanPacketHelperImpl.h"
#include "base/CByteStream.h"

int32_t CLanPacketHelperImpl::ParseBuffer(const CByteStream& buffer, CLanPacket* packet)
{
    return ParseFrame(buffer.GetData(), buffer.GetLength(), packet);
}

int32_t CLanPacketHelperImpl::ParseFrame(const uint8_t*, int32_t, CLanPacket*)
{
    return -1;
}

int32_t CLanPacketHelperImpl::GetHeaderSize() const
{
    return 0;
}

int32_t CLanPacketHelperImpl::GetFrameCount(const CLanPacket&, int32_t) const
{
    return 0;
}

int32_t CLanPacketHelperImpl::BuildFrame(const CLanPacket&, int32_t, uint8_t*, int32_t, int32_t&) const
{
    return 0;
}

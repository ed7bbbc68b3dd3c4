#include "wire/CLanPacketHelper.h"
#include "wire/CLanPacket.h"
#include "wire/KvtpFrame.h"
#include "wire/StationMessageType.h"

#include <cstring>

namespace {

int32_t read_word(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8
                                | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void write_word(uint8_t* p, int32_t value)
{
    const uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

int32_t CLanPacketHelper::GetHeaderSize() const
{
    return KvtpFrame::kHeaderSize;
}

int32_t CLanPacketHelper::GetFrameCount(const CLanPacket& packet, int32_t maximum) const
{
    const int32_t room = maximum - KvtpFrame::kHeaderSize;
    if (room <= 0)
        return 0;
    return packet.GetDataLength() / room + 1;
}

int32_t CLanPacketHelper::BuildFrame(const CLanPacket& packet, int32_t index, uint8_t* buffer, int32_t maximum,
                                     int32_t& frameSize) const
{
    const CLanPacket::Header* header = packet.GetHeader();
    const int32_t room = maximum - KvtpFrame::kHeaderSize;
    if (header == nullptr || buffer == nullptr || room <= 0 || !IsValidMessageType(header->type))
        return 0;
    const int32_t length = header->length;
    const int32_t last = length / room;
    if (index < 0 || index > last)
        return 0;
    // Every frame but the last is full; an exact multiple leaves a header-only last frame.
    const int32_t frameLength = index < last ? room : length - last * room;

    std::memcpy(buffer, KvtpFrame::kMagic, 4);
    write_word(buffer + KvtpFrame::kTypeOffset, header->type);
    write_word(buffer + KvtpFrame::kTotalLengthOffset, header->room);
    write_word(buffer + KvtpFrame::kFrameLengthOffset, frameLength);
    write_word(buffer + KvtpFrame::kValueOffset, header->value);
    write_word(buffer + KvtpFrame::kCountOffset, last + 1);
    write_word(buffer + KvtpFrame::kIndexOffset, index);
    if (frameLength > 0)
        std::memcpy(buffer + KvtpFrame::kHeaderSize, packet.GetData() + static_cast<size_t>(index) * room,
                    static_cast<size_t>(frameLength));
    frameSize = frameLength + KvtpFrame::kHeaderSize;
    return 1;
}

int32_t CLanPacketHelper::ParseFrame(const uint8_t* bytes, int32_t available, CLanPacket* packet)
{
    if (bytes == nullptr || available < 4)
        return 0;
    if (std::memcmp(bytes, KvtpFrame::kMagic, 4) != 0)
        return -1;
    if (available < KvtpFrame::kHeaderSize)
        return 0;

    const int32_t type = read_word(bytes + KvtpFrame::kTypeOffset);
    const int32_t total = read_word(bytes + KvtpFrame::kTotalLengthOffset);
    const int32_t frameLength = read_word(bytes + KvtpFrame::kFrameLengthOffset);
    if (!IsValidMessageType(type) || total < 0 || frameLength < 0 || total < frameLength)
        return -1;
    if (frameLength > INT32_MAX - KvtpFrame::kHeaderSize)
        return -1;
    const int32_t frameSize = KvtpFrame::kHeaderSize + frameLength;
    if (available < frameSize)
        return 0;
    if (packet == nullptr)
        return frameSize;

    packet->Free();
    const int32_t value = read_word(bytes + KvtpFrame::kValueOffset);
    if (!packet->Create(type, value, bytes + KvtpFrame::kHeaderSize, frameLength))
        return -1;
    CLanPacket::Header* header = packet->GetHeader();
    header->room = total;
    header->count = read_word(bytes + KvtpFrame::kCountOffset);
    header->index = read_word(bytes + KvtpFrame::kIndexOffset);
    return frameSize;
}

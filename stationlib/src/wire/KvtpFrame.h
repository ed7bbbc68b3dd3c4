#pragma once

#include <cstdint>

// Wire layout of one frame: "KVTP", then seven little-endian int32 words, then data.
struct KvtpFrame
{
    static constexpr uint8_t kMagic[4] = {'K', 'V', 'T', 'P'};
    static constexpr int32_t kHeaderSize = 28;

    static constexpr int kTypeOffset = 4;
    static constexpr int kTotalLengthOffset = 8;
    static constexpr int kFrameLengthOffset = 12;
    static constexpr int kValueOffset = 16;
    static constexpr int kCountOffset = 20;
    static constexpr int kIndexOffset = 24;
};

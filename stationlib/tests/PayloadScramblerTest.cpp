#include "wire/PayloadScrambler.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

TEST(PayloadScrambler, RoundTripsAnyBuffer)
{
    std::mt19937 rng(12345);
    for (int length : {1, 2, 7, 255, 4096}) {
        std::vector<uint8_t> original(static_cast<size_t>(length));
        for (auto& b : original)
            b = static_cast<uint8_t>(rng());
        auto buffer = original;
        ScramblePayload(buffer.data(), length, kStationKeyWord);
        if (length > 4) {
            EXPECT_NE(buffer, original);
        }
        DescramblePayload(buffer.data(), length, kStationKeyWord);
        EXPECT_EQ(buffer, original) << length;
    }
}

TEST(PayloadScrambler, ExtremeCipherBytesFeedTheStateAlike)
{
    // Decoding two cipher texts that differ only in the first byte, 0x00 against
    // 0x80 (or 0xFF against 0x7F), yields the same bytes after it.
    for (auto pair : {std::pair<uint8_t, uint8_t>{0x00, 0x80}, std::pair<uint8_t, uint8_t>{0xFF, 0x7F}}) {
        uint8_t a[5] = {pair.first, 1, 2, 3, 4};
        uint8_t b[5] = {pair.second, 1, 2, 3, 4};
        DescramblePayload(a, 5, kStationKeyWord);
        DescramblePayload(b, 5, kStationKeyWord);
        EXPECT_NE(a[0], b[0]);
        for (int i = 1; i < 5; ++i)
            EXPECT_EQ(a[i], b[i]) << i;
    }
}

TEST(PayloadScrambler, KnownCipherText)
{
    // Worked out apart from this code from the cipher's definition; the cipher
    // text holds 0x00, 0xFF, 0x80 and 0x7F, so both state substitutions and the
    // carrying of the state over the following bytes are checked.
    const std::vector<uint8_t> plain = {0x3C, 0x8B, 0x2A, 0x53, 0x78, 0x0F, 0xF2, 0x33, 0x51, 0x7F};
    const std::vector<uint8_t> cipher = {0x00, 0xFF, 0x12, 0x80, 0x7F, 0x00, 0xFF, 0x34, 0x56, 0x78};
    auto buffer = plain;
    ScramblePayload(buffer.data(), static_cast<int32_t>(buffer.size()), kStationKeyWord);
    EXPECT_EQ(buffer, cipher);
    DescramblePayload(buffer.data(), static_cast<int32_t>(buffer.size()), kStationKeyWord);
    EXPECT_EQ(buffer, plain);
}

TEST(PayloadScrambler, EmptyBufferIsLeftAlone)
{
    uint8_t byte = 0x33;
    ScramblePayload(&byte, 0, kStationKeyWord);
    DescramblePayload(&byte, 0, kStationKeyWord);
    EXPECT_EQ(byte, 0x33);
    ScramblePayload(nullptr, 5, kStationKeyWord);
}

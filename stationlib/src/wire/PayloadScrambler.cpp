#include "wire/PayloadScrambler.h"

namespace {

inline uint32_t feed(uint32_t state, uint8_t cipher)
{
    // 0x00 and 0xFF never enter the state as themselves.
    const uint8_t f = cipher == 0x00 ? 0x80 : cipher == 0xFF ? 0x7F : cipher;
    return (state << 8) | f;
}

inline uint8_t key_byte(uint32_t state)
{
    return static_cast<uint8_t>((state >> 23) ^ (state >> 20));
}

} // namespace

void ScramblePayload(uint8_t* buffer, int32_t length, uint32_t key)
{
    if (buffer == nullptr)
        return;
    uint32_t s = key;
    for (int32_t i = 0; i < length; ++i) {
        const uint8_t out = buffer[i] ^ key_byte(s);
        buffer[i] = out;
        s = feed(s, out);
    }
}

void DescramblePayload(uint8_t* buffer, int32_t length, uint32_t key)
{
    if (buffer == nullptr)
        return;
    uint32_t s = key;
    for (int32_t i = 0; i < length; ++i) {
        const uint8_t in = buffer[i];
        buffer[i] = in ^ key_byte(s);
        s = feed(s, in);
    }
}

#include "archive/ClientFieldCodec.h"

#include <charconv>
#include <cstdint>
#include <vector>

namespace {

const uint8_t kFieldKey = 0xE3;

// Two hexadecimal digits, high digit first.
bool parse_pair(const char* digits, unsigned& value)
{
    const auto parsed = std::from_chars(digits, digits + 2, value, 16);
    return parsed.ec == std::errc() && parsed.ptr == digits + 2;
}

// Bits 0, 2, 4 and 6 of a pair, packed into four bits.
uint8_t even_bits(unsigned pair)
{
    uint8_t nibble = 0;
    for (int j = 0; j < 4; ++j)
        nibble |= static_cast<uint8_t>(((pair >> (2 * j)) & 1u) << j);
    return nibble;
}

} // namespace

std::string scramble_client_field(const std::string& encoded, int count)
{
    if (count <= 0 || encoded.size() != 4 * static_cast<size_t>(count))
        return std::string();

    std::vector<uint8_t> bytes(static_cast<size_t>(count), 0);
    const char* text = encoded.data();
    for (int i = 0; i < count; ++i) {
        unsigned low = 0;
        unsigned high = 0;
        if (!parse_pair(text + 4 * i, low))
            break;
        bytes[i] = even_bits(low);
        if (!parse_pair(text + 4 * i + 2, high))
            break;
        bytes[i] = static_cast<uint8_t>((bytes[i] | (even_bits(high) << 4)) ^ kFieldKey);
    }

    std::string result;
    for (uint8_t byte : bytes) {
        if (byte == 0)
            break;
        result.push_back(static_cast<char>(byte));
    }
    return result;
}

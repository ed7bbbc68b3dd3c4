#pragma once

// The byte forms of what travels between the library and a station.

#include "archive/CObjectStoreXmlHelper.h"
#include "base/CByteStream.h"
#include "wire/KvtpFrame.h"
#include "wire/StationMessageType.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <numeric>
#include <string>
#include <vector>

inline std::vector<uint8_t> bytes_of(const CByteStream& stream)
{
    const uint8_t* data = stream.GetData();
    return data ? std::vector<uint8_t>(data, data + stream.GetLength()) : std::vector<uint8_t>();
}

inline std::vector<uint8_t> bytes_of(const CObjectStoreXmlHelper& record)
{
    CByteStream stream;
    EXPECT_TRUE(record.SaveToStream(&stream));
    return bytes_of(stream);
}

// Little-endian 32-bit words, back to back.
inline std::vector<uint8_t> words(std::initializer_list<int32_t> values)
{
    CByteStream stream;
    for (int32_t value : values)
        stream.WriteInt32(value);
    return bytes_of(stream);
}

// An int32 length and the text's bytes.
inline std::vector<uint8_t> text_body(const std::string& text)
{
    CByteStream stream;
    stream.WriteStdString(text);
    return bytes_of(stream);
}

inline std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The text of the length-prefixed string a body starts with.
inline std::string leading_string(const std::vector<uint8_t>& body)
{
    CByteStream stream;
    stream.Attach(body.data(), static_cast<int32_t>(body.size()));
    std::string text;
    EXPECT_TRUE(stream.ReadString(text));
    return text;
}

// n bytes counting up from `first`.
inline std::vector<uint8_t> pattern(size_t n, uint8_t first = 1)
{
    std::vector<uint8_t> data(n);
    std::iota(data.begin(), data.end(), first);
    return data;
}

// One frame as it travels, its header words given as they stand.
inline std::vector<uint8_t> frame_bytes(int32_t type, int32_t total, int32_t frameLength, int32_t count,
                                        int32_t index, const std::vector<uint8_t>& data)
{
    return std::vector<uint8_t>(KvtpFrame::kMagic, KvtpFrame::kMagic + 4) +
           words({type, total, frameLength, 0, count, index}) + data;
}

// The frames of a 24-byte answer in three fragments, in the order given.
inline std::vector<uint8_t> answer_fragments(std::initializer_list<int32_t> order)
{
    std::vector<uint8_t> bytes;
    for (int32_t index : order)
        bytes = bytes + frame_bytes(kMessageAnswer, 24, 8, 3, index, pattern(8, static_cast<uint8_t>(8 * index)));
    return bytes;
}

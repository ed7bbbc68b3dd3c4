#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/StringHelpers.h"

class CByteStream;

// A station item: a small record that travels only in the byte form, field after
// field, never through the field archive.
class StationItem
{
public:
    StationItem();
    // Through the byte form, as CopyFrom (other, 0).
    StationItem(const StationItem& other);
    StationItem& operator=(const StationItem& other) = default;

    // Appends the byte form; false for a null stream or a failed append.
    bool Write(CByteStream* stream) const;
    // Reads the byte form; a non-zero flag reads State, Int10 and Time but keeps
    // the item's own. False for a null stream or at the first failed read.
    bool Read(CByteStream* stream, int flag);
    // Replaces Data by a zero-filled block of n bytes (none for 0 or less).
    bool SetDataLength(int32_t n);
    bool CopyFrom(const StationItem* other, int flag);

    int32_t ID = 0;  // the key of the item cache
    int32_t Int1 = 0;
    int32_t Int2 = 0;
    int32_t Int3 = 0;
    int32_t Int4 = 0;
    int32_t Int5 = 0;
    int32_t Int6 = -1;
    int32_t Int7 = 0;
    int32_t Int8 = 0;
    int32_t Int9 = 5;
    std::string Text1;
    std::string Text2;
    int32_t DataLength = 0;
    std::vector<uint8_t> Data;
    int32_t State = 0;  // a removed item is deleted only in state 2
    int32_t Int10 = 0;
    PackedDateTime Time{};
    int32_t Int11 = -1;
};

#pragma once

#include <cstdint>
#include <string>

class CByteStream;

// Personnel data that an event may carry in its data block; read only.
class PersonnelRecord
{
public:
    PersonnelRecord() = default;

    // The fields in order; false for a null stream or at the first failed read.
    bool Read(CByteStream* stream);

    int32_t Kind = 0;  // 0 the object's own personnel, otherwise service personnel
    std::string Text1;
    std::string Text2;
    std::string Text3;
    int16_t Short1 = -1;
    int16_t Short2 = -1;
    int16_t Short3 = -1;
    int32_t Int1 = 0;
    int32_t Int2 = -1;
    int32_t Int3 = 0;
    int32_t Int4 = 0;
    int32_t Int5 = 0;
};

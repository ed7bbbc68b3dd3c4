#include "records/PersonnelRecord.h"

#include "base/CByteStream.h"

namespace {

bool read_int(CByteStream& stream, int32_t& field)
{
    int32_t value = 0;
    if (!stream.ReadInt32(value))
        return false;
    field = value;
    return true;
}

bool read_short(CByteStream& stream, int16_t& field)
{
    int16_t value = 0;
    if (!stream.ReadInt16(value))
        return false;
    field = value;
    return true;
}

} // namespace

bool PersonnelRecord::Read(CByteStream* stream)
{
    if (stream == nullptr)
        return false;
    return read_int(*stream, Kind) && stream->ReadString(Text1) && stream->ReadString(Text2) &&
           stream->ReadString(Text3) && read_short(*stream, Short1) && read_short(*stream, Short2) &&
           read_short(*stream, Short3) && read_int(*stream, Int1) && read_int(*stream, Int2) &&
           read_int(*stream, Int3) && read_int(*stream, Int4) && read_int(*stream, Int5);
}

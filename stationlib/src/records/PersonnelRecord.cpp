#include "records/PersonnelRecord.h"

#include "base/CByteStream.h"

namespace {

// A read that runs out of bytes leaves the field 0.
bool read_int(CByteStream& stream, int32_t& field)
{
    return stream.ReadInt32(field);
}

bool read_short(CByteStream& stream, int16_t& field)
{
    return stream.ReadInt16(field);
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

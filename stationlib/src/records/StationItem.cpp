#include "records/StationItem.h"

#include <new>

#include "archive/RecordCopyError.h"
#include "base/CByteStream.h"

StationItem::StationItem() : Time(packed_local_now()) {}

StationItem::StationItem(const StationItem& other)
{
    if (!CopyFrom(&other, 0))
        throw RecordCopyError();
}

bool StationItem::Write(CByteStream* stream) const
{
    if (stream == nullptr)
        return false;
    for (int32_t value : {ID, Int2, Int3, Int4, Int5, Int6, Int1, Int7, Int8, Int9})
        if (!stream->WriteInt32(value))
            return false;
    if (!stream->WriteString(Text1.c_str()) || !stream->WriteString(Text2.c_str()))
        return false;
    if (!stream->WriteInt32(DataLength))
        return false;
    if (DataLength > 0) {
        if (static_cast<size_t>(DataLength) > Data.size() || !stream->WriteBytes(Data.data(), DataLength))
            return false;
    }
    return stream->WriteInt32(State) && stream->WriteInt32(Int10) &&
           stream->WriteBytes(Time.data(), static_cast<int32_t>(Time.size())) && stream->WriteInt32(Int11);
}

bool StationItem::Read(CByteStream* stream, int flag)
{
    if (stream == nullptr)
        return false;
    // Int1 travels after Int6.
    // A read that runs out of bytes leaves its field 0.
    for (int32_t* field : {&ID, &Int2, &Int3, &Int4, &Int5, &Int6, &Int1, &Int7, &Int8, &Int9})
        if (!stream->ReadInt32(*field))
            return false;
    if (!stream->ReadString(Text1) || !stream->ReadString(Text2))
        return false;
    int32_t length = 0;
    if (!stream->ReadInt32(length))
        return false;
    // A length from the wire is believed only as far as the bytes that follow it.
    if (length > stream->GetRemaining())
        return false;
    if (!SetDataLength(length))
        return false;
    if (length > 0 && !stream->ReadBytes(Data.data(), length))
        return false;

    int32_t state = 0;
    int32_t int10 = 0;
    PackedDateTime time{};
    if (!stream->ReadInt32(flag == 0 ? State : state))
        return false;
    if (!stream->ReadInt32(flag == 0 ? Int10 : int10))
        return false;
    if (!stream->ReadBytes(time.data(), static_cast<int32_t>(time.size())))
        return false;
    if (flag == 0)
        Time = time;
    return stream->ReadInt32(Int11);
}

bool StationItem::SetDataLength(int32_t n)
{
    std::vector<uint8_t>().swap(Data);
    DataLength = 0;
    if (n > 0) {
        try {
            Data.assign(static_cast<size_t>(n), 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    DataLength = n;
    return true;
}

bool StationItem::CopyFrom(const StationItem* other, int flag)
{
    if (other == nullptr)
        return false;
    CByteStream stream;
    stream.AcceptWrittenStrings();
    if (!other->Write(&stream))
        return false;
    stream.Rewind();
    return Read(&stream, flag);
}

#include "records/StationItem.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/CByteStream.h"
#include "records/PersonnelRecord.h"
#include "StationRecordSupport.h"

namespace {

using record_test::fill_stream;
using record_test::stream_bytes;

std::string item_bytes(const StationItem& item)
{
    CByteStream stream;
    EXPECT_TRUE(item.Write(&stream));
    return stream_bytes(stream);
}

// Reads an item from these bytes; where the read stopped goes to `position`.
bool read_item(StationItem& item, const std::string& bytes, int flag = 0, int32_t* position = nullptr)
{
    CByteStream stream;
    fill_stream(stream, bytes);
    const bool read = item.Read(&stream, flag);
    if (position != nullptr)
        *position = stream.GetPosition();
    return read;
}

std::string int_bytes(int32_t value)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<char>(static_cast<uint32_t>(value) >> (8 * i));
    return bytes;
}

StationItem filled_item()
{
    StationItem item;
    item.ID = 100;
    item.Int1 = 1;
    item.Int2 = 2;
    item.Int3 = 3;
    item.Int4 = 4;
    item.Int5 = 5;
    item.Int6 = 6;
    item.Int7 = 7;
    item.Int8 = 8;
    item.Int9 = 9;
    item.Text1 = "first";
    item.Text2 = "second";
    EXPECT_TRUE(item.SetDataLength(3));
    item.Data = {0xA1, 0xB2, 0xC3};
    item.State = 2;
    item.Int10 = 10;
    item.Time = PackedDateTime{1, 2, 3, 4, 5, 0xE8, 0x07, 0};
    item.Int11 = 11;
    return item;
}

TEST(StationItem, DefaultByteForm)
{
    StationItem item;
    const std::string bytes = item_bytes(item);
    ASSERT_EQ(bytes.size(), 72u);
    // ID, Int2..Int5, Int6 (-1), Int1, Int7, Int8, Int9 (5).
    EXPECT_EQ(bytes.substr(0, 40), int_bytes(0) + int_bytes(0) + int_bytes(0) + int_bytes(0) + int_bytes(0) +
                                       int_bytes(-1) + int_bytes(0) + int_bytes(0) + int_bytes(0) + int_bytes(5));
    EXPECT_EQ(bytes.substr(40, 12), std::string(12, '\0'));  // two empty texts and DataLength 0
    EXPECT_EQ(bytes.substr(52, 8), std::string(8, '\0'));   // State, Int10
    EXPECT_EQ(bytes.substr(60, 8), std::string(reinterpret_cast<const char*>(item.Time.data()), 8));
    EXPECT_EQ(bytes.substr(68), int_bytes(-1));
}

TEST(StationItem, Int1TravelsAfterInt6)
{
    StationItem item;
    item.Int1 = 0x11;
    item.Int6 = 0x66;
    const std::string bytes = item_bytes(item);
    EXPECT_EQ(bytes.substr(20, 8), int_bytes(0x66) + int_bytes(0x11));

    StationItem read;
    ASSERT_TRUE(read_item(read, bytes));
    EXPECT_EQ(read.Int1, 0x11);
    EXPECT_EQ(read.Int6, 0x66);
}

TEST(StationItem, RoundTripAndCopies)
{
    const StationItem item = filled_item();
    const std::string bytes = item_bytes(item);
    EXPECT_EQ(bytes.size(), 72u + 5 + 6 + 3);

    StationItem read;
    int32_t position = 0;
    ASSERT_TRUE(read_item(read, bytes + "tail", 0, &position));
    EXPECT_EQ(item_bytes(read), bytes);
    EXPECT_EQ(position, static_cast<int32_t>(bytes.size()));

    StationItem copy(item);
    EXPECT_EQ(item_bytes(copy), bytes);
    // Also a text longer than the station sends.
    StationItem wordy = item;
    wordy.Text1.assign(CByteStream::kMaxStringLength + 1, 't');
    EXPECT_EQ(StationItem(wordy).Text1, wordy.Text1);
    StationItem assigned;
    ASSERT_TRUE(assigned.CopyFrom(&item, 0));
    EXPECT_EQ(item_bytes(assigned), bytes);
    EXPECT_FALSE(assigned.CopyFrom(nullptr, 0));
    EXPECT_FALSE(item.Write(nullptr));
    EXPECT_FALSE(assigned.Read(nullptr, 0));
}

TEST(StationItem, ReadWithFlagKeepsStateInt10AndTime)
{
    const std::string bytes = item_bytes(filled_item());
    StationItem item;
    item.State = 7;
    item.Int10 = 70;
    item.Time = PackedDateTime{9, 9, 9, 9, 9, 9, 9, 9};
    ASSERT_TRUE(read_item(item, bytes, 1));
    EXPECT_EQ(item.State, 7);
    EXPECT_EQ(item.Int10, 70);
    EXPECT_EQ(item.Time, (PackedDateTime{9, 9, 9, 9, 9, 9, 9, 9}));
    // Everything else, and Int11 after the kept fields, is taken.
    EXPECT_EQ(item.ID, 100);
    EXPECT_EQ(item.Text2, "second");
    EXPECT_EQ(item.Data, (std::vector<uint8_t>{0xA1, 0xB2, 0xC3}));
    EXPECT_EQ(item.Int11, 11);

    StationItem copy;
    copy.State = 2;
    ASSERT_TRUE(copy.CopyFrom(&item, 1));
    EXPECT_EQ(copy.State, 2);
}

TEST(StationItem, TruncatedStreamFailsWhereItEnds)
{
    const std::string bytes = item_bytes(filled_item());
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        StationItem item;
        EXPECT_FALSE(read_item(item, bytes.substr(0, cut))) << cut;
    }
    // Fields before the end are taken; the one it ends in reads as 0.
    StationItem item;
    item.Int4 = 44;
    EXPECT_FALSE(read_item(item, bytes.substr(0, 14)));
    EXPECT_EQ(item.ID, 100);
    EXPECT_EQ(item.Int3, 3);
    EXPECT_EQ(item.Int4, 0);
}

TEST(StationItem, DataLengthBounds)
{
    StationItem item;
    item.DataLength = -4;
    const std::string negative = item_bytes(item);
    EXPECT_EQ(negative.size(), 72u);
    StationItem read;
    ASSERT_TRUE(read_item(read, negative));
    EXPECT_EQ(read.DataLength, -4);
    EXPECT_TRUE(read.Data.empty());

    // A length beyond the bytes left fails before any block is made.
    std::string oversized = item_bytes(StationItem());
    oversized.replace(48, 4, int_bytes(0x7FFFFFFF));
    read.Data = {1};
    EXPECT_FALSE(read_item(read, oversized));
    EXPECT_EQ(read.Data, (std::vector<uint8_t>{1}));

    // A block shorter than its length is not written.
    item.DataLength = 5;
    item.Data = {1, 2};
    CByteStream out;
    EXPECT_FALSE(item.Write(&out));

    ASSERT_TRUE(item.SetDataLength(4));
    EXPECT_EQ(item.Data, (std::vector<uint8_t>{0, 0, 0, 0}));
    ASSERT_TRUE(item.SetDataLength(0));
    EXPECT_TRUE(item.Data.empty());
}

TEST(PersonnelRecord, ReadsItsFieldsInOrder)
{
    CByteStream stream;
    ASSERT_TRUE(stream.WriteInt32(7));
    ASSERT_TRUE(stream.WriteStdString("Ivanov"));
    ASSERT_TRUE(stream.WriteStdString("guard"));
    ASSERT_TRUE(stream.WriteStdString("third"));
    for (int16_t value : {1, 2, 3})
        ASSERT_TRUE(stream.WriteInt16(value));
    for (int32_t value : {10, 20, 30, 40, 50})
        ASSERT_TRUE(stream.WriteInt32(value));
    const std::string bytes = stream_bytes(stream);

    PersonnelRecord defaults;
    EXPECT_EQ(defaults.Short1, -1);
    EXPECT_EQ(defaults.Int2, -1);

    PersonnelRecord record;
    CByteStream input;
    fill_stream(input, bytes);
    ASSERT_TRUE(record.Read(&input));
    EXPECT_EQ(record.Kind, 7);
    EXPECT_EQ(record.Text1, "Ivanov");
    EXPECT_EQ(record.Text2, "guard");
    EXPECT_EQ(record.Text3, "third");
    EXPECT_EQ(record.Short3, 3);
    EXPECT_EQ(record.Int1, 10);
    EXPECT_EQ(record.Int5, 50);

    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        PersonnelRecord partial;
        CByteStream truncated;
        fill_stream(truncated, bytes.substr(0, cut));
        EXPECT_FALSE(partial.Read(&truncated)) << cut;
    }
    EXPECT_FALSE(record.Read(nullptr));
}

} // namespace

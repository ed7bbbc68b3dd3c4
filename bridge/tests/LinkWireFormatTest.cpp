// The byte forms of the video-system link: frames and element records.

#include "model/ElementRecord.h"
#include "vms/LinkFrameReader.h"
#include "vms/LinkProtocol.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(LinkFrameTest, FramesCarryStartBytesLittleEndianLengthAndCommand)
{
    struct Case {
        uint8_t command;
        std::string payload;
        std::vector<uint8_t> header;
    };
    const Case cases[] = {
        {LINK_ERROR, "Unauthorized", {0x0D, 0x25, 12, 0, 0, 0, 0xFF}},
        {LINK_ERROR, "Wrong data format", {0x0D, 0x25, 17, 0, 0, 0, 0xFF}},
        {LINK_LOGIN_OK, "OK", {0x0D, 0x25, 2, 0, 0, 0, 0x02}},
        {LINK_GET_STATE, "", {0x0D, 0x25, 0, 0, 0, 0, 0x03}},
        {LINK_STATE, std::string(0x010203, 'x'), {0x0D, 0x25, 0x03, 0x02, 0x01, 0, 0x04}},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> frame = make_link_frame(c.command, c.payload);
        ASSERT_EQ(frame.size(), kLinkHeaderSize + c.payload.size());
        EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + kLinkHeaderSize), c.header);
        EXPECT_EQ(std::string(frame.begin() + kLinkHeaderSize, frame.end()), c.payload);

        LinkHeader header;
        ASSERT_TRUE(read_link_header(frame.data(), header));
        EXPECT_EQ(header.length, c.payload.size());
        EXPECT_EQ(header.command, c.command);
    }
    const uint8_t swapped[kLinkHeaderSize] = {0x25, 0x0D, 0, 0, 0, 0, 1};
    LinkHeader header;
    EXPECT_FALSE(read_link_header(swapped, header));
}

TEST(LinkFrameTest, LoginIsBase64OfLoginAtPassword)
{
    EXPECT_EQ(link_login_text("pelto", "pelto"), "cGVsdG9AcGVsdG8=");
    EXPECT_EQ(link_login_text("", ""), "QA==");
}

TEST(LinkFrameReaderTest, SameFramesWhateverTheCutsOfTheStream)
{
    std::vector<uint8_t> stream;
    for (const auto& frame : {make_link_frame(LINK_LOGIN_OK, "OK"), make_link_frame(LINK_STATE, ""),
                              make_link_frame(LINK_UPDATE, std::string(3000, 'u'))})
        stream.insert(stream.end(), frame.begin(), frame.end());

    for (size_t piece : {size_t(1), size_t(6), size_t(7), size_t(1000), stream.size()}) {
        LinkFrameReader reader;
        std::vector<LinkFrameReader::Frame> frames;
        for (size_t at = 0; at < stream.size(); at += piece) {
            reader.Feed(stream.data() + at, std::min(piece, stream.size() - at));
            LinkFrameReader::Frame frame;
            while (reader.Next(frame) == LinkFrameReader::Result::Frame)
                frames.push_back(frame);
        }
        ASSERT_EQ(frames.size(), 3u) << piece;
        EXPECT_EQ(frames[0].command, LINK_LOGIN_OK);
        EXPECT_EQ(frames[0].payload, bytes("OK"));
        EXPECT_EQ(frames[1].command, LINK_STATE);
        EXPECT_TRUE(frames[1].payload.empty());
        EXPECT_EQ(frames[2].payload.size(), 3000u);
        EXPECT_EQ(reader.Buffered(), 0u);
    }
}


TEST(ElementRecordTest, RecordLayoutIsPackedLittleEndian)
{
    auto element = std::make_shared<KorvelElement>();
    element->ID = 0x01020304;
    element->Group = -1;
    element->ObjectID = 7;
    element->Type = 0x7FFFFFFF;
    element->StateLevel = 2;
    element->State = static_cast<int32_t>(0x80000001u);
    element->Number = 0xFFFF;
    element->Name = "Склад"; // 10 bytes of UTF-8

    std::vector<uint8_t> out = {0xAA}; // records are appended
    append_element_record(element, LEVEL_SENSOR, out);
    const std::vector<uint8_t> expected = {
        0xAA,
        3,
        0x04, 0x03, 0x02, 0x01, // ID
        0xFF, 0xFF, 0xFF, 0xFF, // Group
        7, 0, 0, 0,             // ObjectID
        0xFF, 0xFF, 0xFF, 0x7F, // Type
        2, 0, 0, 0,             // state level
        0x01, 0, 0, 0x80,       // State
        0xFF, 0xFF, 0, 0,       // Number
        10, 0, 0, 0,            // name length
        0xD0, 0xA1, 0xD0, 0xBA, 0xD0, 0xBB, 0xD0, 0xB0, 0xD0, 0xB4,
    };
    EXPECT_EQ(out, expected);

    ElementRecord record;
    size_t offset = 1;
    ASSERT_TRUE(read_element_record(out.data(), out.size(), offset, record));
    EXPECT_EQ(offset, out.size());
    EXPECT_EQ(record.level, LEVEL_SENSOR);
    EXPECT_EQ(record.ID, element->ID);
    EXPECT_EQ(record.Group, -1);
    EXPECT_EQ(record.ObjectID, 7);
    EXPECT_EQ(record.Type, element->Type);
    EXPECT_EQ(record.StateLevel, 2);
    EXPECT_EQ(record.State, element->State);
    EXPECT_EQ(record.Number, 0xFFFF);
    EXPECT_EQ(record.Name, element->Name);
}


TEST(ElementRecordTest, RecordCutAnywhereIsNotRead)
{
    auto element = std::make_shared<KorvelElement>();
    element->Name = "North gate";
    std::vector<uint8_t> out;
    append_element_record(element, LEVEL_OBJECT, out);
    for (size_t size = 0; size < out.size(); ++size) {
        ElementRecord record;
        size_t offset = 0;
        EXPECT_FALSE(read_element_record(out.data(), size, offset, record)) << size;
        EXPECT_EQ(offset, 0u);
    }
    // A name length beyond the bytes received is refused, not trusted.
    out[29] = 0xFF;
    out[32] = 0xFF;
    ElementRecord record;
    size_t offset = 0;
    EXPECT_FALSE(read_element_record(out.data(), out.size(), offset, record));
}

TEST(ElementRecordDeathTest, NullElementAsserts)
{
    std::vector<uint8_t> out;
    EXPECT_EXIT(append_element_record(nullptr, LEVEL_GROUP, out), ::testing::ExitedWithCode(1),
                "ASSERTION FAILED at korvel.korvel-common\\([0-9]+\\): element");
}

} // namespace

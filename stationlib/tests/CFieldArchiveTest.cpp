#include "archive/CFieldArchive.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <array>
#include <cstdint>
#include <string>

#include "base/XmlHelpers.h"
#include "StationRecordSupport.h"

namespace {

using RecordDocument = record_test::RecordElement;

TEST(CFieldArchive, IntegersWrittenUnsignedAndReadBack)
{
    struct IntCase
    {
        bool is_short;
        int32_t value;
        const char* text;
    };
    const IntCase cases[] = {{false, 0, "0"},          {false, -1, "4294967295"},
                             {false, INT32_MIN, "2147483648"}, {false, INT32_MAX, "2147483647"},
                             {true, -1, "65535"},       {true, INT16_MIN, "32768"},
                             {true, INT16_MAX, "32767"}};
    for (const IntCase& c : cases) {
        RecordDocument doc;
        CFieldArchive out(doc.element);
        ASSERT_TRUE(c.is_short ? out.SetShort("V", static_cast<int16_t>(c.value)) : out.SetInt("V", c.value));
        EXPECT_EQ(doc.Var("V"), c.text);
        doc.Reparse();
        CFieldArchive in(doc.element);
        int16_t s = 7;
        int32_t i = 7;
        EXPECT_TRUE(c.is_short ? in.GetShort("V", s) : in.GetInt("V", i));
        EXPECT_EQ(c.is_short ? s : i, c.value) << c.text;
    }
}

TEST(CFieldArchive, IntegerTextsAsFoundInDocuments)
{
    struct TextCase
    {
        const char* text;
        int16_t as_short;
        int32_t as_int;
    };
    const TextCase cases[] = {
        {"65535", -1, 65535},
        {"65536", 0, 65536},
        {"4294967296", -1, 0},  // int16 saturates at INT32_MAX first; int32 keeps the low bits
        {"2147483648", -1, INT32_MIN},
        {"-1", -1, -1},
        {"-65537", -1, -65537},
        {" 42", 42, 42},
        {"12abc", 12, 12},
        {"abc", 0, 0},
        {"", 0, 0},
        {"99999999999999999999", -1, -1},  // both saturate
    };
    for (const TextCase& c : cases) {
        RecordDocument doc;
        xml_set_var(doc.element, "V", c.text);
        CFieldArchive archive(doc.element);
        int16_t s = 99;
        int32_t i = 99;
        EXPECT_TRUE(archive.GetShort("V", s));
        EXPECT_TRUE(archive.GetInt("V", i));
        EXPECT_EQ(s, c.as_short) << '"' << c.text << '"';
        EXPECT_EQ(i, c.as_int) << '"' << c.text << '"';
    }
}

TEST(CFieldArchive, MissingFieldsReadEmptyAndKeepBinary)
{
    RecordDocument doc;
    CFieldArchive archive(doc.element);
    int16_t s = 5;
    int32_t i = -1;
    std::string text = "preset";
    std::array<uint8_t, 8> date = {1, 2, 3, 4, 5, 6, 7, 8};
    const std::array<uint8_t, 8> before = date;
    EXPECT_TRUE(archive.GetShort("Num", s));
    EXPECT_TRUE(archive.GetInt("Key", i));
    EXPECT_TRUE(archive.GetString("Name", text));
    EXPECT_TRUE(archive.GetBinary("CaptureDateTime", date.data(), 8));
    EXPECT_EQ(s, 0);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(date, before);
}

TEST(CFieldArchive, KeysAreCaseSensitiveAndFirstDuplicateWins)
{
    RecordDocument doc;
    doc.Parse("<var name=\"id\">7</var>"
                      "<var name=\"Name\"><b/></var>"  // no text child: skipped
                      "<var name=\"Name\">first</var>"
                      "<var name=\"Name\">second</var>"
                      "<var>orphan</var>"
                      "<vars name=\"Key\">3</vars>");
    CFieldArchive archive(doc.element);
    int32_t id = -5;
    int32_t key = -5;
    std::string name;
    EXPECT_TRUE(archive.GetInt("ID", id));
    EXPECT_TRUE(archive.GetInt("Key", key));
    EXPECT_TRUE(archive.GetString("Name", name));
    EXPECT_EQ(id, 0);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(name, "first");

    // Writing updates the element that reading finds.
    ASSERT_TRUE(archive.SetString("Name", "third"));
    std::string texts;
    for (const TiXmlElement* var = doc.element->FirstChildElement("var"); var;
         var = var->NextSiblingElement("var"))
        texts += std::string(var->GetText() ? var->GetText() : "-") + "|";
    EXPECT_EQ(texts, "7|-|third|second|orphan|");
    EXPECT_TRUE(archive.GetString("Name", name));
    EXPECT_EQ(name, "third");
}

TEST(CFieldArchive, WritingAppendsInCallOrderAndFillsEmptyElements)
{
    RecordDocument doc;
    doc.Parse("<var name=\"Empty\"></var><var name=\"Child\"><b/></var>");
    CFieldArchive archive(doc.element);
    ASSERT_TRUE(archive.SetString("Empty", "e"));
    ASSERT_TRUE(archive.SetInt("B", 2));
    ASSERT_TRUE(archive.SetString("Child", "c"));
    ASSERT_TRUE(archive.SetShort("A", 1));

    std::string order;
    for (const TiXmlElement* var = doc.element->FirstChildElement("var"); var;
         var = var->NextSiblingElement("var"))
        order += std::string(var->Attribute("name")) + "=" +
                 (var->FirstChild() && var->FirstChild()->ToText() ? var->FirstChild()->Value() : "*") +
                 " ";
    EXPECT_EQ(order, "Empty=e Child=* B=2 Child=c A=1 ");
    std::string child;
    EXPECT_TRUE(archive.GetString("Child", child));
    EXPECT_EQ(child, "c");
}

TEST(CFieldArchive, BinaryFieldsInXml)
{
    struct BinaryCase
    {
        const char* text;
        bool ok;
        std::array<uint8_t, 8> expected;
    };
    const std::array<uint8_t, 8> fill = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    const BinaryCase cases[] = {
        {"0102030405060708", true, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"abcdef", true, {0xAB, 0xCD, 0xEF, 0x44, 0x55, 0x66, 0x77, 0x88}},
        {"ABCDEF", true, {0xAB, 0xCD, 0xEF, 0x44, 0x55, 0x66, 0x77, 0x88}},
        {"ABC", true, {0xAB, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},   // odd digit ignored
        {"A", true, fill},
        {"010203040506070809", false, fill},                                 // 9 bytes for 8
        {"01020304050607080", true, {1, 2, 3, 4, 5, 6, 7, 8}},              // 17 digits
        {"0G", false, fill},
        {"0x01", false, fill},
        // A host's document keeps the white space around a value.
        {"\r\n\t ABCD \r\n", true, {0xAB, 0xCD, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},
    };
    for (const BinaryCase& c : cases) {
        RecordDocument doc;
        xml_set_var(doc.element, "Time", c.text);
        CFieldArchive archive(doc.element);
        std::array<uint8_t, 8> bytes = fill;
        EXPECT_EQ(archive.GetBinary("Time", bytes.data(), 8), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(bytes, c.expected) << c.text;
        }
    }

    RecordDocument doc;
    CFieldArchive archive(doc.element);
    const uint8_t data[] = {0x00, 0x0A, 0xFF, 0xE8, 0x07};
    ASSERT_TRUE(archive.SetBinary("Data", data, 5));
    ASSERT_TRUE(archive.SetBinary("None", nullptr, 0));
    EXPECT_EQ(doc.Var("Data"), "000AFFE807");
    EXPECT_EQ(doc.Var("None"), "");
    EXPECT_FALSE(archive.SetBinary("Bad", data, -1));
    uint8_t back[5] = {};
    EXPECT_TRUE(archive.GetBinary("Data", back, 5));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back), 5), std::string(reinterpret_cast<const char*>(data), 5));
    EXPECT_FALSE(archive.GetBinary("Data", back, 4));
    EXPECT_FALSE(archive.GetBinary("Data", back, -1));
}

TEST(CFieldArchive, StreamFormIsBackToBackInCallOrder)
{
    CByteStream stream;
    {
        CFieldArchive out(&stream);
        const uint8_t date[8] = {9, 7, 14, 5, 3, 0xE8, 0x07, 0};
        ASSERT_TRUE(out.SetInt("StructVer", 1));
        ASSERT_TRUE(out.SetShort("Num", -2));
        ASSERT_TRUE(out.SetString("Name", std::string("ab\0cd", 5)));  // cut at the NUL
        ASSERT_TRUE(out.SetBinary("Time", date, 8));
        ASSERT_TRUE(out.SetBinary("Empty", nullptr, 0));
    }
    const std::string expected("\x01\x00\x00\x00\xFE\xFF\x02\x00\x00\x00"
                               "ab\x09\x07\x0E\x05\x03\xE8\x07\x00",
                               20);
    ASSERT_EQ(stream.GetLength(), 20);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(stream.GetData()), 20), expected);

    CFieldArchive in(&stream);
    in.Rewind();
    int32_t version = 0;
    int16_t num = 0;
    std::string name;
    uint8_t date[8] = {};
    EXPECT_TRUE(in.GetInt("x", version));
    EXPECT_TRUE(in.GetShort("x", num));
    EXPECT_TRUE(in.GetString("x", name));
    EXPECT_TRUE(in.GetBinary("x", date, 8));
    EXPECT_TRUE(in.GetBinary("x", nullptr, 0));
    EXPECT_EQ(version, 1);
    EXPECT_EQ(num, -2);
    EXPECT_EQ(name, "ab");
    EXPECT_EQ(date[6], 0x07);
    EXPECT_EQ(stream.GetRemaining(), 0);
}

TEST(CFieldArchive, FailedStreamReadsLeaveTheCursor)
{
    // Three bytes: too few for an int32, enough for one int16.
    const uint8_t three[] = {0x01, 0x02, 0x03};
    CByteStream stream;
    ASSERT_TRUE(stream.Attach(three, 3));
    CFieldArchive archive(&stream);
    int32_t i = 77;
    std::string s = "keep";
    uint8_t bytes[4] = {};
    EXPECT_FALSE(archive.GetInt("a", i));
    EXPECT_EQ(i, 0);
    EXPECT_FALSE(archive.GetString("b", s));
    EXPECT_EQ(s, "keep");
    EXPECT_FALSE(archive.GetBinary("c", bytes, 4));
    EXPECT_FALSE(archive.GetBinary("c", bytes, -1));
    EXPECT_EQ(stream.GetRemaining(), 3);
    int16_t h = 0;
    EXPECT_TRUE(archive.GetShort("d", h));
    EXPECT_EQ(h, 0x0201);
    EXPECT_FALSE(archive.GetShort("e", h));
    EXPECT_EQ(h, 0);
    EXPECT_EQ(stream.GetRemaining(), 1);

    // A length word promising more than follows.
    const uint8_t promise[] = {0x05, 0x00, 0x00, 0x00, 'a', 'b'};
    ASSERT_TRUE(stream.Attach(promise, sizeof promise));
    EXPECT_FALSE(archive.GetString("f", s));
    EXPECT_EQ(stream.GetRemaining(), static_cast<int32_t>(sizeof promise));
}

TEST(CFieldArchive, OwnStreamCopiesARecord)
{
    CFieldArchive copy;
    ASSERT_TRUE(copy.SetInt("ID", -1));
    ASSERT_TRUE(copy.SetString("Name", "\xC8\xE2\xE0\xED"));
    copy.Rewind();
    int32_t id = 0;
    std::string name;
    EXPECT_TRUE(copy.GetInt("ID", id));
    EXPECT_TRUE(copy.GetString("Name", name));
    EXPECT_EQ(id, -1);
    EXPECT_EQ(name, "\xC8\xE2\xE0\xED");
    EXPECT_FALSE(copy.GetInt("More", id));
}

TEST(CFieldArchive, WithNeitherNodeNorStreamEverythingFails)
{
    CFieldArchive none(static_cast<TiXmlNode*>(nullptr));
    CFieldArchive none_stream(static_cast<CByteStream*>(nullptr));
    for (CFieldArchive* archive : {&none, &none_stream}) {
        int16_t s = 0;
        int32_t i = 0;
        std::string t;
        uint8_t b[2] = {};
        EXPECT_FALSE(archive->SetShort("k", 1));
        EXPECT_FALSE(archive->SetInt("k", 1));
        EXPECT_FALSE(archive->SetString("k", "x"));
        EXPECT_FALSE(archive->SetBinary("k", b, 2));
        EXPECT_FALSE(archive->GetShort("k", s));
        EXPECT_FALSE(archive->GetInt("k", i));
        EXPECT_FALSE(archive->GetString("k", t));
        EXPECT_FALSE(archive->GetBinary("k", b, 2));
        archive->Rewind();
    }
}

TEST(CFieldArchive, AnsiNameRoundTripsThroughBothDeclarations)
{
    const std::string ansi = "\xC8\xE2\xE0\xED \xCF\xE5\xF2\xF0\xEE\xE2";  // "Иван Петров" in 1251
    const std::string utf8 = "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD \xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2";
    struct EncodingCase
    {
        const char* encoding;
        std::string stored;
    };
    const EncodingCase cases[] = {{"utf-8", utf8}, {"UTF-8", utf8}, {"windows-1251", ansi}};
    for (const EncodingCase& c : cases) {
        RecordDocument doc(c.encoding);
        CFieldArchive out(doc.element);
        ASSERT_TRUE(out.SetString("Name", ansi));
        ASSERT_TRUE(out.SetString("Ascii", "plain text"));
        EXPECT_EQ(doc.Var("Name"), c.stored) << c.encoding;
        doc.Reparse();
        EXPECT_EQ(doc.Var("Name"), c.stored) << c.encoding;
        CFieldArchive in(doc.element);
        std::string name;
        std::string ascii;
        EXPECT_TRUE(in.GetString("Name", name));
        EXPECT_TRUE(in.GetString("Ascii", ascii));
        EXPECT_EQ(name, ansi) << c.encoding;
        EXPECT_EQ(ascii, "plain text");
    }
}

TEST(CFieldArchive, ControlAndMarkupCharactersRoundTrip)
{
    const std::string value = "line one\r\nline two\tcol <tag> & \"quoted\" 'single'";
    for (const char* encoding : {"windows-1251", "utf-8"}) {
        RecordDocument doc(encoding);
        CFieldArchive out(doc.element);
        ASSERT_TRUE(out.SetString("Settings", value));
        doc.Reparse();
        CFieldArchive in(doc.element);
        std::string back;
        EXPECT_TRUE(in.GetString("Settings", back));
        EXPECT_EQ(back, value) << encoding;
    }
}

} // namespace

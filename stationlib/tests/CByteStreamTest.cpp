#include "base/CByteStream.h"
#include "WireBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(CByteStream, IntegersAndStringsRoundTripLittleEndian)
{
    CByteStream s;
    ASSERT_TRUE(s.WriteInt16(static_cast<int16_t>(0x1234)));
    ASSERT_TRUE(s.WriteInt32(static_cast<int32_t>(0xA1B2C3D4)));
    ASSERT_TRUE(s.WriteString("ab"));
    ASSERT_TRUE(s.WriteString(""));
    ASSERT_TRUE(s.WriteStdString(std::string("x\0y", 3)));
    const std::vector<uint8_t> expected = {0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1, 2, 0, 0, 0, 'a', 'b',
                                           0,    0,    0,    0,    3,    0,    0, 0, 'x', 0, 'y'};
    EXPECT_EQ(bytes_of(s), expected);

    s.Rewind();
    int16_t a = 0;
    int32_t b = 0;
    std::string t1, t2, t3;
    EXPECT_TRUE(s.ReadInt16(a));
    EXPECT_TRUE(s.ReadInt32(b));
    EXPECT_TRUE(s.ReadString(t1));
    EXPECT_TRUE(s.ReadString(t2));
    EXPECT_TRUE(s.ReadString(t3));
    EXPECT_EQ(a, 0x1234);
    EXPECT_EQ(static_cast<uint32_t>(b), 0xA1B2C3D4u);
    EXPECT_EQ(t1, "ab");
    EXPECT_EQ(t2, "");
    EXPECT_EQ(t3, std::string("x\0y", 3));
    EXPECT_EQ(s.GetRemaining(), 0);
}

TEST(CByteStream, FailedReadsLeaveTheCursor)
{
    const uint8_t three[] = {1, 2, 3};
    CByteStream s;
    ASSERT_TRUE(s.Attach(three, 3));
    int32_t v = 77;
    EXPECT_FALSE(s.ReadInt32(v));
    EXPECT_EQ(v, 0);
    EXPECT_EQ(s.GetRemaining(), 3);
    uint8_t out[4] = {};
    EXPECT_FALSE(s.ReadBytes(out, 4));
    EXPECT_FALSE(s.ReadBytes(nullptr, 1));
    EXPECT_FALSE(s.ReadBytes(out, -1));
    EXPECT_TRUE(s.ReadBytes(out, 0));
    EXPECT_EQ(s.GetRemaining(), 3);
    int16_t w = 5;
    EXPECT_TRUE(s.ReadInt16(w));
    EXPECT_FALSE(s.ReadInt16(w));
    EXPECT_EQ(w, 0);
    EXPECT_EQ(s.GetRemaining(), 1);
}

TEST(CByteStream, StringLengthLimitsAndShortData)
{
    // 0x10000 is the largest accepted length.
    std::vector<uint8_t> data = {0x00, 0x00, 0x01, 0x00};
    data.resize(4 + 0x10000, 'z');
    CByteStream ok;
    ok.Attach(data.data(), static_cast<int32_t>(data.size()));
    std::string text;
    EXPECT_TRUE(ok.ReadString(text));
    EXPECT_EQ(text.size(), 0x10000u);

    for (uint32_t length : {0x10001u, 0xFFFFFFFFu}) {
        uint8_t head[8] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                           static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24), 1, 2, 3, 4};
        CByteStream s;
        s.Attach(head, 8);
        std::string out = "keep";
        EXPECT_FALSE(s.ReadString(out)) << length;
        EXPECT_EQ(out, "keep");
        EXPECT_EQ(s.GetRemaining(), 8);
    }

    // A length promising more bytes than remain leaves the cursor on the length word.
    const uint8_t promise[] = {0xAA, 5, 0, 0, 0, 'a', 'b'};
    CByteStream p;
    p.Attach(promise, sizeof promise);
    uint8_t skip;
    ASSERT_TRUE(p.ReadBytes(&skip, 1));
    EXPECT_FALSE(p.ReadString(text));
    EXPECT_EQ(p.GetRemaining(), 6);
    // Three bytes can never hold a length word.
    const uint8_t tiny[] = {0, 0, 0};
    CByteStream t;
    t.Attach(tiny, 3);
    EXPECT_FALSE(t.ReadString(text));
}

TEST(CByteStream, GrowsInSteps)
{
    CByteStream s;
    EXPECT_EQ(s.GetCapacity(), 0);
    ASSERT_TRUE(s.WriteInt32(1));
    EXPECT_EQ(s.GetCapacity(), 1024);
    std::vector<uint8_t> more(1020, 7);
    ASSERT_TRUE(s.WriteBytes(more.data(), 1020));
    EXPECT_EQ(s.GetLength(), 1024);
    EXPECT_EQ(s.GetCapacity(), 1024);  // exactly full is not yet short
    ASSERT_TRUE(s.WriteBytes(more.data(), 1));
    EXPECT_EQ(s.GetCapacity(), 2048);
    EXPECT_FALSE(s.Reserve(-1));
    EXPECT_FALSE(s.WriteBytes(more.data(), -5));
    EXPECT_EQ(s.GetLength(), 1025);
    EXPECT_TRUE(s.Reserve(4000));
    EXPECT_EQ(s.GetCapacity(), 5120);
    EXPECT_EQ(s.GetLength(), 1025);
}

TEST(CByteStream, OverwritingInsideTheDataKeepsTheLength)
{
    CByteStream s;
    ASSERT_TRUE(s.WriteInt32(0x11111111));
    ASSERT_TRUE(s.WriteInt32(0x22222222));
    s.Rewind();
    ASSERT_TRUE(s.WriteInt32(0x33333333));
    EXPECT_EQ(s.GetLength(), 8);
    s.Rewind();
    int32_t a, b, c;
    EXPECT_TRUE(s.ReadInt32(a));
    EXPECT_TRUE(s.ReadInt32(b));
    EXPECT_FALSE(s.ReadInt32(c));  // nothing unwritten is readable
    EXPECT_EQ(a, 0x33333333);
    EXPECT_EQ(b, 0x22222222);
}

TEST(CByteStream, WritingIntoAttachedDataKeepsIt)
{
    uint8_t external[] = {1, 2, 3, 4};
    CByteStream s;
    ASSERT_TRUE(s.Attach(external, 4));
    EXPECT_EQ(s.GetCapacity(), 0);
    uint8_t skip[2];
    ASSERT_TRUE(s.ReadBytes(skip, 2));
    ASSERT_TRUE(s.WriteInt16(0x0909));
    ASSERT_TRUE(s.WriteInt16(0x0A0A));
    EXPECT_EQ(bytes_of(s), (std::vector<uint8_t>{1, 2, 9, 9, 10, 10}));
    // The owner's bytes are untouched: the stream moved into a block of its own.
    EXPECT_EQ(external[2], 3);
    EXPECT_NE(s.GetData(), external);
    EXPECT_FALSE(s.Attach(nullptr, 1));
    EXPECT_FALSE(s.Attach(external, -1));
}

TEST(CByteStream, WriteFromCopiesAndAdvancesBoth)
{
    CByteStream src;
    src.WriteInt32(0x01020304);
    src.WriteInt32(0x05060708);
    src.Rewind();
    int16_t skip;
    src.ReadInt16(skip);

    CByteStream dst;
    EXPECT_FALSE(dst.WriteFrom(nullptr, 1));
    EXPECT_FALSE(dst.WriteFrom(&src, 7));
    EXPECT_EQ(src.GetRemaining(), 6);
    ASSERT_TRUE(dst.WriteFrom(&src, 2));
    ASSERT_TRUE(dst.WriteFrom(&src, -1));
    EXPECT_EQ(src.GetRemaining(), 0);
    EXPECT_EQ(bytes_of(dst), (std::vector<uint8_t>{2, 1, 8, 7, 6, 5}));
    EXPECT_TRUE(dst.WriteFrom(&src, -1));  // nothing left: nothing to copy
    EXPECT_EQ(dst.GetLength(), 6);
}

TEST(CByteStream, FreeEmpties)
{
    CByteStream s;
    s.WriteString("abc");
    s.Free();
    EXPECT_EQ(s.GetData(), nullptr);
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_EQ(s.GetCapacity(), 0);
    EXPECT_EQ(s.GetRemaining(), 0);
    EXPECT_TRUE(s.WriteInt16(1));
    EXPECT_EQ(s.GetLength(), 2);
}

#include "utils/Base64.h"

#include <gtest/gtest.h>

#include <string>

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

struct Vector {
    std::string bytes;
    std::string text;
};

// RFC 4648 test vectors, then bytes outside ASCII and NUL.
const Vector kVectors[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
    {std::string("\0", 1), "AA=="},
    {std::string("\0\xff\xfe", 3), "AP/+"},
    {"\xfb\xff", "+/8="},
    {"\xd0\x9f\xd1\x80\xd0\xb8", "0J/RgNC4"},
    {"pelto:pelto", "cGVsdG86cGVsdG8="},
};

TEST(Base64Test, EncodesAndDecodesVectors)
{
    for (const Vector& v : kVectors) {
        EXPECT_EQ(base64_encode(v.bytes), v.text);
        CaptureStderr();
        EXPECT_EQ(base64_decode(v.text), v.bytes) << v.text;
        EXPECT_EQ(base64_decode_size(v.text), v.bytes.size()) << v.text;
        EXPECT_EQ(GetCapturedStderr(), "") << v.text;
    }
}

TEST(Base64Test, EveryByteValueRoundTrips)
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    for (size_t length : {size_t{1}, size_t{2}, size_t{3}, size_t{254}, size_t{255}, size_t{256}}) {
        const std::string bytes = all.substr(256 - length);
        const std::string text = base64_encode(bytes);
        EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
        EXPECT_EQ(base64_decode(text), bytes);
    }
}

TEST(Base64Test, WhiteSpaceBetweenAndAfterGroupsIsPassedOver)
{
    struct Case {
        const char* text;
        const char* bytes;
        const char* errors;
    };
    const Case cases[] = {
        // Trailing white space is not counted, so the size is exact.
        {"Zm9vYmFy \r\n", "foobar", ""},
        {"Zm9vYg==\n", "foob", ""},
        // Inside the text it makes the size an upper bound; only the decoded bytes come back.
        {"Zm9v\nYmFy", "foobar", "base 64 decodeSize error: data size is not multiple of 4\n"},
        {"Zm9v YmFy\t\n", "foobar", "base 64 decodeSize error: data size is not multiple of 4\n"},
        {"Zm 9v", "foo", "base 64 decodeSize error: data size is not multiple of 4\n"},
    };
    for (const Case& c : cases) {
        CaptureStderr();
        EXPECT_EQ(base64_decode(c.text), c.bytes) << c.text;
        EXPECT_EQ(GetCapturedStderr(), c.errors) << c.text;
    }
}

TEST(Base64Test, MalformedTextsFailWithTheirMessages)
{
    struct Case {
        std::string text;
        std::string errors;
    };
    const Case cases[] = {
        {"=AAA", "base64 decode error: unexpected fill char -- offset read?\n"},
        {"A=AA", "base64 decode error: unexpected fill char -- offset read?\n"},
        {"Zm9v=AAA", "base64 decode error: unexpected fill char -- offset read?\n"},
        {"QQ", "base 64 decodeSize error: data size is not multiple of 4\nbase64 decode error: Truncated data\n"},
        {"QUJD QQ", "base 64 decodeSize error: data size is not multiple of 4\nbase64 decode error: Truncated data\n"},
        {"QUJ \n", "base 64 decodeSize error: data size is not multiple of 4\nbase64 decode error: Truncated data\n"},
        {"Zm*v", "base 64 decode error: illegal character '*'\n"},
        {"Zm9v*", "base 64 decode error: illegal character '*'\n"},
        {std::string("Zm\0v", 4), std::string("base 64 decode error: illegal character '\0'\n", 44)},
        {"Zm\x80v", "base 64 decode error: illegal character '\x80'\n"},
        {"====", "base 64 decodeSize error: too many fill characters"
                 "base64 decode error: unexpected fill char -- offset read?\n"},
    };
    for (const Case& c : cases) {
        CaptureStderr();
        EXPECT_EQ(base64_decode(c.text), "") << c.text;
        EXPECT_EQ(GetCapturedStderr(), c.errors) << c.text;
    }
}

TEST(Base64Test, SizeNeverGoesBelowZero)
{
    struct Case {
        const char* text;
        unsigned size;
    };
    for (const Case& c : {Case{"====", 0}, Case{"AAAA====", 2}, Case{"A===", 0}, Case{"AAAAA===", 3}}) {
        CaptureStderr();
        EXPECT_EQ(base64_decode_size(c.text), c.size) << c.text;
        GetCapturedStderr();
    }
}

TEST(Base64Test, BlockStopsQuietlyAtCapacity)
{
    char out[8] = {};
    unsigned decoded = 99;
    CaptureStderr();
    EXPECT_FALSE(base64_decode_block("Zm9vYmFy", out, 4, &decoded));
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(decoded, 4u);
    EXPECT_EQ(std::string(out, 4), "foob");

    EXPECT_FALSE(base64_decode_block("Zg==", out, 0, &decoded));
    EXPECT_EQ(decoded, 0u);

    EXPECT_TRUE(base64_decode_block("Zm8=", out, 2, &decoded));
    EXPECT_EQ(decoded, 2u);
    EXPECT_EQ(std::string(out, 2), "fo");
}

TEST(Base64Test, CharactersAfterEndingFillAreNotExamined)
{
    CaptureStderr();
    EXPECT_EQ(base64_decode("Zg==*"), "f");
    EXPECT_EQ(GetCapturedStderr(), "");
}

} // namespace

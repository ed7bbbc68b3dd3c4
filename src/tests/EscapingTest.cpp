#include "utils/Escaping.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(EscapingTest, EveryByteSurvivesBothEscapeSetsAndOnlyItsSetStaysVerbatim)
{
    std::string bytes;
    for (int c = 0; c < 256; ++c)
        bytes += static_cast<char>(c);
    for (auto [escape, kept] : {std::pair{url_escape, "!$'()*+-./:=@_~"}, std::pair{url_escape_strict, "_"}}) {
        EXPECT_EQ(url_unescape(escape(bytes)), bytes);
        for (int b = 1; b < 256; ++b) {
            const std::string one(1, static_cast<char>(b));
            const bool keep = std::isalnum(b) || std::strchr(kept, b) != nullptr;
            EXPECT_EQ(escape(one), keep ? one : url_escape_strict(one)) << b;
        }
    }
    EXPECT_EQ(url_escape(std::string("\0\x80\xff%,", 5)), "%00%80%FF%25%2C");
    EXPECT_EQ(url_unescape("%4a%4%zz%%41%"), "J%4%zz%A%");
    const std::vector<std::string> list{"x,y", "", "100%", bytes};
    EXPECT_EQ(parse_escaped_list(join_escaped_list(list)), list);
    EXPECT_EQ(parse_escaped_list("a%2Cb,,c,"), (std::vector<std::string>{"a,b", "", "c", ""}));
    EXPECT_TRUE(parse_escaped_list("").empty());
}

TEST(EscapingTest, XmlEscapeReplacesMarkupAndEveryControlByte)
{
    EXPECT_EQ(xml_escape("<a href=\"x\">&'</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;&lt;/a&gt;");
    for (int c = 0; c < 0x20; ++c)
        EXPECT_EQ(xml_escape(std::string("a") + static_cast<char>(c) + "b"), "a b") << c;
    EXPECT_EQ(xml_escape("\x7f\x80\xff"), "\x7f\x80\xff");
}

TEST(EscapingTest, HexTextsPrintBytesUnsigned)
{
    std::string bytes(17, '\x80');
    bytes[16] = '\x01';
    const std::string row = "80 80 80 80 80 80 80 80 ";
    EXPECT_EQ(hex_dump(bytes), row + " " + row + "\n01 ");
    EXPECT_EQ(to_hex_string("\x01\xab\xff", true), "01ABFF");
    EXPECT_EQ(to_hex_string("\x01\xab\xff", false), "01abff");
}

} // namespace

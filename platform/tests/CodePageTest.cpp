#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::CodePage;

std::string convert(const std::string& bytes, CodePage from, CodePage to)
{
    std::string out = "untouched";
    EXPECT_TRUE(platform::convert_code_page(bytes, from, to, out));
    return out;
}

struct RoundTripCase
{
    const char* what;
    std::string utf8;
    std::string ansi;
    std::string oem;
};

void PrintTo(const RoundTripCase& c, std::ostream* out)
{
    *out << c.what;
}

class CodePageRoundTrip : public ::testing::TestWithParam<RoundTripCase>
{
};

TEST_P(CodePageRoundTrip, ConvertsBothWays)
{
    const RoundTripCase& c = GetParam();
    EXPECT_EQ(convert(c.utf8, CodePage::Utf8, CodePage::Ansi), c.ansi);
    EXPECT_EQ(convert(c.ansi, CodePage::Ansi, CodePage::Utf8), c.utf8);
    EXPECT_EQ(convert(c.utf8, CodePage::Utf8, CodePage::Oem), c.oem);
    EXPECT_EQ(convert(c.oem, CodePage::Oem, CodePage::Utf8), c.utf8);
    EXPECT_EQ(convert(c.ansi, CodePage::Ansi, CodePage::Oem), c.oem);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CodePageRoundTrip,
    ::testing::Values(RoundTripCase{"empty", "", "", ""},
                      RoundTripCase{"ascii", "Main ServerPort=5000", "Main ServerPort=5000", "Main ServerPort=5000"},
                      // "Пульт Ёж", and the whole lower-case alphabet edge: "я"
                      RoundTripCase{"cyrillic", "\xD0\x9F\xD1\x83\xD0\xBB\xD1\x8C\xD1\x82 \xD0\x81\xD0\xB6 \xD1\x8F",
                                    "\xCF\xF3\xEB\xFC\xF2 \xA8\xE6 \xFF", "\x8F\xE3\xAB\xEC\xE2 \xF0\xA6 \xEF"},
                      RoundTripCase{"embedded zero", std::string("a\0b", 3), std::string("a\0b", 3),
                                    std::string("a\0b", 3)}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (c == ' ')
                c = '_';
        return name;
    });

TEST(CodePage, UndefinedAnsiByteBecomesItsControlCharacterAndBack)
{
    // 0x98 has no character in Windows-1251; iconv refuses it.
    std::u16string wide;
    ASSERT_TRUE(platform::to_utf16("a\x98z", CodePage::Ansi, wide));
    EXPECT_EQ(wide, std::u16string(u"a\u0098z"));

    std::string back;
    ASSERT_TRUE(platform::from_utf16(wide, CodePage::Ansi, back));
    EXPECT_EQ(back, "a\x98z");
    EXPECT_EQ(convert("\x98", CodePage::Ansi, CodePage::Utf8), "\xC2\x98");
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks)
{
    struct Case
    {
        std::u16string text;
        std::string ansi;
    };
    const Case cases[] = {
        {u"\u00E9t\u00E9", "?t?"},          // accented Latin letters are not in 1251
        {u"\u0081", "?"},                   // 0x81 is a defined letter in 1251, so U+0081 has no byte
        {u"x\U0001F600y", "x?y"},           // one mark for a surrogate pair
        {std::u16string(1, char16_t(0xDC00)), "?"},  // a lone low surrogate
        {u"\u20AC\u2116", "\x88\xB9"},      // euro and numero signs exist in 1251
    };
    for (const Case& c : cases) {
        std::string out;
        ASSERT_TRUE(platform::from_utf16(c.text, CodePage::Ansi, out));
        EXPECT_EQ(out, c.ansi);
    }
}

TEST(CodePage, MalformedUtf8BecomesReplacementCharacters)
{
    struct Case
    {
        std::string utf8;
        std::u16string wide;
    };
    const Case cases[] = {
        {"a\xFFz", u"a\uFFFDz"},
        {"\xC3", u"\uFFFD"},                // cut short at the end
        {"\xD0\x9F\x80", u"\u041F\uFFFD"},  // stray continuation byte
    };
    for (const Case& c : cases) {
        std::u16string wide;
        ASSERT_TRUE(platform::to_utf16(c.utf8, CodePage::Utf8, wide));
        EXPECT_EQ(wide, c.wide);
    }
    EXPECT_EQ(convert("a\xFFz", CodePage::Utf8, CodePage::Ansi), "a?z");
}

TEST(CodePage, LoneSurrogateInUtf8OutputIsReplaced)
{
    std::string out;
    ASSERT_TRUE(platform::from_utf16(std::u16string{u'a', char16_t(0xD800)}, CodePage::Utf8, out));
    EXPECT_EQ(out, "a\xEF\xBF\xBD");
}

TEST(CodePage, LongTextsCrossTheInternalChunks)
{
    std::string ansi;
    for (int i = 0; i < 20000; ++i)
        ansi += static_cast<char>(0xC0 + i % 64);  // А..я
    ansi += "\x98";
    std::string utf8 = convert(ansi, CodePage::Ansi, CodePage::Utf8);
    EXPECT_EQ(utf8.size(), 20000u * 2 + 2);
    EXPECT_EQ(convert(utf8, CodePage::Utf8, CodePage::Ansi), ansi);
}

} // namespace

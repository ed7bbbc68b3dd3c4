#include "utils/StringPrintf.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(StringPrintfTest, FormatsLikePrintf)
{
    EXPECT_EQ(string_printf("sc create \"%s\" binPath= \"%s\"", "Name", "/a b/c"),
              "sc create \"Name\" binPath= \"/a b/c\"");
    EXPECT_EQ(string_printf("%i|%05.1f|%x|%s", -3, 2.5, 255u, ""), "-3|002.5|ff|");
    EXPECT_EQ(string_printf("%llu", static_cast<unsigned long long>(UINT64_MAX)), "18446744073709551615");
    EXPECT_EQ(string_printf("%s", ""), "");
}

TEST(StringPrintfTest, TextEndsAtFirstZero)
{
    EXPECT_EQ(string_printf("a%cb", 0), "a");
}

TEST(StringPrintfTest, OutputIsCutToTheBufferLength)
{
    struct Case {
        size_t length;
        size_t expected;
    };
    for (const Case& c : {Case{kStringPrintfMaxLength - 1, kStringPrintfMaxLength - 1},
                          Case{kStringPrintfMaxLength, kStringPrintfMaxLength},
                          Case{kStringPrintfMaxLength + 1, kStringPrintfMaxLength},
                          Case{100000, kStringPrintfMaxLength}}) {
        std::string text(c.length, 'a');
        text[0] = 'b';
        const std::string result = string_printf("%s", text.c_str());
        ASSERT_EQ(result.size(), c.expected) << c.length;
        EXPECT_EQ(result, text.substr(0, c.expected));
    }
}

} // namespace

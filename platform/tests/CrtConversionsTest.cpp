#include "platform/CrtConversions.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(CrtAtoiTest, ReadsLeadingNumberAndSaturates)
{
    struct Case {
        const char* text;
        int32_t expected;
    };
    const Case cases[] = {
        {"5050", 5050},
        {" \t\r\n\v\f-17xyz", -17},
        {"+8", 8},
        {"5000 # station port", 5000},
        {"000000000000000000000012", 12},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"4294972296", INT32_MAX}, // would wrap round to 5000
        {"99999999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999999999999999", INT32_MIN},
        {"", 0},
        {"abc", 0},
        {"x8", 0},
        {"- 8", 0},
        {"+-8", 0},
        {"0x10", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::crt_atoi(c.text), c.expected) << "'" << c.text << "'";
    EXPECT_EQ(platform::crt_atoi(nullptr), 0);
}

TEST(CrtStrtoulTest, ReadsInItsBaseAndTellsWhereItStopped)
{
    struct Case {
        const char* text;
        int base;
        uint32_t expected;
        long read;  // characters taken
    };
    const Case cases[] = {
        {"0x1Fz", 16, 31, 4},
        {"0x1Fz", 0, 31, 4},
        {"017", 0, 15, 3},
        {"  zz", 10, 0, 0},      // nothing converted: end stays at the start
        {"0xg", 16, 0, 1},       // the 0 alone is the number
        {"-1", 10, 0xFFFFFFFFu, 2},
        {"4294967296", 10, 0xFFFFFFFFu, 10},
    };
    for (const Case& c : cases) {
        char* end = nullptr;
        EXPECT_EQ(platform::crt_strtoul(c.text, &end, c.base), c.expected) << c.text << " base " << c.base;
        EXPECT_EQ(end - c.text, c.read) << c.text << " base " << c.base;
    }
}

} // namespace

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

} // namespace

#include "utils/StringFunctions.h"

#include <gtest/gtest.h>

namespace {

TEST(StringFunctionsTest, HashesMatchValuesWorkedOutByHand)
{
    EXPECT_EQ(string_hash(""), 0);
    EXPECT_EQ(string_hash("a"), -468864544);
    EXPECT_EQ(string_hash("\x80"), -795820159);  // a signed byte
    EXPECT_EQ(string_hash("hello world"), -1500746465);
    EXPECT_EQ(string_hash64("hello world"), 0x3fd9bbb6a68c6d1fu);
}

TEST(StringFunctionsTest, NumbersAndAddressesPrintUnsigned)
{
    EXPECT_EQ(uint64_to_hex(0xABCDEF0123456789u), "abcdef0123456789");
    EXPECT_EQ(ipv4_to_string(0x0100A8C0), "192.168.0.1");
    EXPECT_EQ(ipv4_to_string(0xFF80FFFE), "254.255.128.255");
}

TEST(StringFunctionsTest, KeyValuePairsSkipPiecesWithoutEqualsAndKeepLastValue)
{
    const std::map<std::string, std::string> expected{{"a", "1"}, {"b", "x=y"}, {"", "e"}};
    EXPECT_EQ(parse_key_value_pairs("a=0;b=x=y;junk;;=e;a=1"), expected);
}

TEST(StringFunctionsTest, TimesFormatInTheirSecondWhileTheirYearHasFourDigits)
{
    constexpr int64_t kYear1000 = -30610224000 * 1000000, kYear10000 = 253402300800 * 1000000;
    const std::pair<int64_t, const char*> cases[] = {
        {-1, "1969-12-31 23:59:59"},        {-1000000, "1969-12-31 23:59:59"},
        {kYear1000, "1000-01-01 00:00:00"}, {kYear1000 - 1, "invalid time"},
        {kYear10000 - 1, "9999-12-31 23:59:59"},
        {kYear10000, "invalid time"},       {INT64_MIN, "invalid time"},
        {INT64_MAX, "invalid time"}};
    for (const auto& c : cases)
        EXPECT_EQ(format_time_us("%Y-%m-%d %H:%M:%S", c.first, true), c.second) << c.first;
    EXPECT_EQ(format_time_us("%Y", INT64_MIN, false), "invalid time");
    EXPECT_EQ(format_time_us("%Y", INT64_MAX, false), "invalid time");
}

} // namespace

#include "timeutils/TimeUtils.h"
#include "utils/LogFunctions.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>

namespace {

constexpr int64_t kHour = 3600000000;
constexpr int64_t kDay = 24 * kHour;

// Central European time from a rule, so no zone files are needed.
class TimeUtilsTest : public ::testing::Test
{
protected:
    void SetUp() override { use_zone("CET-1CEST,M3.5.0,M10.5.0/3"); }
    void TearDown() override { use_zone("UTC0"); }
    static void use_zone(const char* zone)
    {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    // Year, month, day, start and end of the day that holds t.
    static std::vector<int64_t> day_of(int64_t t, bool utc = false)
    {
        int year = 0, month = 0, day = 0;
        int64_t start = 0, end = 0;
        time_to_day(t, &year, &month, &day, &start, &end, utc);
        return {year, month, day, start, end};
    }
};

TEST_F(TimeUtilsTest, ParsesEveryFormOfOneTime)
{
    const int64_t expected = 1710507845 * int64_t{1000000};
    for (const char* text : {"2024-03-15 13:04:05", "2024-03-15T13:04:05", "20240315T130405", "20240315-130405",
                             "20240315_130405", "15.03.2024 13:4:5", "15.03.2024T13:04:05", "1710507845"})
        EXPECT_EQ(parse_time(text, true), expected) << text;
    EXPECT_EQ(parse_time("1710507845000001", true), expected + 1);
    EXPECT_EQ(parse_time("20240315", true), expected - 13 * kHour - 245000000);
    EXPECT_EQ(parse_time("2024-03-15 13:04:05", false), expected - kHour);
    const int64_t before = now_us();
    EXPECT_GE(parse_time("0", true), before);
    for (const char* text : {"", "2024-3-15 13:04:05", "2024-03-15 13:04:05 ", "171050784", "x"})
        EXPECT_THROW(parse_time(text, true), std::runtime_error) << text;
}

TEST_F(TimeUtilsTest, DaysRunFromLocalMidnightAndChangeLengthWithDaylightSaving)
{
    const int64_t midnight = ymd_to_time(2024, 3, 15);
    EXPECT_EQ(day_of(midnight), (std::vector<int64_t>{2024, 3, 15, midnight, midnight + kDay}));
    EXPECT_EQ(day_of(midnight - 1), (std::vector<int64_t>{2024, 3, 14, midnight - kDay, midnight}));
    const int64_t short_day = ymd_to_time(2024, 3, 31), long_day = ymd_to_time(2024, 10, 27);
    EXPECT_EQ(day_of(short_day + kHour * 12)[4] - short_day, kDay - kHour);
    EXPECT_EQ(day_of(long_day + kHour * 12)[4] - long_day, kDay + kHour);
    // Outside the years the day was once clamped to.
    const int64_t leap_day = ymd_to_time(2032, 2, 29, true);
    EXPECT_EQ(day_of(leap_day + 1, true), (std::vector<int64_t>{2032, 2, 29, leap_day, leap_day + kDay}));
}

TEST_F(TimeUtilsTest, TimesBeforeNineteenSeventyAreNegative)
{
    const int64_t t = ymd_to_time(1969, 12, 31, true);
    EXPECT_EQ(t, -kDay);
    EXPECT_EQ(day_of(t, true), (std::vector<int64_t>{1969, 12, 31, t, 0}));
    std::vector<int> f(6);
    time_to_fields(t, f[0], f[1], f[2], f[3], f[4], f[5], true);
    EXPECT_EQ(f, (std::vector<int>{1969, 12, 31, 0, 0, 0}));
}

TEST_F(TimeUtilsTest, ValidIntervalIsOpenAtBothEnds)
{
    using namespace boost::posix_time;
    const int64_t lowest = ymd_to_time(1400, 1, 1, true), highest = ymd_to_time(10000, 1, 1, true);
    EXPECT_EQ((std::vector<bool>{is_valid_time(lowest), is_valid_time(lowest + 1), is_valid_time(highest - 1),
                                 is_valid_time(highest), is_valid_time(INT64_MIN)}),
              (std::vector<bool>{false, true, true, false, false}));
    EXPECT_EQ(time_from_us(-1), ptime(boost::gregorian::date(1970, 1, 1), -microseconds(1)));
    EXPECT_THROW(time_from_us(highest), std::logic_error);
    EXPECT_EXIT(day_of(lowest), testing::ExitedWithCode(1), "ASSERTION FAILED at .*: false");

    EXPECT_FALSE(is_valid_timestamp(ymd_to_time(2000, 1, 1, true) - 1));
    EXPECT_TRUE(is_valid_timestamp(ymd_to_time(2000, 1, 1, true)));
    EXPECT_TRUE(is_valid_timestamp(ymd_to_time(2031, 6, 1, true)));
}

TEST_F(TimeUtilsTest, DayBoundsHoldForFourteenThousandDays)
{
    check_day_bounds();
    use_zone("UTC0");
    check_day_bounds();
}

TEST_F(TimeUtilsTest, LogTimeStampIsLocalTimeInWholeSeconds)
{
    char stamp[kTimestampBufferSize];
    EXPECT_EQ(format_timestamp(stamp, 1719814150000000 - 1), 18u);
    EXPECT_STREQ(stamp, "20240701 08:09:09 ");
}

TEST_F(TimeUtilsTest, TestOffsetMovesTheClock)
{
    set_now_offset_for_tests(kDay);
    const int64_t shifted = now_us();
    set_now_offset_for_tests(0);
    const int64_t difference = shifted - now_us();
    EXPECT_TRUE(difference > kDay - kHour && difference <= kDay) << difference;
}

} // namespace

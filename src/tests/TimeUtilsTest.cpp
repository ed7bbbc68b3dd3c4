#include "timeutils/TimeUtils.h"
#include "utils/LogFunctions.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int64_t kHour = 3600000000;
constexpr int64_t kDay = 24 * kHour;

// Central European time from a rule, so no zone files are needed; the process's
// own zone comes back after each test.
class TimeUtilsTest : public ::testing::Test
{
protected:
    void SetUp() override { use_zone("CET-1CEST,M3.5.0,M10.5.0/3"); }
    void TearDown() override
    {
        m_zone ? ::setenv("TZ", m_zone->c_str(), 1) : ::unsetenv("TZ");
        ::tzset();
    }
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

    const char* const m_env = std::getenv("TZ");
    const std::optional<std::string> m_zone = m_env ? std::optional<std::string>(m_env) : std::nullopt;
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

// A midnight twice, one skipped by a new standard offset, a date skipped: each
// date starts at one instant, whichever date was converted before it.
TEST_F(TimeUtilsTest, LocalDatesStartAtTheirFirstInstantWhateverWasConvertedBefore)
{
    struct Case
    {
        const char* zone;
        int year, month, day, utc_hour;   // the date and its first instant's UTC hour
        std::vector<int64_t> named_day;   // the day that starts there, and its hours
    } cases[] = {
        {"America/Havana", 2024, 11, 3, 4, {2024, 11, 3, 25}},      // 01:00 back to 00:00
        {"Africa/Casablanca", 1984, 3, 16, 0, {1984, 3, 16, 23}},   // +00 to +01 at midnight
        {"Pacific/Kiritimati", 1994, 12, 31, 10, {1995, 1, 1, 24}}, // -10 to +14
    };
    for (const Case& c : cases) {
        if (!std::filesystem::exists(std::string("/usr/share/zoneinfo/") + c.zone))
            GTEST_SKIP() << "no zone file for " << c.zone << " (scripts/setup installs tzdata)";
        use_zone(c.zone);
        const int64_t first = ymd_to_time(c.year, c.month, c.day, true) + c.utc_hour * kHour;
        const auto& n = c.named_day;
        for (int before : {-1, 1}) {
            ymd_to_time(c.year, c.month, c.day + before);
            EXPECT_EQ(ymd_to_time(c.year, c.month, c.day), first) << c.zone << before;
        }
        EXPECT_EQ(day_of(first), (std::vector<int64_t>{n[0], n[1], n[2], first, first + n[3] * kHour})) << c.zone;
    }
}

TEST_F(TimeUtilsTest, DayBoundsHoldForFourteenThousandDays)
{
    check_day_bounds();
    // The last skips midnight in spring and has it twice in autumn.
    for (const char* zone : {"UTC0", "CST5CDT,M3.2.0/0,M11.1.0/1"}) {
        use_zone(zone);
        check_day_bounds();
    }
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

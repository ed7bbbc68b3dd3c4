#include "timeutils/TimeUtils.h"

#include "utils/Assertion.h"
#include "utils/NumberScan.h"
#include "utils/StringFunctions.h"

#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/regex.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <thread>

namespace {

constexpr int64_t kSecond = 1000000;
constexpr int64_t kMinute = 60 * kSecond;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = 24 * kHour;

std::atomic<int64_t> g_now_offset{0};

// The epoch and the open interval of times time_from_us accepts, in microseconds.
struct ValidInterval
{
    boost::posix_time::ptime epoch;
    int64_t lowest;
    int64_t highest;
};

const ValidInterval& valid_interval()
{
    static const ValidInterval interval = [] {
        using namespace boost::posix_time;
        const ptime epoch = from_iso_string("19700101T000000");
        const ptime lowest(boost::date_time::min_date_time);
        const ptime last_day(boost::gregorian::date(9999, 12, 31));
        return ValidInterval{epoch, (lowest - epoch).total_microseconds(),
                             (last_day - epoch).total_microseconds() + kDay};
    }();
    return interval;
}

struct DayStart
{
    int year;
    int month;
    int day;
    int64_t start;
};

// The zone's offset from UTC at t, in seconds; false when the runtime cannot
// convert t.
bool local_offset(time_t t, long& offset)
{
    struct tm fields {};
    if (::localtime_r(&t, &fields) == nullptr)
        return false;
    offset = fields.tm_gmtoff;
    return true;
}

// The first instant whose local time is `midnight` (a local date's 00:00 counted
// as if it were UTC) or later. mktime is not asked: for a midnight that occurs
// twice or not at all its answer depends on what the process converted before.
// The offset is sampled every few hours from a day before the date on, and each
// change found is narrowed to its second; a zone never changes its offset twice
// within one step.
bool first_local_instant(time_t midnight, time_t& first)
{
    constexpr time_t kReach = 26 * 3600; // beyond any offset a zone has had
    constexpr time_t kStep = 3 * 3600;
    time_t start = midnight - kReach;
    long offset = 0;
    if (!local_offset(start, offset))
        return false;
    // The offset holds from `start` on. Either the local time is already past
    // midnight there (a change jumped over it), or it reaches midnight at
    // `candidate` unless the offset changes before.
    for (;;) {
        if (start + offset >= midnight) {
            first = start;
            return true;
        }
        const time_t candidate = midnight - offset;
        time_t before = start;
        long next = offset;
        time_t probe = start;
        while (next == offset) {
            if (probe == candidate) {
                first = candidate;
                return true;
            }
            before = probe;
            probe = std::min(probe + kStep, candidate);
            if (!local_offset(probe, next))
                return false;
        }
        while (probe - before > 1) {
            const time_t middle = before + (probe - before) / 2;
            long at_middle = 0;
            if (!local_offset(middle, at_middle))
                return false;
            if (at_middle == offset) {
                before = middle;
            } else {
                probe = middle;
                next = at_middle;
            }
        }
        start = probe;
        offset = next;
    }
}

// The first instant of the date, with the date as the runtime normalised it
// (day 0 is the last of the month before, and so on). A local date whose
// midnight occurs twice starts at the first, one whose midnight is missing at
// the change, and one the zone skipped where the day before it ends.
DayStart midnight_of(int year, int month, int day, bool utc)
{
    struct tm fields {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    time_t seconds = ::timegm(&fields);
    if (!utc && seconds != -1) {
        // As mktime does: a changed TZ counts from the next conversion on.
        ::tzset();
        if (!first_local_instant(seconds, seconds))
            seconds = -1;
    }
    int64_t start = 0;
    // A time too far out for microseconds counts as a date the runtime rejected.
    if (__builtin_mul_overflow(static_cast<int64_t>(seconds), kSecond, &start))
        start = -kSecond;
    return DayStart{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, start};
}

// The six accepted forms, matched against the whole text in this order.
enum TimeForm { kIsoForm, kCompactForm, kDottedForm, kDateForm, kSecondsForm, kMicrosecondsForm, kFormCount };

const boost::regex& time_pattern(TimeForm form)
{
    static const boost::regex patterns[kFormCount] = {
        boost::regex("(\\d{4})-(\\d{2})-(\\d{2})[T ](\\d{2}):(\\d{2}):(\\d{2})"),
        boost::regex("(\\d{4})(\\d{2})(\\d{2})[T\\-\\_](\\d{2})(\\d{2})(\\d{2})"),
        boost::regex("(\\d{2})\\.(\\d{2})\\.(\\d{4})[T ](\\d{1,2}):(\\d{1,2}):(\\d{1,2})"),
        boost::regex("(\\d{4})(\\d{2})(\\d{2})"),
        boost::regex("(\\d{10})"),
        boost::regex("(\\d{16})"),
    };
    return patterns[form];
}

int group(const boost::smatch& match, int index)
{
    return std::atoi(match.str(index).c_str());
}

} // namespace

int64_t now_us()
{
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * kSecond + now.tv_nsec / 1000 +
           g_now_offset.load(std::memory_order_relaxed);
}

void set_now_offset_for_tests(int64_t offset_us)
{
    g_now_offset.store(offset_us, std::memory_order_relaxed);
}

void sleep_ms(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t ymd_to_time(int year, int month, int day, bool utc)
{
    return midnight_of(year, month, day, utc).start;
}

boost::posix_time::ptime time_from_us(int64_t t)
{
    const ValidInterval& interval = valid_interval();
    if (t <= interval.lowest || t >= interval.highest)
        throw std::logic_error("Timestamp is out of valid interval!");
    // Checked first, so the sum stays inside the date-time range.
    return interval.epoch + boost::posix_time::microseconds(t);
}

void time_to_day(int64_t t, int* year, int* month, int* day, int64_t* day_start_out, int64_t* day_end_out, bool utc)
{
    boost::gregorian::date date;
    try {
        date = time_from_us(t).date();
    } catch (const std::exception& e) {
        std::printf("BUG: %s\n", e.what());
        // The assertion ends the process without flushing the streams.
        std::fflush(stdout);
        KORVEL_ASSERT(false);
    }
    // The UTC date of t; its local day is at most one day off.
    const int y = date.year();
    const int m = date.month();
    const int d = date.day();
    const DayStart starts[4] = {midnight_of(y, m, d - 1, utc), midnight_of(y, m, d, utc), midnight_of(y, m, d + 1, utc),
                                midnight_of(y, m, d + 2, utc)};
    const int found = t < starts[1].start ? 0 : t < starts[2].start ? 1 : 2;
    const DayStart& first = starts[found];
    if (year)
        *year = first.year;
    if (month)
        *month = first.month;
    if (day)
        *day = first.day;
    if (day_start_out)
        *day_start_out = first.start;
    if (day_end_out)
        *day_end_out = starts[found + 1].start;
}

void day_bounds(int64_t t)
{
    int year = 0, month = 0, day = 0;
    int64_t day_start = 0, day_end = 0;
    time_to_day(t, &year, &month, &day, &day_start, &day_end);
    KORVEL_ASSERT(t >= day_start && t < day_end);
    KORVEL_ASSERT(day_start == ymd_to_time(year, month, day));
    const int64_t length = day_end - day_start;
    if (length != kDay && length != kDay - kHour && length != kDay + kHour)
        KORVEL_ASSERT(false);
    int year1 = 0, month1 = 0, day1 = 0;
    int64_t day_start1 = 0, day_end1 = 0;
    time_to_day(day_start, &year1, &month1, &day1, &day_start1, &day_end1);
    KORVEL_ASSERT(year1==year && month1==month && day1==day && day_start1==day_start && day_end1==day_end);
}

int64_t parse_time(const std::string& text, bool utc)
{
    if (text == "0")
        return now_us();
    boost::smatch match;
    for (int form = kIsoForm; form < kFormCount; ++form) {
        if (!boost::regex_match(text, match, time_pattern(static_cast<TimeForm>(form))))
            continue;
        switch (form) {
        case kSecondsForm:
            return static_cast<int64_t>(scan_uint64(match.str(1))) * kSecond;
        case kMicrosecondsForm:
            return static_cast<int64_t>(scan_uint64(match.str(1)));
        case kDateForm:
            return ymd_to_time(group(match, 1), group(match, 2), group(match, 3), utc);
        case kDottedForm:
            return ymd_to_time(group(match, 3), group(match, 2), group(match, 1), utc) + group(match, 4) * kHour +
                   group(match, 5) * kMinute + group(match, 6) * kSecond;
        default:
            return ymd_to_time(group(match, 1), group(match, 2), group(match, 3), utc) + group(match, 4) * kHour +
                   group(match, 5) * kMinute + group(match, 6) * kSecond;
        }
    }
    throw std::runtime_error("cannot parse time, use ISO format YYYY-MM-DD HH:MM:SS or UNIX time");
}

void time_to_fields(int64_t t, int& year, int& month, int& day, int& hour, int& minute, int& second, bool utc)
{
    const std::string text = format_time_us("%Y-%m-%dT%H:%M:%S", t, utc);
    boost::smatch match;
    if (!boost::regex_match(text, match, time_pattern(kIsoForm)))
        throw std::logic_error("expected ISO 8601 time string, actually got time_str: '" + text + "'");
    year = group(match, 1);
    month = group(match, 2);
    day = group(match, 3);
    hour = group(match, 4);
    minute = group(match, 5);
    second = group(match, 6);
}

bool is_valid_time(int64_t t)
{
    try {
        time_from_us(t);
        return true;
    } catch (...) {
        return false;
    }
}

bool is_valid_timestamp(int64_t t)
{
    if (!is_valid_time(t))
        return false;
    int year = 0;
    time_to_day(t, &year, nullptr, nullptr, nullptr, nullptr, true);
    return year >= 2000;
}

void check_day_bounds()
{
    const boost::gregorian::date first(1972, 1, 1);
    for (int i = 1; i <= 14000; ++i) {
        const boost::gregorian::date date = first + boost::gregorian::days(i);
        const int64_t midnight = ymd_to_time(date.year(), date.month(), date.day());
        day_bounds(midnight - 1);
        day_bounds(midnight + 1);
        day_bounds(midnight - kSecond);
    }
}

#pragma once

// Times are signed 64-bit microseconds since 1970-01-01 00:00:00 UTC. The calendar
// functions take a flag "utc": set, dates are UTC dates; clear, local dates.

#include <boost/date_time/posix_time/ptime.hpp>

#include <cstdint>
#include <string>

// The current time: the system clock plus the test offset. The utility library's
// only reading of the clock.
int64_t now_us();

// Test-only: added to every later now_us(), so tests can move time on or back.
void set_now_offset_for_tests(int64_t offset_us);

void sleep_ms(uint32_t ms);

// The first instant of the date (out-of-range days and months roll over as in
// mktime): 00:00:00, for a local date whose midnight occurs twice the first of
// them, whose midnight is missing the first instant after it, and for a date the
// zone skipped the first instant after the day before. No range check.
int64_t ymd_to_time(int year, int month, int day, bool utc = false);

// The date-time of t. Throws std::logic_error "Timestamp is out of valid
// interval!" unless 1400-01-01 00:00:00 < t < 10000-01-01 00:00:00.
boost::posix_time::ptime time_from_us(int64_t t);

// The calendar day that holds t, with its start and the next day's start. Every
// output may be null. A time outside the valid interval ends the process.
void time_to_day(int64_t t, int* year, int* month, int* day, int64_t* day_start, int64_t* day_end,
                 bool utc = false);

// Self-check of time_to_day for one local time; a failure ends the process.
void day_bounds(int64_t t);

// "0" (now), "YYYY-MM-DD HH:MM:SS" (or 'T' between), "YYYYMMDD?HHMMSS" ('T', '-'
// or '_' between), "DD.MM.YYYY H:M:S" (one or two digits each, blank or 'T'
// between), "YYYYMMDD", ten digits of seconds or sixteen of microseconds since
// 1970. Throws std::runtime_error for anything else. Hours, minutes and seconds
// are added to the day's midnight.
int64_t parse_time(const std::string& text, bool utc);

// Calendar fields of t. Throws std::logic_error for a time whose year has not
// four digits.
void time_to_fields(int64_t t, int& year, int& month, int& day, int& hour, int& minute, int& second, bool utc);

// True when time_from_us accepts t.
bool is_valid_time(int64_t t);

// A valid time in UTC year 2000 or later.
bool is_valid_timestamp(int64_t t);

// Runs day_bounds around each local midnight of 14000 days from 1972-01-02.
void check_day_bounds();

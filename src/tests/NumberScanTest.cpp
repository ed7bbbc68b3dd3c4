#include "utils/NumberScan.h"

#include <gtest/gtest.h>

#include <clocale>
#include <iostream>
#include <locale>
#include <stdexcept>

namespace {

TEST(NumberScanTest, ReadsLeadingDecimalNumber)
{
    struct Case {
        const char* text;
        uint64_t expected;
    };
    for (const Case& c : {Case{"  42abc", 42}, Case{"0", 0}, Case{"\t\n 7 8", 7}, Case{"+15", 15},
                          Case{"18446744073709551615", UINT64_MAX}, Case{"-1", UINT64_MAX},
                          Case{"-2", UINT64_MAX - 1}, Case{"0010", 10}})
        EXPECT_EQ(scan_uint64(c.text), c.expected) << c.text;
}

TEST(NumberScanTest, TextWithoutNumberThrowsNamingTheText)
{
    for (const char* text : {"abc", "", "  ", "-x", "x42"}) {
        try {
            scan_uint64(text);
            ADD_FAILURE() << "no throw for '" << text << "'";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), std::string("scan_uint64(): cannot convert '") + text + "' to number");
        }
    }
}

TEST(NumberScanTest, ReadsHexNumbersWithOrWithoutPrefix)
{
    EXPECT_EQ(scan_uint64hex(" 0xFFffFFffFFffFFff"), UINT64_MAX);
    EXPECT_EQ(scan_uint64hex("1a2bzz"), 0x1a2bu);
    EXPECT_THROW(scan_uint64hex("zz"), std::runtime_error);
}

// A decimal point of ',' without any system locale.
struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

void expect_both_points_read()
{
    for (auto [text, expected] : {std::pair{"3,5", 3.5}, {" 3.5kg", 3.5}, {"-1e3", -1000.0}, {" \t", 0.0}})
        EXPECT_EQ(scan_double(text), expected) << text;
    EXPECT_THROW(scan_double("x3"), std::runtime_error);
}

TEST(NumberScanTest, ReadsBothDecimalPointsWhateverTheStreamOrProcessLocale)
{
    const std::locale previous = std::cout.imbue(std::locale(std::locale::classic(), new CommaPoint));
    expect_both_points_read();
    std::cout.imbue(previous);

    // A ',' locale where one is installed.
    for (const char* name : {"de_DE.UTF-8", "ru_RU.UTF-8", "fr_FR.UTF-8", "ru_RU.CP1251"})
        if (std::setlocale(LC_NUMERIC, name) != nullptr && *std::localeconv()->decimal_point == ',') {
            expect_both_points_read();
            break;
        }
    std::setlocale(LC_NUMERIC, "C");
}

} // namespace

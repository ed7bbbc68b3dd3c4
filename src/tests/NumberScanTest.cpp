#include "utils/NumberScan.h"

#include <gtest/gtest.h>

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

} // namespace

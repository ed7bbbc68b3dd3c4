#include "utils/NameMatching.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

TEST(NaturalCompareTest, OrdersNumberRunsByValueAndTheRestByBytes)
{
    for (auto [a, b, expected] : {std::tuple{"file2", "file10", -1}, {"file10", "file10", 0}, {"a01", "a1", -1},
                                  {"abc12", "abc12x", -1}, {"a5b", "a5a", 1}, {"", "a", -1}, {"x9", "x\xe0", -1}}) {
        EXPECT_EQ(natural_compare(a, b), expected) << a << " vs " << b;
        EXPECT_EQ(natural_compare(b, a), -expected) << b << " vs " << a;
    }
    const std::vector<std::string> sorted{"img0", "img007", "img01", "img1", "img2", "img9", "img10", "img99999",
                                          "img123456", "img123456b", "img99999999999999999999"};
    std::vector<std::string> names = sorted;
    std::shuffle(names.begin(), names.end(), std::mt19937(7));
    std::sort(names.begin(), names.end(), [](auto& a, auto& b) { return natural_compare(a, b) < 0; });
    EXPECT_EQ(names, sorted);
}

TEST(NaturalCompareTest, IsATotalOrder)
{
    const char* pieces[] = {"a", "0", "1", "9", "10", "01", "x1"};
    std::vector<std::string> texts;
    for (const char* first : pieces)
        for (const char* second : pieces)
            texts.push_back(std::string(first) + second);
    for (const std::string& a : texts)
        for (const std::string& b : texts) {
            const int ab = natural_compare(a, b);
            ASSERT_EQ(ab == 0, a == b) << a << " vs " << b;
            ASSERT_EQ(ab, -natural_compare(b, a)) << a << " vs " << b;
            for (const std::string& c : texts) {
                if (ab < 0 && natural_compare(b, c) < 0) {
                    ASSERT_LT(natural_compare(a, c), 0) << a << " < " << b << " < " << c;
                }
            }
        }
}

TEST(FindMatchingNameTest, TakesTheFirstStepThatMatches)
{
    struct Case {
        const char* ignore;
        const char* wanted;
        std::vector<std::string> candidates;
        const char* expected;
    };
    const Case cases[] = {
        {"", "Cam-1", {"CAM1", "Cam-1"}, "Cam-1"},                  // the name itself first
        {"vendor", "Vendor cam 1", {"X", "CAM_1"}, "CAM_1"},        // equal once normalised
        {"", "- _", {"AUTODETECT"}, ""},                            // nothing left to match
        {"", "CAMERA2000", {"CAMERA", "AUTODETECT"}, "AUTODETECT"}, // before containment
        {"", "CAMERA2000", {"DOME", "CAMERA"}, "CAMERA"},           // inside the wanted name
        {"", "CAM12X", {"DOME", "CAM12Y"}, "CAM12Y"},               // equal up to the last digit
        {"", "CAM", {"DOME", "UNIFIED"}, "UNIFIED"},
        {"", "CAM", {"-", ""}, ""},                                 // empty names match nothing
    };
    for (const Case& c : cases)
        EXPECT_EQ(find_matching_name(c.ignore, c.wanted, c.candidates), c.expected) << c.wanted;
    EXPECT_EQ(normalize_name("AB", "aabb"), "AB");
    EXPECT_EQ(normalize_name("", "x-y z_\xe0"), "XYZ\xe0");
}

} // namespace

#include "utils/GridMask.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace std::string_literals;

namespace {

TEST(GridMaskTest, OutlinesRunInsideTheCellsAndRefuseBadGrids)
{
    const uint8_t cell = 1;
    EXPECT_EQ(grid_mask_to_lines(1, 1, 1, &cell, "z"),
              "line 20.00 20.00 80.00 20.00 z\0line 20.00 80.00 80.00 80.00 z\0"
              "line 20.00 20.00 20.00 80.00 z\0line 80.00 20.00 80.00 80.00 z\0"s);
    for (auto [w, h, stride, mask] : {std::make_tuple(0, 1, 1, &cell), std::make_tuple(1, 0, 1, &cell),
                                      std::make_tuple(2, 1, 1, &cell), std::make_tuple(1, 1, 1, (const uint8_t*)0)})
        EXPECT_THROW(grid_mask_to_lines(w, h, stride, mask, ""), std::runtime_error) << w << h << stride;
}

TEST(GridMaskTest, InnerCornerPullsSegmentEndsOutAndPaddingIsIgnored)
{
    // Set: both cells of the lower row and the left cell of the upper one.
    const uint8_t packed[] = {1, 0, 1, 1};
    const std::string lines = grid_mask_to_lines(2, 2, 2, packed, "");
    EXPECT_EQ(lines, "line 10.00 10.00 40.00 10.00 \0line 40.00 60.00 90.00 60.00 \0"
                     "line 10.00 90.00 90.00 90.00 \0line 40.00 10.00 40.00 60.00 \0"
                     "line 10.00 10.00 10.00 90.00 \0line 90.00 60.00 90.00 90.00 \0"s);
    const uint8_t padded[] = {1, 0, 9, 9, 1, 1, 9, 9};
    EXPECT_EQ(grid_mask_to_lines(2, 2, 4, padded, ""), lines);
}

TEST(GridMaskTest, FillRatioReachesFullAtHalfSet)
{
    struct Case { int32_t w, h; size_t set; int ratio; };
    for (const Case& c : {Case{4, 4, 2, 63}, Case{4, 4, 8, 255}, Case{4, 4, 16, 255}, Case{4, 4, 0, 0},
                          Case{1000, 1, 1, 1}, Case{0, 5, 0, 0}, Case{3000, 3000, 9000000, 255}}) {
        std::vector<uint8_t> mask(size_t(c.w) * c.h, 0);
        std::fill_n(mask.begin(), c.set, 1);
        EXPECT_EQ(grid_mask_fill_ratio(c.w, c.h, mask.data()), c.ratio) << c.w << "x" << c.h << " " << c.set;
    }
}

} // namespace

#pragma once

#include <cstdint>
#include <string>

// Outline of the set cells of a grid mask (one byte per cell, non-zero = set;
// cell (r, c) at mask[c + r * stride]) as segments in percent of the grid:
// each "line x1 y1 x2 y2 " followed by the suffix and one zero byte, so the
// result is a run of zero-terminated texts. Top and bottom edges come first,
// row by row, then left and right edges, column by column. Segments lie 0.2 of
// a cell inside the set area; an end is pulled out by 0.2 where the outline
// turns into a neighbouring set cell. A width or height below 1, a stride below
// the width or a null mask throw std::runtime_error.
std::string grid_mask_to_lines(int32_t width, int32_t height, int32_t stride, const uint8_t* mask,
                               const std::string& suffix);

// How much of a width-by-height mask (stride = width) is set, from 0 to 255:
// 255 from half of the cells on, at least 1 when any cell is set. An empty grid
// rates 0.
int grid_mask_fill_ratio(int32_t width, int32_t height, const uint8_t* mask);

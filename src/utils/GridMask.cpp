#include "utils/GridMask.h"

#include "utils/StringPrintf.h"

#include <algorithm>
#include <stdexcept>

namespace {

// Segments run this far inside the set area: 0.2 from a cell's near side, 0.8 from its far one.
constexpr double kInset = 0.2;
constexpr double kFar = 0.8;

class Grid
{
public:
    Grid(int32_t width, int32_t height, int32_t stride, const uint8_t* mask)
        : width_(width), height_(height), stride_(stride), mask_(mask)
    {
    }

    // Cells outside the grid count as clear.
    bool set(int64_t r, int64_t c) const
    {
        return r >= 0 && r < height_ && c >= 0 && c < width_ && mask_[c + r * stride_] != 0;
    }

private:
    int64_t width_;
    int64_t height_;
    int64_t stride_;
    const uint8_t* mask_;
};

// One run of edge cells along a row or column, positions counted along it.
struct Run
{
    bool open = false;
    int64_t start = 0;
    bool start_out = false;
};

class Segments
{
public:
    explicit Segments(const std::string& suffix) : suffix_(suffix) {}

    void add(double x1, double y1, double x2, double y2)
    {
        text_ += string_printf("line %0.2lf %0.2lf %0.2lf %0.2lf ", x1, y1, x2, y2);
        text_ += suffix_;
        text_ += '\0';
    }

    const std::string& text() const { return text_; }

private:
    const std::string& suffix_;
    std::string text_;
};

// Moves a run along at position pos: opens it at an edge cell (start pulled
// out when start_out(pos) holds) and, at the first position after it, returns
// true with from and to as cell coordinates of the segment's ends.
template <typename StartOut, typename EndOut>
bool step(Run& run, int64_t pos, bool edge, StartOut start_out, EndOut end_out, double& from, double& to)
{
    if (edge && !run.open) {
        run = Run{true, pos, start_out(pos)};
        return false;
    }
    if (edge || !run.open)
        return false;
    run.open = false;
    from = run.start_out ? run.start - kInset : run.start + kInset;
    to = end_out(pos) ? pos + kInset : pos - kInset;
    return true;
}

} // namespace

std::string grid_mask_to_lines(int32_t width, int32_t height, int32_t stride, const uint8_t* mask,
                               const std::string& suffix)
{
    if (width < 1 || height < 1 || stride < width || mask == nullptr)
        throw std::runtime_error("grid_mask_to_lines(): bad grid");
    const Grid grid(width, height, stride, mask);
    const double sx = 100.0 / width;
    const double sy = 100.0 / height;
    Segments segments(suffix);
    double from = 0;
    double to = 0;

    for (int64_t r = 0; r < height; ++r) {
        Run top;
        Run bottom;
        for (int64_t c = 0; c <= width; ++c) {
            const bool cell = grid.set(r, c);
            if (step(top, c, cell && !grid.set(r - 1, c), [&](int64_t s) { return grid.set(r - 1, s - 1); },
                     [&](int64_t e) { return grid.set(r - 1, e); }, from, to))
                segments.add(from * sx, (r + kInset) * sy, to * sx, (r + kInset) * sy);
            if (step(bottom, c, cell && !grid.set(r + 1, c), [&](int64_t s) { return grid.set(r + 1, s - 1); },
                     [&](int64_t e) { return grid.set(r + 1, e); }, from, to))
                segments.add(from * sx, (r + kFar) * sy, to * sx, (r + kFar) * sy);
        }
    }

    for (int64_t c = 0; c < width; ++c) {
        Run left;
        Run right;
        for (int64_t r = 0; r <= height; ++r) {
            const bool cell = grid.set(r, c);
            if (step(left, r, cell && !grid.set(r, c - 1), [&](int64_t s) { return grid.set(s - 1, c - 1); },
                     [&](int64_t e) { return grid.set(e, c - 1); }, from, to))
                segments.add((c + kInset) * sx, from * sy, (c + kInset) * sx, to * sy);
            if (step(right, r, cell && !grid.set(r, c + 1), [&](int64_t s) { return grid.set(s - 1, c + 1); },
                     [&](int64_t e) { return grid.set(e, c + 1); }, from, to))
                segments.add((c + kFar) * sx, from * sy, (c + kFar) * sx, to * sy);
        }
    }
    return segments.text();
}

int grid_mask_fill_ratio(int32_t width, int32_t height, const uint8_t* mask)
{
    if (width < 1 || height < 1)
        return 0;
    const int64_t n = int64_t{width} * height;
    const int64_t k = std::count_if(mask, mask + n, [](uint8_t cell) { return cell != 0; });
    const int64_t m = std::min(n, 2 * k);
    const int64_t ratio = m * 255 / n;
    return m > 0 ? static_cast<int>(std::max<int64_t>(ratio, 1)) : 0;
}

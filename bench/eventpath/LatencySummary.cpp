#include "LatencySummary.h"

#include <algorithm>
#include <cmath>

namespace eventpath {

int64_t percentile(std::vector<int64_t>& values, double p)
{
    if (values.empty())
        return 0;
    const double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
    const size_t index = rank < 1 ? 0 : std::min(values.size() - 1, static_cast<size_t>(rank) - 1);
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index), values.end());
    return values[index];
}

LatencySummary summarize_latencies(std::vector<int64_t> values)
{
    LatencySummary summary;
    summary.count = values.size();
    if (values.empty())
        return summary;
    summary.median = percentile(values, 50);
    summary.p99 = percentile(values, 99);
    summary.max = *std::max_element(values.begin(), values.end());
    return summary;
}

} // namespace eventpath

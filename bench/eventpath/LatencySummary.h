#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace eventpath {

// Median, 99th percentile and worst of a set of latencies (nanoseconds).
struct LatencySummary
{
    size_t count = 0;
    int64_t median = 0;
    int64_t p99 = 0;
    int64_t max = 0;
};

// The nearest-rank percentile: the smallest value that at least p percent of
// the values do not exceed. Reorders the values; 0 for none.
int64_t percentile(std::vector<int64_t>& values, double p);

LatencySummary summarize_latencies(std::vector<int64_t> values);

} // namespace eventpath

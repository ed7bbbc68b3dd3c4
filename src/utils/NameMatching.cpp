#include "utils/NameMatching.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/algorithm/string/erase.hpp>

#include <algorithm>
#include <locale>

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool starts_number(char c)
{
    return c >= '1' && c <= '9';
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

std::string to_upper_ascii(const std::string& text)
{
    // The classic locale upper-cases a to z only; other bytes stay.
    return boost::algorithm::to_upper_copy(text, std::locale::classic());
}

} // namespace

int natural_compare(const std::string& a, const std::string& b)
{
    // Both texts are walked in step, so digit runs are met at the same place.
    size_t i = 0;
    while (i < a.size() && i < b.size()) {
        if (starts_number(a[i]) && starts_number(b[i])) {
            size_t end_a = i;
            while (end_a < a.size() && is_digit(a[end_a]))
                ++end_a;
            size_t end_b = i;
            while (end_b < b.size() && is_digit(b[end_b]))
                ++end_b;
            // Without leading zeros the longer run is the larger number.
            if (end_a != end_b)
                return end_a < end_b ? -1 : 1;
            if (int order = a.compare(i, end_a - i, b, i, end_b - i))
                return sign(order);
            i = end_a;
        } else if (a[i] != b[i]) {
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
        } else {
            ++i;
        }
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string normalize_name(const std::string& ignore_upper, const std::string& name)
{
    std::string result = to_upper_ascii(name);
    if (!ignore_upper.empty())
        boost::algorithm::erase_all(result, ignore_upper);
    result.erase(std::remove_if(result.begin(), result.end(), [](char c) { return c == ' ' || c == '-' || c == '_'; }),
                 result.end());
    return result;
}

std::string cut_after_last_digit(const std::string& text)
{
    const size_t last = text.find_last_of("0123456789");
    return last == std::string::npos ? text : text.substr(0, last + 1);
}

std::string find_matching_name(const std::string& ignore, const std::string& wanted,
                               const std::vector<std::string>& candidates)
{
    const auto has = [&candidates](const std::string& name) {
        return std::find(candidates.begin(), candidates.end(), name) != candidates.end();
    };
    if (has(wanted))
        return wanted;

    const std::string ignore_upper = to_upper_ascii(ignore);
    const std::string w = normalize_name(ignore_upper, wanted);
    if (w.empty())
        return std::string();

    std::vector<std::string> normalized;
    normalized.reserve(candidates.size());
    for (const std::string& candidate : candidates)
        normalized.push_back(normalize_name(ignore_upper, candidate));

    for (size_t i = 0; i < candidates.size(); ++i)
        if (normalized[i] == w)
            return candidates[i];
    if (has("AUTODETECT"))
        return "AUTODETECT";
    // An empty name lies inside every name and would match anything.
    for (size_t i = 0; i < candidates.size(); ++i)
        if (!normalized[i].empty() && w.find(normalized[i]) != std::string::npos)
            return candidates[i];
    const std::string w2 = cut_after_last_digit(w);
    for (size_t i = 0; i < candidates.size(); ++i)
        if (cut_after_last_digit(normalized[i]) == w2)
            return candidates[i];
    if (has("UNIFIED"))
        return "UNIFIED";
    return std::string();
}

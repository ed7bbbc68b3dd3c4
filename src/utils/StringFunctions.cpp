#include "utils/StringFunctions.h"

#include "utils/StringPrintf.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <cinttypes>
#include <ctime>
#include <vector>

namespace {

int32_t hash_bytes(const char* bytes, size_t length)
{
    // Bytes count as signed, as the stored hashes were made; the arithmetic is
    // unsigned so that it wraps instead of overflowing.
    const auto byte = [](char c) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c))); };
    uint32_t h = length == 0 ? 0 : byte(bytes[0]) << 7;
    for (size_t i = 0; i < length; ++i)
        h = (h * 1000003u) ^ byte(bytes[i]);
    h ^= static_cast<uint32_t>(length);
    return static_cast<int32_t>(h);
}

// time_to_fields reads the year as four digits; other years are no time it can
// break down.
constexpr int kFirstFourDigitYear = 1000;
constexpr int kLastFourDigitYear = 9999;

int64_t floor_div(int64_t value, int64_t divisor)
{
    const int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

} // namespace

std::string uint64_to_string(uint64_t value)
{
    return std::to_string(value);
}

std::string uint64_to_hex(uint64_t value)
{
    return string_printf("%" PRIx64, value);
}

int32_t string_hash(const std::string& text)
{
    return hash_bytes(text.data(), text.size());
}

uint64_t string_hash64(const std::string& text)
{
    const uint32_t low = static_cast<uint32_t>(string_hash(text));
    const uint32_t high = text.empty() ? 0 : static_cast<uint32_t>(hash_bytes(text.data() + 1, text.size() - 1));
    return (static_cast<uint64_t>(high) << 32) | low;
}

std::string format_time_us(const char* format, int64_t time_us, bool utc)
{
    const time_t seconds = static_cast<time_t>(floor_div(time_us, 1000000));
    struct tm fields {};
    if ((utc ? ::gmtime_r(&seconds, &fields) : ::localtime_r(&seconds, &fields)) == nullptr ||
        fields.tm_year < kFirstFourDigitYear - 1900 || fields.tm_year > kLastFourDigitYear - 1900)
        return "invalid time";
    char buffer[1024];
    const size_t length = std::strftime(buffer, sizeof(buffer), format, &fields);
    return std::string(buffer, length);
}

std::map<std::string, std::string> parse_key_value_pairs(const std::string& text)
{
    std::map<std::string, std::string> pairs;
    std::vector<std::string> pieces;
    boost::algorithm::split(pieces, text, boost::algorithm::is_any_of(";"));
    for (const std::string& piece : pieces) {
        const size_t equals = piece.find('=');
        if (equals != std::string::npos)
            pairs[piece.substr(0, equals)] = piece.substr(equals + 1);
    }
    return pairs;
}

std::string ipv4_to_string(uint32_t address)
{
    return string_printf("%u.%u.%u.%u", address & 0xFF, (address >> 8) & 0xFF, (address >> 16) & 0xFF,
                         (address >> 24) & 0xFF);
}

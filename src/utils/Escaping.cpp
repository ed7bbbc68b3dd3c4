#include "utils/Escaping.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/join.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/range/adaptor/transformed.hpp>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

using KeepTable = std::array<bool, 256>;

constexpr KeepTable make_keep_table(const char* ranges)
{
    // ranges: pairs of first and last byte kept.
    KeepTable table{};
    for (; ranges[0] != '\0'; ranges += 2)
        for (int c = static_cast<unsigned char>(ranges[0]); c <= static_cast<unsigned char>(ranges[1]); ++c)
            table[c] = true;
    return table;
}

constexpr KeepTable kUrlKeep = make_keep_table("!!$$'+-:==@Z__az~~");
constexpr KeepTable kUrlStrictKeep = make_keep_table("09AZ__az");

std::string percent_escape(const std::string& bytes, const KeepTable& keep)
{
    std::string result;
    result.reserve(bytes.size());
    for (char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (keep[byte]) {
            result += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof(escaped), "%%%02X", byte);
            result += escaped;
        }
    }
    return result;
}

bool is_hex_digit(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::string hex_dump(const std::string& bytes)
{
    std::string result;
    result.reserve(bytes.size() * 3 + bytes.size() / 8);
    for (size_t i = 0; i < bytes.size(); ++i) {
        char entry[4];
        std::snprintf(entry, sizeof(entry), "%02x ", static_cast<unsigned char>(bytes[i]));
        result += entry;
        const size_t count = i + 1;
        if (count % 16 == 0)
            result += '\n';
        else if (count % 8 == 0)
            result += ' ';
    }
    return result;
}

std::string to_hex_string(const std::string& bytes, bool upper_case)
{
    std::string result;
    result.reserve(bytes.size() * 2);
    for (char c : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof(digits), upper_case ? "%02X" : "%02x", static_cast<unsigned char>(c));
        result += digits;
    }
    return result;
}

std::string url_escape(const std::string& bytes)
{
    return percent_escape(bytes, kUrlKeep);
}

std::string url_escape_strict(const std::string& bytes)
{
    return percent_escape(bytes, kUrlStrictKeep);
}

std::string url_unescape(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && is_hex_digit(text[i + 1]) && is_hex_digit(text[i + 2])) {
            const char digits[3] = {text[i + 1], text[i + 2], '\0'};
            result += static_cast<char>(std::strtol(digits, nullptr, 16));
            i += 2;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::vector<std::string> parse_escaped_list(const std::string& text)
{
    std::vector<std::string> elements;
    if (text.empty())
        return elements;
    boost::algorithm::split(elements, text, boost::algorithm::is_any_of(","));
    for (std::string& element : elements)
        element = url_unescape(element);
    return elements;
}

std::string join_escaped_list(const std::vector<std::string>& elements)
{
    return boost::algorithm::join(elements | boost::adaptors::transformed(url_escape), ",");
}

std::string xml_escape(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '"':
            result += "&quot;";
            break;
        case '&':
            result += "&amp;";
            break;
        case '\'':
            result += "&#39;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        default:
            result += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
            break;
        }
    }
    return result;
}

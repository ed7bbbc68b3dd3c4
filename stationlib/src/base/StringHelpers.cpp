#include "base/StringHelpers.h"

#include "platform/CodePage.h"
#include "platform/Guid.h"
#include "platform/SystemError.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <locale.h>

namespace {

bool is_trim_space(char c)
{
    return c == ' ' || (c >= 9 && c <= 13);
}

// Digit value in bases up to 36, or 99.
int alnum_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    return 99;
}

// Value of a hexadecimal digit, or -1.
int hex_digit(char c)
{
    const int digit = alnum_digit(c);
    return digit < 16 ? digit : -1;
}

// Position of "key=" at the start of the text or right after an LF, or npos.
size_t find_settings_key(const std::string& settings, const std::string& key)
{
    const std::string needle = key + "=";
    size_t pos = settings.find(needle);
    while (pos != std::string::npos && pos != 0 && settings[pos - 1] != '\n')
        pos = settings.find(needle, pos + 1);
    return pos;
}

bool is_leap_year(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

// Seconds from 1970-01-01 00:00 to the given wall-clock time, counted as UTC.
int64_t seconds_as_utc(int year, int month, int day, int hour, int minute, int second)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return static_cast<int64_t>(::timegm(&fields));
}

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600LL;
constexpr int64_t kUnitsPerSecond = 10000000;

FileTime make_filetime(int64_t seconds_since_1970, int64_t units_in_second)
{
    const uint64_t units = static_cast<uint64_t>((seconds_since_1970 + kEpochDifference) * kUnitsPerSecond + units_in_second);
    FileTime result;
    result.low = static_cast<uint32_t>(units);
    result.high = static_cast<uint32_t>(units >> 32);
    return result;
}

} // namespace

// ---- Code pages ----------------------------------------------------------------

void ansi_to_utf8(std::string& text)
{
    std::string converted;
    if (platform::convert_code_page(text, platform::CodePage::Ansi, platform::CodePage::Utf8, converted))
        text.swap(converted);
}

void utf8_to_ansi(std::string& text)
{
    std::string converted;
    if (platform::convert_code_page(text, platform::CodePage::Utf8, platform::CodePage::Ansi, converted))
        text.swap(converted);
}

std::string ansi_text(const char* utf8)
{
    std::string text = utf8;
    utf8_to_ansi(text);
    return text;
}

bool is_ascii_text(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 128)
            return false;
    return true;
}

// ---- Hexadecimal ---------------------------------------------------------------

std::string byte_to_hex(uint8_t b)
{
    static const char kDigits[] = "0123456789ABCDEF";
    return std::string{kDigits[b >> 4], kDigits[b & 0x0F]};
}

std::string bytes_to_hex(const uint8_t* bytes, int count, char separator)
{
    std::string text;
    if (bytes == nullptr || count <= 0)
        return text;
    text.reserve(static_cast<size_t>(count) * (separator != 0 ? 3 : 2));
    for (int i = 0; i < count; ++i) {
        text += byte_to_hex(bytes[i]);
        if (separator != 0)
            text += separator;
    }
    return text;
}

bool hex_to_bytes(const std::string& text, uint8_t* out, int size, bool separated)
{
    const size_t step = separated ? 3 : 2;
    const size_t count = text.size() / step;
    if (size < 0 || static_cast<size_t>(size) < count)
        return false;
    for (size_t i = 0; i < count; ++i) {
        int high = hex_digit(text[i * step]);
        int low = hex_digit(text[i * step + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

bool hex_text_to_int(const std::string& text, int32_t& value)
{
    if (text.empty())
        return false;
    uint32_t result = 0;
    for (char c : text) {
        int digit = hex_digit(c);
        if (digit < 0)
            return false;
        result = result * 16 + static_cast<uint32_t>(digit);
    }
    value = static_cast<int32_t>(result);
    return true;
}

int hex_text_bit(const std::string& text, int bit, int def)
{
    if (bit < 0 || bit > 1024 || static_cast<size_t>(bit / 4) >= text.size())
        return def;
    int digit = hex_digit(text[static_cast<size_t>(bit / 4)]);
    if (digit < 0)
        digit = 0;
    return (digit >> (bit % 4)) & 1;
}

// ---- Numbers -------------------------------------------------------------------

std::string int_to_text(int32_t v)
{
    return std::to_string(v);
}

int32_t text_to_int(const std::string& text)
{
    return is_integer_text(text) ? crt_atoi(text.c_str()) : 0;
}

bool is_integer_text(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9')
            continue;
        if (i == 0 && c == '-')
            continue;
        return false;
    }
    return true;
}

uint32_t text_to_uint(const std::string& text)
{
    if (text.size() >= 3 && text[0] == '0' && text[1] == 'x')
        return crt_strtoul(text.c_str() + 2, nullptr, 16);
    return crt_strtoul(text.c_str(), nullptr, 10);
}

std::string double_to_text(double v)
{
    int needed = std::snprintf(nullptr, 0, "%f", v);
    if (needed < 0)
        return std::string();
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::snprintf(&text[0], text.size(), "%f", v);
    text.resize(static_cast<size_t>(needed));
    size_t comma = text.find(',');
    if (comma != std::string::npos)
        text[comma] = '.';
    return text;
}

double text_to_double(const std::string& text)
{
    std::string s = text;
    size_t comma = s.find(',');
    if (comma != std::string::npos)
        s[comma] = '.';

    // The longest prefix of the form: blanks, sign, digits, point, digits, exponent.
    size_t i = 0;
    while (i < s.size() && is_trim_space(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    const size_t number_start = i;
    size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0)
        return 0.0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            while (j < s.size() && s[j] >= '0' && s[j] <= '9')
                ++j;
            i = j;
        }
    }
    // Only the plain decimal form reaches strtod (no hexadecimal, infinity or NaN),
    // read in the "C" locale whatever the process has set.
    static const locale_t c_locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string number = s.substr(number_start, i - number_start);
    double value = c_locale != static_cast<locale_t>(nullptr) ? ::strtod_l(number.c_str(), nullptr, c_locale)
                                                           : std::strtod(number.c_str(), nullptr);
    return negative ? -value : value;
}

std::string last_ten_digits(const std::string& text)
{
    if (text.size() <= 10)
        return std::string();
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9')
            digits += c;
    if (digits.size() > 10)
        digits.erase(0, digits.size() - 10);
    return digits;
}


// ---- Splitting and substrings --------------------------------------------------

bool split_char(const std::string& text, std::vector<std::string>& out, char c)
{
    size_t start = 0;
    for (size_t pos = text.find(c); pos != std::string::npos; pos = text.find(c, start)) {
        out.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
    if (start < text.size())
        out.push_back(text.substr(start));
    return true;
}

bool split_commas(const std::string& text, std::vector<std::string>& out)
{
    return split_char(text, out, ',');
}

std::vector<std::string> split_text(const std::string& text, const std::string& separator)
{
    std::vector<std::string> pieces;
    if (separator.empty())
        return pieces;
    size_t start = 0;
    for (size_t pos = text.find(separator); pos != std::string::npos; pos = text.find(separator, start)) {
        pieces.push_back(text.substr(start, pos - start));
        start = pos + separator.size();
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

std::string safe_substr(const std::string& text, int start, int length)
{
    if (start < 0 || length < 1 || static_cast<size_t>(start) >= text.size())
        return std::string();
    return text.substr(static_cast<size_t>(start), static_cast<size_t>(length));
}

std::string strip_prefix(const std::string& text, const std::string& prefix)
{
    if (text.compare(0, prefix.size(), prefix) == 0)
        return text.substr(prefix.size());
    return text;
}

std::string cut_at_last(const std::string& text, const std::string& separator)
{
    if (separator.empty())
        return text;
    size_t pos = text.rfind(separator);
    if (pos == std::string::npos)
        return text;
    return text.substr(0, pos);
}

bool text_ends_with(const std::string& text, const std::string& suffix)
{
    if (suffix.size() == text.size() + 1)
        return true;
    return text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// ---- Characters ----------------------------------------------------------------

std::string trim_space(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && is_trim_space(text[begin]))
        ++begin;
    while (end > begin && is_trim_space(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

void replace_char(std::string& text, char c, const std::string& replacement)
{
    std::string result;
    result.reserve(text.size());
    for (char ch : text) {
        if (ch == c)
            result += replacement;
        else
            result += ch;
    }
    text.swap(result);
}

void blank_special_chars(std::string& text, bool lines, bool equals)
{
    for (char& c : text) {
        if (c == '\'' || (lines && (c == '\r' || c == '\n')) || (equals && c == '='))
            c = ' ';
    }
}

// ---- Settings texts ------------------------------------------------------------

std::string settings_get(const std::string& settings, const char* key, const std::string& def)
{
    if (key == nullptr || *key == '\0' || settings.empty())
        return def;
    const std::string name = key;
    size_t pos = find_settings_key(settings, name);
    if (pos == std::string::npos)
        return def;
    size_t value_start = pos + name.size() + 1;
    size_t line_end = settings.find('\n', value_start);
    if (line_end == std::string::npos)
        line_end = settings.size();
    return trim_space(settings.substr(value_start, line_end - value_start));
}

void settings_set(std::string& settings, const char* key, const char* value)
{
    if (key == nullptr || *key == '\0' || value == nullptr)
        return;
    const std::string name = key;
    const std::string line_value = std::string(value) + "\r\n";
    size_t pos = find_settings_key(settings, name);
    if (pos != std::string::npos) {
        size_t value_start = pos + name.size() + 1;
        size_t line_end = settings.find('\n', value_start);
        size_t replaced = line_end == std::string::npos ? settings.size() - value_start : line_end + 1 - value_start;
        settings.replace(value_start, replaced, line_value);
        return;
    }
    // A new key always starts on a line of its own.
    if (!settings.empty() && settings.back() != '\n')
        settings += "\r\n";
    settings += name;
    settings += '=';
    settings += line_value;
}

// ---- Other ---------------------------------------------------------------------

std::string new_guid_string()
{
    platform::Guid guid;
    if (!platform::create_guid(guid))
        return std::string();
    std::string text = platform::guid_to_string(guid);
    return text.substr(1, text.size() - 2);
}

std::string format_win32_error(uint32_t code)
{
    constexpr size_t kMaxText = 510;
    std::string text = platform::system_error_text(code);
    if (text.empty())
        text = "Unknown error " + std::to_string(code);
    if (text.size() > kMaxText)
        text.resize(kMaxText);
    return text;
}

// ---- Time ----------------------------------------------------------------------

SystemTime local_system_time_now()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    SystemTime result;
    result.year = static_cast<uint16_t>(local.tm_year + 1900);
    result.month = static_cast<uint16_t>(local.tm_mon + 1);
    result.day_of_week = static_cast<uint16_t>(local.tm_wday);
    result.day = static_cast<uint16_t>(local.tm_mday);
    result.hour = static_cast<uint16_t>(local.tm_hour);
    result.minute = static_cast<uint16_t>(local.tm_min);
    // A leap second reads as the 59th, as Windows clocks never show one.
    result.second = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
    result.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
    return result;
}

PackedDateTime packed_local_now()
{
    return pack_system_time(local_system_time_now());
}

PackedDateTime pack_system_time(const SystemTime& time)
{
    return PackedDateTime{static_cast<uint8_t>(time.second),
                          static_cast<uint8_t>(time.minute),
                          static_cast<uint8_t>(time.hour),
                          static_cast<uint8_t>(time.day),
                          static_cast<uint8_t>(time.month),
                          static_cast<uint8_t>(time.year & 0xFF),
                          static_cast<uint8_t>(time.year >> 8),
                          0};
}

FileTime local_now_filetime()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    // The wall-clock fields of local time, counted as if they were UTC.
    const int64_t seconds = seconds_as_utc(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                           local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec);
    return make_filetime(seconds, now.tv_nsec / 100);
}

bool system_time_to_filetime(const SystemTime* time, FileTime& out)
{
    if (time == nullptr)
        return false;
    const SystemTime& t = *time;
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1
        || t.day > days_in_month(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59
        || t.milliseconds > 999)
        return false;
    const int64_t seconds = seconds_as_utc(t.year, t.month, t.day, t.hour, t.minute, t.second);
    out = make_filetime(seconds, static_cast<int64_t>(t.milliseconds) * 10000);
    return true;
}

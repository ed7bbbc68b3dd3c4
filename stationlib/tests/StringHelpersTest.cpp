#include "base/StringHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <climits>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

namespace {

using Pieces = std::vector<std::string>;

// ---- Settings texts ------------------------------------------------------------

TEST(SettingsGet, FindsKeysOnlyAtLineStarts)
{
    struct Case
    {
        std::string settings;
        const char* key;
        std::string expected;
    };
    const Case cases[] = {
        {"XA=1\nA= 2 ", "A", "2"},
        {"A=1\r\nB=2\r\n", "B", "2"},
        {"A=1\r\nB=2\r\n", "A", "1"},
        {"A=\t value with = inside \r\nB=2", "A", "value with = inside"},
        {"AB=1\nA=3", "A", "3"},
        {"A=", "A", ""},
        {"B=1", "A", "default"},
        {"xB=1", "B", "default"},
        {"", "A", "default"},
        {"A=1", nullptr, "default"},
        {"=1\nA=2", "", "default"},
        {"A=1\rB=2", "B", "default"},  // a lone CR does not start a line
    };
    for (const Case& c : cases)
        EXPECT_EQ(settings_get(c.settings, c.key, "default"), c.expected)
            << "[" << c.settings << "] key " << (c.key ? c.key : "(none)");
}

TEST(SettingsSet, ReplacesOrAppendsWholeLines)
{
    struct Case
    {
        std::string settings;
        const char* key;
        const char* value;
        std::string expected;
    };
    const Case cases[] = {
        {"", "B", "7", "B=7\r\n"},
        {"A=1", "B", "7", "A=1\r\nB=7\r\n"},
        // A one-character text is no reason to glue the new key onto it.
        {"A", "B", "7", "A\r\nB=7\r\n"},
        {"A=1\n", "B", "7", "A=1\nB=7\r\n"},
        {"A=1\r\nB=2\r\nC=3\r\n", "B", "9", "A=1\r\nB=9\r\nC=3\r\n"},
        {"A=1\nB=2", "B", "9", "A=1\nB=9\r\n"},
        {"XB=1\r\n", "B", "2", "XB=1\r\nB=2\r\n"},
        {"A=1\r\n", "A", "", "A=\r\n"},
        {"", "A", "", "A=\r\n"},
        {"A=1", nullptr, "2", "A=1"},
        {"A=1", "A", nullptr, "A=1"},
        {"A=1", "", "2", "A=1"},
    };
    for (const Case& c : cases) {
        std::string settings = c.settings;
        settings_set(settings, c.key, c.value);
        EXPECT_EQ(settings, c.expected) << "[" << c.settings << "]";
    }
}

// ---- Splitting and substrings --------------------------------------------------

TEST(SplitChar, KeepsInnerAndLeadingEmptyPiecesButNotATrailingOne)
{
    struct Case
    {
        std::string text;
        Pieces expected;
    };
    const Case cases[] = {
        {"a,,b,", {"a", "", "b"}},
        {",a", {"", "a"}},
        {"", {}},
        {",", {""}},
        {"abc", {"abc"}},
        {"5.2.4.1", {"5.2.4.1"}},
    };
    for (const Case& c : cases) {
        Pieces out{"kept"};
        EXPECT_TRUE(split_commas(c.text, out));
        Pieces expected{"kept"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(out, expected) << "[" << c.text << "]";
    }
    Pieces version;
    split_char("5.2.4.1", version, '.');
    EXPECT_EQ(version, (Pieces{"5", "2", "4", "1"}));
}

TEST(SplitText, AlwaysAddsThePieceAfterTheLastSeparator)
{
    struct Case
    {
        std::string text;
        std::string separator;
        Pieces expected;
    };
    const Case cases[] = {
        {"a,,b,", ",", {"a", "", "b", ""}},
        {"", ",", {""}},
        {"abc", "", {}},
        {"a\r\nb\r\n", "\r\n", {"a", "b", ""}},
        {"a--b---c", "--", {"a", "b", "-c"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(split_text(c.text, c.separator), c.expected) << "[" << c.text << "]";
}

TEST(Substrings, EdgesGiveEmptyOrWholeTexts)
{
    EXPECT_EQ(safe_substr("abcdef", 2, 3), "cde");
    EXPECT_EQ(safe_substr("abcdef", 4, 10), "ef");
    EXPECT_EQ(safe_substr("abcdef", -1, 3), "");
    EXPECT_EQ(safe_substr("abcdef", 6, 1), "");
    EXPECT_EQ(safe_substr("abcdef", 0, 0), "");

    EXPECT_EQ(strip_prefix("<?xml?>body", "<?xml?>"), "body");
    EXPECT_EQ(strip_prefix("body", "<?xml?>"), "body");
    EXPECT_EQ(strip_prefix("body", ""), "body");

    EXPECT_EQ(cut_at_last("a\r\nb\r\nc", "\r\n"), "a\r\nb");
    EXPECT_EQ(cut_at_last("\r\nabc", "\r\n"), "");
    EXPECT_EQ(cut_at_last("abc", "\r\n"), "abc");
    EXPECT_EQ(cut_at_last("abc", ""), "abc");
}

TEST(TextEndsWith, FollowsTheLibrarysRule)
{
    struct Case
    {
        std::string text;
        std::string suffix;
        bool expected;
    };
    const Case cases[] = {
        {"dir/", "/", true},
        {"dir", "/", false},
        {"/", "/", false},  // must be longer than the suffix
        {"", "/", true},    // an empty folder counts as ending with a separator
        {"ab", "xab", true},
        {"abc", "", true},
        {"", "", false},
        {"a", "abc", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text_ends_with(c.text, c.suffix), c.expected) << "[" << c.text << "] [" << c.suffix << "]";
}

TEST(Characters, TrimOnlyTheControlRangeAndBlanks)
{
    struct Case
    {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {" \t\r\n\v\fa b\r\n", "a b"},
        {"\xA0x\xA0", "\xA0x\xA0"},  // a no-break space of 1251 is text
        {std::string("\0x\0", 3), std::string("\0x\0", 3)},
        {"\x1Fx", "\x1Fx"},
        {" \t ", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(trim_space(c.text), c.expected) << "[" << c.text << "]";
}

TEST(Characters, ReplaceAndBlank)
{
    std::string text = "a'b'c";
    replace_char(text, '\'', "''");
    EXPECT_EQ(text, "a''b''c");
    replace_char(text, '\'', "");
    EXPECT_EQ(text, "abc");

    struct Case
    {
        bool lines;
        bool equals;
        std::string expected;
    };
    const Case cases[] = {
        {false, false, "a b\r\nc=d"},
        {true, false, "a b  c=d"},
        {false, true, "a b\r\nc d"},
        {true, true, "a b  c d"},
    };
    for (const Case& c : cases) {
        std::string s = "a'b\r\nc=d";
        blank_special_chars(s, c.lines, c.equals);
        EXPECT_EQ(s, c.expected);
    }
}

// ---- Hexadecimal ---------------------------------------------------------------

TEST(Hex, BytesToTextWithAndWithoutSeparators)
{
    const uint8_t bytes[] = {0x0A, 0xFF, 0x00, 0x7b};
    EXPECT_EQ(bytes_to_hex(bytes, 4, 0), "0AFF007B");
    EXPECT_EQ(bytes_to_hex(bytes, 2, ' '), "0A FF ");
    EXPECT_EQ(bytes_to_hex(bytes, 0, ' '), "");
    EXPECT_EQ(byte_to_hex(0xab), "AB");
}

TEST(Hex, TextToBytes)
{
    struct Case
    {
        std::string text;
        bool separated;
        int size;
        bool ok;
        std::vector<uint8_t> written;  // the bytes that must be in the buffer
    };
    const Case cases[] = {
        {"0A FF ", true, 2, true, {10, 255}},
        {"0A-FF", true, 2, true, {10}},     // a remainder is ignored
        {"0aFf7B", false, 3, true, {10, 255, 0x7B}},
        {"0aFf7", false, 2, true, {10, 255}},
        {"0AG1", false, 2, false, {10}},    // bytes before the fault are kept
        {"0A FF ", true, 1, false, {}},     // buffer too small
        {"", false, 0, true, {}},
        {"x0", false, 1, false, {}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> buffer(4, 0xEE);
        EXPECT_EQ(hex_to_bytes(c.text, buffer.data(), c.size, c.separated), c.ok) << c.text;
        for (size_t i = 0; i < c.written.size(); ++i)
            EXPECT_EQ(buffer[i], c.written[i]) << c.text << " byte " << i;
    }
}

TEST(Hex, RoundTripThroughTheArchiveForm)
{
    std::vector<uint8_t> bytes(256);
    for (int i = 0; i < 256; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(255 - i);
    std::string text = bytes_to_hex(bytes.data(), 256, 0);
    std::vector<uint8_t> back(256);
    ASSERT_TRUE(hex_to_bytes(text, back.data(), 256, false));
    EXPECT_EQ(back, bytes);
}

TEST(Hex, WholeTextAsNumber)
{
    struct Case
    {
        std::string text;
        bool ok;
        int32_t value;
    };
    const Case cases[] = {
        {"1F", true, 31},
        {"ff", true, 255},
        {"FFFFFFFF", true, -1},
        {"", false, 77},
        {"0x1F", false, 77},
        {"1F ", false, 77},
    };
    for (const Case& c : cases) {
        int32_t value = 77;
        EXPECT_EQ(hex_text_to_int(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(Hex, BitOfAHexadecimalText)
{
    struct Case
    {
        std::string text;
        int bit;
        int expected;
    };
    const Case cases[] = {
        {"8", 3, 1},
        {"8", 2, 0},
        {"8", 4, -1},   // no second character
        {"18", 0, 1},   // the leftmost character holds bits 0..3
        {"18", 7, 1},
        {"18", 6, 0},
        {"G1", 0, 0},   // not a digit: reads as 0
        {"F", -1, -1},  // negative bits give the default
        {"F", 1025, -1},
        {"", 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hex_text_bit(c.text, c.bit, -1), c.expected) << c.text << " bit " << c.bit;
    // Bit 1024 is the last one read (character 256).
    EXPECT_EQ(hex_text_bit(std::string(257, '1'), 1024, -1), 1);
    EXPECT_EQ(hex_text_bit(std::string(257, 'E'), 1024, -1), 0);
    EXPECT_EQ(hex_text_bit(std::string(300, 'F'), 1028, -1), -1);
}

// ---- Numbers -------------------------------------------------------------------

TEST(Numbers, TextToUnsignedFollowsThe32BitRuntime)
{
    struct Case
    {
        std::string text;
        uint32_t expected;
    };
    const Case cases[] = {
        {"0x1F", 31},
        {"0X1F", 0},  // only a lower-case x marks hexadecimal
        {"0x", 0},
        {"12abc", 12},
        {"4294967295", 4294967295u},
        {"4294967296", 4294967295u},  // saturates at 32 bits
        {"99999999999999999999", 4294967295u},
        {"0x1FFFFFFFF", 4294967295u},
        {"-1", 4294967295u},          // negated modulo 2^32
        {" 42", 42},
        {"", 0},
        {"abc", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text_to_uint(c.text), c.expected) << "[" << c.text << "]";
}

TEST(Numbers, TextToIntOnlyForIntegerTexts)
{
    struct Case
    {
        std::string text;
        bool integer;
        int32_t value;
    };
    const Case cases[] = {
        {"123", true, 123},
        {"-45", true, -45},
        {"", true, 0},
        {"-", true, 0},
        {"12a", false, 0},
        {" 12", false, 0},
        {"1-2", false, 0},
        {"+5", false, 0},
        {"99999999999", true, INT32_MAX},  // the runtime's atoi saturates
        {"-99999999999", true, INT32_MIN},
        {"-2147483648", true, INT32_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_integer_text(c.text), c.integer) << "[" << c.text << "]";
        EXPECT_EQ(text_to_int(c.text), c.value) << "[" << c.text << "]";
    }
    EXPECT_EQ(int_to_text(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(int_to_text(0), "0");
}

TEST(Numbers, DoublesUseADecimalPointWhateverTheLocale)
{
    EXPECT_EQ(double_to_text(55.75), "55.750000");
    EXPECT_EQ(double_to_text(-0.5), "-0.500000");

    struct Case
    {
        std::string text;
        double expected;
    };
    const Case cases[] = {
        {"55,75", 55.75},
        {"  -1.5e2xyz", -150.0},
        {"+.5", 0.5},
        {"1e", 1.0},
        {"abc", 0.0},
        {"", 0.0},
        {"0x10", 0.0},  // no hexadecimal floats: reads the 0
        {"inf", 0.0},
        {"1,5,6", 1.5},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(text_to_double(c.text), c.expected) << "[" << c.text << "]";

    // A locale with a decimal comma changes nothing, when the system has one.
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr || std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
        EXPECT_EQ(double_to_text(1.25), "1.250000");
        EXPECT_DOUBLE_EQ(text_to_double("1.25"), 1.25);
        EXPECT_DOUBLE_EQ(text_to_double("1,25"), 1.25);
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Numbers, LastTenDigits)
{
    struct Case
    {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"+7 (912) 345-67-89", "9123456789"},
        {"8-912-345-67-89", "9123456789"},
        {"1234567", ""},
        {"1234567890", ""},       // ten characters or fewer: nothing
        {"12345678901", "2345678901"},
        {"ab-cd-ef-12", "12"},    // fewer than ten digits are all kept
    };
    for (const Case& c : cases)
        EXPECT_EQ(last_ten_digits(c.text), c.expected) << "[" << c.text << "]";
}

// ---- Code pages ----------------------------------------------------------------

TEST(CodePages, CyrillicRoundTripsThroughWindows1251)
{
    const std::string utf8 = "\xD0\x91\xD0\xB8\xD0\xB1\xD0\xBB\xD0\xB8\xD0\xBE\xD1\x82\xD0\xB5\xD0\xBA\xD0\xB0 \xD0\x81";
    const std::string ansi = "\xC1\xE8\xE1\xEB\xE8\xEE\xF2\xE5\xEA\xE0 \xA8";  // "Библиотека Ё"
    std::string text = utf8;
    utf8_to_ansi(text);
    EXPECT_EQ(text, ansi);
    ansi_to_utf8(text);
    EXPECT_EQ(text, utf8);
}

TEST(CodePages, AsciiTexts)
{
    EXPECT_TRUE(is_ascii_text(""));
    EXPECT_TRUE(is_ascii_text("plain \x7F"));
    EXPECT_FALSE(is_ascii_text("\xC1"));
}

// ---- Other ---------------------------------------------------------------------

TEST(Guids, NewGuidTextsAre36UpperCaseCharacters)
{
    const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    std::string first = new_guid_string();
    EXPECT_TRUE(std::regex_match(first, form)) << first;
    EXPECT_NE(new_guid_string(), first);
}

TEST(Win32Errors, TextsForKnownAndUnknownCodes)
{
    EXPECT_EQ(format_win32_error(183), "File exists");
    EXPECT_EQ(format_win32_error(0xFFFFFFFFu), "Unknown error 4294967295");
}

// ---- Time ----------------------------------------------------------------------

TEST(PackedTime, PacksFieldsLittleEndian)
{
    SystemTime time;
    time.year = 0x7E8;
    time.month = 3;
    time.day = 5;
    time.hour = 14;
    time.minute = 7;
    time.second = 9;
    time.milliseconds = 999;
    time.day_of_week = 2;
    EXPECT_EQ(pack_system_time(time), (PackedDateTime{9, 7, 14, 5, 3, 0xE8, 0x07, 0}));
}

TEST(PackedTime, NowIsTheLocalClock)
{
    // Read from the same clock as the library reads (time() may lag behind it by
    // a tick); the packed second is one of those between the two readings.
    auto realtime_seconds = [] {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        return now.tv_sec;
    };
    const std::time_t before = realtime_seconds();
    const PackedDateTime packed = packed_local_now();
    const std::time_t after = realtime_seconds();
    for (std::time_t second = before; second <= after; ++second) {
        std::tm tm{};
        ::localtime_r(&second, &tm);
        const PackedDateTime expected{static_cast<uint8_t>(std::min(tm.tm_sec, 59)),
                                      static_cast<uint8_t>(tm.tm_min),
                                      static_cast<uint8_t>(tm.tm_hour),
                                      static_cast<uint8_t>(tm.tm_mday),
                                      static_cast<uint8_t>(tm.tm_mon + 1),
                                      static_cast<uint8_t>((tm.tm_year + 1900) & 0xFF),
                                      static_cast<uint8_t>((tm.tm_year + 1900) >> 8),
                                      0};
        if (packed == expected)
            return;
    }
    ADD_FAILURE() << "no local time between " << before << " and " << after << " packs as "
                  << testing::PrintToString(packed);
}

TEST(FileTimes, SystemTimeConversion)
{
    SystemTime time;
    time.year = 1970;
    time.month = 1;
    time.day = 1;
    FileTime out;
    ASSERT_TRUE(system_time_to_filetime(&time, out));
    EXPECT_EQ(out.value(), 116444736000000000ull);

    time.year = 1601;
    ASSERT_TRUE(system_time_to_filetime(&time, out));
    EXPECT_EQ(out.value(), 0u);

    time.year = 2024;
    time.month = 2;
    time.day = 29;
    time.hour = 23;
    time.minute = 59;
    time.second = 58;
    time.milliseconds = 250;
    ASSERT_TRUE(system_time_to_filetime(&time, out));
    // 2024-02-29 23:59:58.250 = 1709251198.25 s after 1970.
    EXPECT_EQ(out.value(), 116444736000000000ull + 17092511982500000ull);
    EXPECT_EQ(out.low, static_cast<uint32_t>(out.value()));
    EXPECT_EQ(out.high, static_cast<uint32_t>(out.value() >> 32));

    const FileTime kept = out;
    SystemTime bad = time;
    bad.year = 2023;  // no 29 February
    EXPECT_FALSE(system_time_to_filetime(&bad, out));
    bad = time;
    bad.month = 13;
    EXPECT_FALSE(system_time_to_filetime(&bad, out));
    EXPECT_FALSE(system_time_to_filetime(nullptr, out));
    EXPECT_EQ(out.value(), kept.value());

    FileTime copy = out;
    copy.clear();
    EXPECT_EQ(copy.low, 0u);
    EXPECT_EQ(copy.high, 0u);
}

TEST(FileTimes, LocalNowHoldsLocalWallClock)
{
    FileTime now = local_now_filetime();
    SystemTime local = local_system_time_now();
    local.milliseconds = 0;
    FileTime expected;
    ASSERT_TRUE(system_time_to_filetime(&local, expected));
    // The two readings lie within a couple of seconds of each other.
    const int64_t difference = static_cast<int64_t>(expected.value()) - static_cast<int64_t>(now.value());
    EXPECT_LT(difference < 0 ? -difference : difference, 3 * 10000000LL);
}

} // namespace

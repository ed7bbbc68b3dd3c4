#pragma once

// Free helpers over the library's byte strings (Windows-1251 text in practice):
// code pages, hexadecimal forms, numbers, splitting, settings texts, GUID and
// error texts, and the packed 8-byte date-time. None of them throws on bad input;
// failures come back as result values.

#include <array>
#include <cstdint>

#include "platform/CrtConversions.h"
#include <string>
#include <vector>

// ---- Code pages (ANSI = Windows-1251) ------------------------------------------

// ANSI -> UTF-8 in place; the text stays as it was when the conversion fails.
void ansi_to_utf8(std::string& text);
// UTF-8 -> ANSI in place; the text stays as it was when the conversion fails.
// Characters the ANSI page lacks become '?'.
void utf8_to_ansi(std::string& text);
// The library's own UTF-8 text in ANSI, as every text it hands out or logs.
std::string ansi_text(const char* utf8);
// Every byte below 128 (an empty text is ASCII).
bool is_ascii_text(const std::string& text);

// ---- Hexadecimal ---------------------------------------------------------------

// Two upper-case digits.
std::string byte_to_hex(uint8_t b);
// "%02X" per byte; a non-zero separator follows every byte, the last one included.
std::string bytes_to_hex(const uint8_t* bytes, int count, char separator);
// Two characters per byte, three when separated (digits and any separator after
// each byte); a remainder is ignored. False when `size` is below the byte count or
// a digit is bad; bytes before the fault are already written.
bool hex_to_bytes(const std::string& text, uint8_t* out, int size, bool separated);
// The whole text as a hexadecimal number (either case, wrapping at 32 bits).
// False for an empty text or any other character; `value` is then unchanged.
bool hex_text_to_int(const std::string& text, int32_t& value);
// Bit `bit` of the text read as a hexadecimal bit field: character bit / 4 from
// the left, tested at bit % 4 (a character that is no digit reads as 0). A bit
// outside 0..1024 or past the text gives `def`.
int hex_text_bit(const std::string& text, int bit, int def);

// ---- Numbers -------------------------------------------------------------------

std::string int_to_text(int32_t v);
// crt_atoi of the text when is_integer_text holds, else 0.
int32_t text_to_int(const std::string& text);
// Decimal digits only, the first character may be "-"; "" and "-" pass too.
bool is_integer_text(const std::string& text);
// "0x..." (lower-case x, at least 3 characters): base 16 after the prefix;
// anything else base 10. 32-bit strtoul rules (saturating, stops at the first
// character that does not fit).
uint32_t text_to_uint(const std::string& text);
// "%f" with a decimal point whatever the locale.
std::string double_to_text(double v);
// The first "," read as ".", converted as the "C" locale does; 0 when nothing converts.
double text_to_double(const std::string& text);
// The last ten decimal digits of a text longer than 10 characters (other
// characters dropped); empty for a text of 10 characters or fewer.
std::string last_ten_digits(const std::string& text);

// The Windows C runtime's conversions, on which stored values rely.
using platform::crt_atoi;
using platform::crt_strtoul;

// ---- Splitting and substrings --------------------------------------------------

// Appends the pieces between separators to `out` (not cleared). Empty pieces in
// the middle and at the front are kept; a trailing separator adds nothing.
bool split_char(const std::string& text, std::vector<std::string>& out, char c);
bool split_commas(const std::string& text, std::vector<std::string>& out);
// Pieces between occurrences of `separator`; the last piece is always added, even
// empty. An empty separator gives no pieces.
std::vector<std::string> split_text(const std::string& text, const std::string& separator);
// At most `length` characters from `start`; empty for a negative start, a length
// below 1 or a start at or past the end.
std::string safe_substr(const std::string& text, int start, int length);
std::string strip_prefix(const std::string& text, const std::string& prefix);
// The text before the last `separator`; the whole text when there is none.
std::string cut_at_last(const std::string& text, const std::string& separator);
// True when the text ends with the suffix and is longer than it, and also when the
// suffix is exactly one character longer than the text (so an empty folder text
// counts as ending with a separator).
bool text_ends_with(const std::string& text, const std::string& suffix);

// ---- Characters ----------------------------------------------------------------

// Without the characters 9 to 13 and the blank at both ends (bytes of 128 and
// above are never trimmed).
std::string trim_space(const std::string& text);

void replace_char(std::string& text, char c, const std::string& replacement);
// Apostrophes become blanks; with `lines` also CR and LF, with `equals` also "=".
void blank_special_chars(std::string& text, bool lines, bool equals);

// ---- Settings texts ("key=value" lines, LF or CR LF) ----------------------------

// The trimmed value of `key`, found only at the start of the text or of a line;
// `def` when the key is null or empty, or absent.
std::string settings_get(const std::string& settings, const char* key, const std::string& def);
// Replaces the key's line (through its LF) by "key=value" CR LF, or appends that
// line, starting a new line first when the text does not end with LF. Nothing for
// a null or empty key or a null value; an empty value is written as "key=".
void settings_set(std::string& settings, const char* key, const char* value);

// ---- Other ---------------------------------------------------------------------

// A new GUID as 36 upper-case characters 8-4-4-4-12 without braces; empty when
// none could be made.
std::string new_guid_string();
// The system's message for an error code, a new text per call (at most 510
// characters). An unknown code gives "Unknown error <code>".
std::string format_win32_error(uint32_t code);

// ---- Time ----------------------------------------------------------------------

// Packed date-time as records store it, 8 bytes: second, minute, hour, day,
// month, year (little-endian 16 bits), 0. Milliseconds and weekday are not kept.
using PackedDateTime = std::array<uint8_t, 8>;

// A calendar time split into fields, as the system clock reports it.
struct SystemTime
{
    uint16_t year = 0;
    uint16_t month = 0;  // 1..12
    uint16_t day_of_week = 0;  // 0 = Sunday
    uint16_t day = 0;  // 1..31
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;
};

// A 64-bit count of 100-nanosecond units since 1601-01-01, held as two halves.
struct FileTime
{
    uint32_t low = 0;
    uint32_t high = 0;

    void clear() { low = high = 0; }
    uint64_t value() const { return (static_cast<uint64_t>(high) << 32) | low; }
};

// The local clock now.
SystemTime local_system_time_now();
PackedDateTime packed_local_now();
PackedDateTime pack_system_time(const SystemTime& time);
// The local clock now as a FileTime holding local time (not UTC).
FileTime local_now_filetime();
// Converts `time` into `out`. A null time, or one whose fields are out of range,
// leaves `out` unchanged and gives false.
bool system_time_to_filetime(const SystemTime* time, FileTime& out);

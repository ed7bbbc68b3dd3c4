#include "utils/Base64.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kFill = '=';
// Reverse-table entry of every byte outside the alphabet, '=' and NUL included.
constexpr int32_t kInvalid = -1;

constexpr std::array<int32_t, 256> make_reverse_table()
{
    std::array<int32_t, 256> table{};
    for (auto& entry : table)
        entry = kInvalid;
    for (int32_t v = 0; v < 64; ++v)
        table[static_cast<unsigned char>(kAlphabet[v])] = v;
    return table;
}

constexpr std::array<int32_t, 256> kReverse = make_reverse_table();

int32_t value_of(unsigned char c)
{
    return kReverse[c];
}

bool report(const char* text)
{
    std::fprintf(stderr, "%s\n", text);
    return false;
}

bool report_illegal(unsigned char c)
{
    std::fputs("base 64 decode error: illegal character '", stderr);
    std::fputc(c, stderr);
    std::fputs("'\n", stderr);
    return false;
}

constexpr char kTruncated[] = "base64 decode error: Truncated data";
constexpr char kUnexpectedFill[] = "base64 decode error: unexpected fill char -- offset read?";

} // namespace

std::string base64_encode(const std::string& bytes)
{
    std::string out;
    const size_t n = bytes.size();
    if (n == 0)
        return out;
    out.reserve((n - 1) / 3 * 4 + 5);
    for (size_t i = 0; i < n; i += 3) {
        const unsigned b0 = static_cast<unsigned char>(bytes[i]);
        const unsigned b1 = i + 1 < n ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        const unsigned b2 = i + 2 < n ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out += i + 1 < n ? kAlphabet[((b1 & 0x0F) << 2) | (b2 >> 6)] : kFill;
        out += i + 2 < n ? kAlphabet[b2 & 0x3F] : kFill;
    }
    return out;
}

std::string base64_decode(const std::string& text)
{
    if (text.empty())
        return std::string();
    std::string out(base64_decode_size(text), '\0');
    unsigned decoded = 0;
    if (!base64_decode_block(text, &out[0], static_cast<unsigned>(out.size()), &decoded))
        return std::string();
    out.resize(decoded);
    return out;
}

unsigned base64_decode_size(const std::string& text)
{
    size_t length = text.size();
    while (length > 0) {
        const unsigned char last = static_cast<unsigned char>(text[length - 1]);
        if (value_of(last) != kInvalid || last == kFill)
            break;
        --length;
    }
    if (length % 4 != 0) {
        report("base 64 decodeSize error: data size is not multiple of 4");
        return static_cast<unsigned>((length / 4 + 1) * 3);
    }
    size_t fill = 0;
    while (fill < length && text[length - 1 - fill] == kFill)
        ++fill;
    if (fill > 2) {
        std::fputs("base 64 decodeSize error: too many fill characters", stderr);
        // All fill ("====") would otherwise come out below zero.
        const size_t groups = (length - 3 * (fill / 3)) / 4 * 3;
        const size_t cut = fill % 3;
        return groups > cut ? static_cast<unsigned>(groups - cut) : 0;
    }
    return static_cast<unsigned>(length / 4 * 3 - fill);
}

bool base64_decode_block(const std::string& text, char* out, unsigned capacity, unsigned* decoded)
{
    const size_t end = text.size();
    size_t i = 0;
    unsigned written = 0;
    auto finish = [&](bool ok) {
        if (decoded != nullptr)
            *decoded = written;
        return ok;
    };
    // The next character that is not white space; false at the end of the text.
    auto next = [&](unsigned char& c) {
        while (i < end) {
            c = static_cast<unsigned char>(text[i++]);
            if (value_of(c) != kInvalid || !std::isspace(c))
                return true;
        }
        return false;
    };

    for (unsigned j = 0;; j += 3) {
        unsigned char c1 = 0;
        unsigned char c2 = 0;
        unsigned char c3 = 0;
        unsigned char c4 = 0;
        // White space after the last group ends the text.
        if (!next(c1))
            return finish(true);
        if (c1 == kFill)
            return finish(report(kUnexpectedFill));
        if (value_of(c1) == kInvalid)
            return finish(report_illegal(c1));
        if (!next(c2))
            return finish(report(kTruncated));
        if (c2 == kFill)
            return finish(report(kUnexpectedFill));
        if (value_of(c2) == kInvalid)
            return finish(report_illegal(c2));
        const unsigned p = static_cast<unsigned>(value_of(c1));
        const unsigned q = static_cast<unsigned>(value_of(c2));
        if (j >= capacity)
            return finish(false);
        out[j] = static_cast<char>((p << 2) | ((q >> 4) & 3));
        written = j + 1;

        if (i >= end || !next(c3))
            return finish(report(kTruncated));
        if (c3 == kFill)
            return finish(true);
        if (value_of(c3) == kInvalid)
            return finish(report_illegal(c3));
        const unsigned r = static_cast<unsigned>(value_of(c3));
        if (j + 1 >= capacity)
            return finish(false);
        out[j + 1] = static_cast<char>(((r >> 2) & 0x0F) | (q << 4));
        written = j + 2;

        if (i >= end || !next(c4))
            return finish(report(kTruncated));
        if (c4 == kFill)
            return finish(true);
        if (value_of(c4) == kInvalid)
            return finish(report_illegal(c4));
        const unsigned s = static_cast<unsigned>(value_of(c4));
        if (j + 2 >= capacity)
            return finish(false);
        out[j + 2] = static_cast<char>((r << 6) | s);
        written = j + 3;

        if (i == end)
            return finish(true);
    }
}

#include "platform/CodePage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr const char* kUtf16Name = "UTF-16BE";
#else
constexpr const char* kUtf16Name = "UTF-16LE";
#endif

constexpr char16_t kReplacementChar = 0xFFFD;
constexpr char kDefaultChar = '?';
constexpr size_t kChunk = 4096;

const char* iconv_name(CodePage page)
{
    switch (page) {
    case CodePage::Ansi:
        return "CP1251";
    case CodePage::Oem:
        return "CP866";
    case CodePage::Utf8:
        break;
    }
    return "UTF-8";
}

bool is_single_byte(CodePage page)
{
    return page != CodePage::Utf8;
}

// iconv descriptors are not safe to share between threads; each thread keeps its
// own, opened on first use.
class ConverterCache
{
public:
    ConverterCache() { m_cd.fill(invalid()); }
    ~ConverterCache()
    {
        for (iconv_t cd : m_cd)
            if (cd != invalid())
                ::iconv_close(cd);
    }
    ConverterCache(const ConverterCache&) = delete;
    ConverterCache& operator=(const ConverterCache&) = delete;

    // A descriptor reset to its initial state, or invalid().
    iconv_t get(CodePage page, bool to_utf16)
    {
        iconv_t& cd = m_cd[static_cast<size_t>(page) * 2 + (to_utf16 ? 1 : 0)];
        if (cd == invalid())
            cd = to_utf16 ? ::iconv_open(kUtf16Name, iconv_name(page)) : ::iconv_open(iconv_name(page), kUtf16Name);
        if (cd != invalid())
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return cd;
    }

    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }

private:
    std::array<iconv_t, 6> m_cd;
};

iconv_t converter(CodePage page, bool to_utf16)
{
    thread_local ConverterCache cache;
    return cache.get(page, to_utf16);
}

// Runs iconv over the whole input; `on_error` is called with the remaining input
// whenever iconv stops at a sequence it cannot convert, and answers how many input
// bytes to skip after appending its replacement to the output.
template <typename OnError>
void run_iconv(iconv_t cd, const char* in, size_t in_left, std::string& out, OnError on_error)
{
    char buffer[kChunk];
    while (in_left > 0) {
        char* in_ptr = const_cast<char*>(in);
        char* out_ptr = buffer;
        size_t out_left = sizeof(buffer);
        size_t rc = ::iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
        int error = errno;
        out.append(buffer, static_cast<size_t>(out_ptr - buffer));
        in = in_ptr;
        if (rc != static_cast<size_t>(-1) || error == E2BIG)
            continue;
        size_t skip = on_error(in, in_left, out);
        if (skip == 0 || skip > in_left)
            skip = in_left;
        in += skip;
        in_left -= skip;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
}

void append_unit(std::string& out, char16_t unit)
{
    out.append(reinterpret_cast<const char*>(&unit), sizeof(unit));
}

char16_t unit_at(const char* bytes)
{
    char16_t unit;
    std::memcpy(&unit, bytes, sizeof(unit));
    return unit;
}

bool is_high_surrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool is_low_surrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Which bytes of a single-byte page iconv leaves undefined.
const std::array<bool, 256>& undefined_bytes(CodePage page)
{
    static const auto build = [](CodePage p) {
        std::array<bool, 256> undefined{};
        iconv_t cd = ::iconv_open(kUtf16Name, iconv_name(p));
        if (cd == ConverterCache::invalid())
            return undefined;
        for (int b = 0x80; b < 0x100; ++b) {
            char in_byte = static_cast<char>(b);
            char out_bytes[8];
            char* in_ptr = &in_byte;
            char* out_ptr = out_bytes;
            size_t in_left = 1;
            size_t out_left = sizeof(out_bytes);
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
            undefined[static_cast<size_t>(b)] =
                ::iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1);
        }
        ::iconv_close(cd);
        return undefined;
    };
    static const std::array<bool, 256> ansi = build(CodePage::Ansi);
    static const std::array<bool, 256> oem = build(CodePage::Oem);
    return page == CodePage::Oem ? oem : ansi;
}

} // namespace

bool to_utf16(const std::string& bytes, CodePage from, std::u16string& out)
{
    iconv_t cd = converter(from, true);
    if (cd == ConverterCache::invalid())
        return false;
    std::string raw;
    raw.reserve(bytes.size() * 2);
    run_iconv(cd, bytes.data(), bytes.size(), raw, [from](const char* in, size_t, std::string& o) -> size_t {
        if (is_single_byte(from))
            append_unit(o, static_cast<char16_t>(static_cast<unsigned char>(*in)));
        else
            append_unit(o, kReplacementChar);
        return 1;
    });
    out.assign(raw.size() / 2, u'\0');
    if (!raw.empty())
        std::memcpy(&out[0], raw.data(), out.size() * sizeof(char16_t));
    return true;
}

bool from_utf16(const std::u16string& text, CodePage to, std::string& out)
{
    iconv_t cd = converter(to, false);
    if (cd == ConverterCache::invalid())
        return false;
    std::string result;
    result.reserve(text.size());
    const auto* input = reinterpret_cast<const char*>(text.data());
    run_iconv(cd, input, text.size() * sizeof(char16_t), result, [to](const char* in, size_t left, std::string& o) -> size_t {
        if (left < sizeof(char16_t))
            return left;  // half a unit cannot come from a u16string; drop it
        char16_t unit = unit_at(in);
        bool pair = is_high_surrogate(unit) && left >= 2 * sizeof(char16_t) && is_low_surrogate(unit_at(in + 2));
        if (!is_single_byte(to)) {
            o.append("\xEF\xBF\xBD");
            return sizeof(char16_t);
        }
        if (unit >= 0x80 && unit <= 0xFF && undefined_bytes(to)[unit])
            o.push_back(static_cast<char>(unit));
        else
            o.push_back(kDefaultChar);
        return pair ? 2 * sizeof(char16_t) : sizeof(char16_t);
    });
    out.swap(result);
    return true;
}

bool convert_code_page(const std::string& bytes, CodePage from, CodePage to, std::string& out)
{
    std::u16string wide;
    if (!to_utf16(bytes, from, wide))
        return false;
    return from_utf16(wide, to, out);
}

} // namespace platform

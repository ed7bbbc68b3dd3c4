#include "platform/CodePage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

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

iconv_t invalid_converter()
{
    return reinterpret_cast<iconv_t>(-1);
}

// iconv descriptors are not safe to share between threads: a conversion takes
// one from the pool and gives it back. A pool, not one set per thread: a
// thread-local set would leave a destructor of this module on every thread that
// converted, which keeps a library holding this module from unloading, and one
// made while that library unloads would run after it is gone. Built before and
// destroyed after every unprioritised global of the module that links this, whose
// destructors may still convert (a library deleting its instances at unload).
class ConverterPool
{
public:
    ConverterPool() = default;
    ~ConverterPool()
    {
        for (std::vector<iconv_t>& idle : m_idle)
            for (iconv_t cd : idle)
                ::iconv_close(cd);
    }
    ConverterPool(const ConverterPool&) = delete;
    ConverterPool& operator=(const ConverterPool&) = delete;

    // A descriptor in its initial state, or invalid_converter().
    iconv_t Take(CodePage page, bool to_utf16)
    {
        iconv_t cd = invalid_converter();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            std::vector<iconv_t>& idle = m_idle[Slot(page, to_utf16)];
            if (!idle.empty()) {
                cd = idle.back();
                idle.pop_back();
            }
        }
        if (cd == invalid_converter())
            return to_utf16 ? ::iconv_open(kUtf16Name, iconv_name(page)) : ::iconv_open(iconv_name(page), kUtf16Name);
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return cd;
    }

    void Give(CodePage page, bool to_utf16, iconv_t cd)
    {
        if (cd == invalid_converter())
            return;
        try {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_idle[Slot(page, to_utf16)].push_back(cd);
            return;
        } catch (const std::bad_alloc&) {
        }
        ::iconv_close(cd);
    }

private:
    static size_t Slot(CodePage page, bool to_utf16) { return static_cast<size_t>(page) * 2 + (to_utf16 ? 1 : 0); }

    std::mutex m_mutex;
    // At most as many per direction as threads ever converted at once.
    std::array<std::vector<iconv_t>, 6> m_idle;
};

__attribute__((init_priority(200))) ConverterPool g_converters;

// One descriptor, taken for the length of a conversion.
class Converter
{
public:
    Converter(CodePage page, bool to_utf16)
        : m_page(page), m_toUtf16(to_utf16), m_cd(g_converters.Take(page, to_utf16))
    {
    }
    ~Converter() { g_converters.Give(m_page, m_toUtf16, m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return m_cd != invalid_converter(); }
    iconv_t get() const { return m_cd; }

private:
    CodePage m_page;
    bool m_toUtf16;
    iconv_t m_cd;
};

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
        if (cd == invalid_converter())
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
    Converter cd(from, true);
    if (!cd.valid())
        return false;
    std::string raw;
    raw.reserve(bytes.size() * 2);
    run_iconv(cd.get(), bytes.data(), bytes.size(), raw, [from](const char* in, size_t, std::string& o) -> size_t {
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
    Converter cd(to, false);
    if (!cd.valid())
        return false;
    std::string result;
    result.reserve(text.size());
    const auto* input = reinterpret_cast<const char*>(text.data());
    run_iconv(cd.get(), input, text.size() * sizeof(char16_t), result, [to](const char* in, size_t left, std::string& o) -> size_t {
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

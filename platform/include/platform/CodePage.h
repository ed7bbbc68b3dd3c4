#pragma once

// Conversions between the code pages the system speaks: the "ANSI" page
// (Windows-1251), the "OEM" page (866), UTF-8 and UTF-16, through iconv.
// What the conversion cannot map is replaced as the Windows conversion functions
// replace it:
//  - a byte the single-byte page leaves undefined (0x98 in 1251) becomes the C1
//    control of the same value, and that control converts back to the byte;
//  - a character the single-byte page lacks becomes '?';
//  - malformed UTF-8 and unpaired surrogates become U+FFFD.

#include <string>

namespace platform {

enum class CodePage
{
    Ansi,  // Windows-1251
    Oem,   // 866
    Utf8,
};

// False only when the conversion cannot be set up; `out` is then unchanged.
bool to_utf16(const std::string& bytes, CodePage from, std::u16string& out);
bool from_utf16(const std::u16string& text, CodePage to, std::string& out);
// From one page to another through UTF-16.
bool convert_code_page(const std::string& bytes, CodePage from, CodePage to, std::string& out);

} // namespace platform

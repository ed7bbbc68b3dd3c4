#include "utils/CodePageStrings.h"

#include "utils/LogFunctions.h"

#include "platform/CodePage.h"

using platform::CodePage;

std::string to_narrow(const char16_t* text)
{
    std::string result;
    if (text == nullptr || !platform::from_utf16(text, CodePage::Utf8, result))
        return std::string();
    return result;
}

std::string ansi_to_unicode(const char* text)
{
    if (text == nullptr)
        return std::string();
    const std::string bytes(text);
    std::u16string wide;
    std::string result;
    // The system page is single-byte: one UTF-16 unit per byte or the conversion failed.
    if (!platform::to_utf16(bytes, CodePage::Ansi, wide) || wide.size() != bytes.size() ||
        !platform::from_utf16(wide, CodePage::Utf8, result)) {
        log_warning("cannot convert ansi string '%s' to unicode\n", text);
        return std::string();
    }
    return result;
}

std::string unicode_to_ansi(const char* text)
{
    if (text == nullptr || *text == '\0')
        return std::string();
    std::u16string wide;
    std::string result;
    if (!platform::to_utf16(text, CodePage::Utf8, wide) || !platform::from_utf16(wide, CodePage::Ansi, result)) {
        log_warning("cannot convert unicode string '%s' to ansi\n", text);
        return std::string();
    }
    return result;
}

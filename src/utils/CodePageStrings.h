#pragma once

#include <string>

// Conversions between UTF-16, UTF-8 and the system ("ANSI") code page,
// Windows-1251. Failures are logged as warnings and give an empty text.

// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD. Null gives an empty text.
std::string to_narrow(const char16_t* text);

// System code page to UTF-8. Null gives an empty text.
std::string ansi_to_unicode(const char* text);

// UTF-8 to the system code page; characters the page lacks become '?'.
// Null gives an empty text.
std::string unicode_to_ansi(const char* text);

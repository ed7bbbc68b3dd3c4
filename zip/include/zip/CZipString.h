#pragma once

// Text helpers of the archive classes; their text type is std::string.

#include <string>

// A name compare function: below, equal to or above 0, as strcmp.
using ZIPSTRINGCOMPARE = int (*)(const std::string&, const std::string&);

class CZipString
{
public:
    static int Collate(const std::string& a, const std::string& b);
    static int CollateNoCase(const std::string& a, const std::string& b);
    static int Compare(const std::string& a, const std::string& b);
    static int CompareNoCase(const std::string& a, const std::string& b);
    static ZIPSTRINGCOMPARE GetCompareFunction(bool caseSensitive, bool collate = true);
    // Lowers in place through the locale's tolower.
    static void MakeLower(std::string& text);
};

// printf into a text of any length.
std::string FormatString(const char* format, ...) __attribute__((format(printf, 1, 2)));

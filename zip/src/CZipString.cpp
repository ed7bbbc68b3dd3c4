#include "zip/CZipString.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

int CZipString::Collate(const std::string& a, const std::string& b)
{
    return std::strcoll(a.c_str(), b.c_str());
}

int CZipString::CollateNoCase(const std::string& a, const std::string& b)
{
    std::string lowA = a;
    std::string lowB = b;
    MakeLower(lowA);
    MakeLower(lowB);
    return Collate(lowA, lowB);
}

int CZipString::Compare(const std::string& a, const std::string& b)
{
    return a.compare(b);
}

int CZipString::CompareNoCase(const std::string& a, const std::string& b)
{
    std::string lowA = a;
    std::string lowB = b;
    MakeLower(lowA);
    MakeLower(lowB);
    return lowA.compare(lowB);
}

ZIPSTRINGCOMPARE CZipString::GetCompareFunction(bool caseSensitive, bool collate)
{
    if (collate)
        return caseSensitive ? &Collate : &CollateNoCase;
    return caseSensitive ? &Compare : &CompareNoCase;
}

void CZipString::MakeLower(std::string& text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
}

std::string FormatString(const char* format, ...)
{
    std::vector<char> buffer(1024);
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (length >= static_cast<int>(buffer.size())) {
        buffer.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
    }
    va_end(again);
    return length < 0 ? std::string() : std::string(buffer.data(), static_cast<size_t>(length));
}

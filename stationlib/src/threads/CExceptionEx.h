#pragma once

#include <string>

// An error carried as two texts: what failed, and where or why.
class CExceptionEx
{
public:
    CExceptionEx(const std::string& text, const std::string& location);
    CExceptionEx(const CExceptionEx& other) = default;
    CExceptionEx& operator=(const CExceptionEx& other) = default;
    virtual ~CExceptionEx();

    virtual std::string GetText() const;
    virtual std::string GetLocation() const;

private:
    std::string m_text;
    std::string m_location;
};

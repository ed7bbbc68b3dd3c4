#include "threads/CExceptionEx.h"

CExceptionEx::CExceptionEx(const std::string& text, const std::string& location)
    : m_text(text), m_location(location)
{
}

CExceptionEx::~CExceptionEx() = default;

std::string CExceptionEx::GetText() const
{
    return m_text;
}

std::string CExceptionEx::GetLocation() const
{
    return m_location;
}

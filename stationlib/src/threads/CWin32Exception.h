#pragma once

#include "threads/CExceptionEx.h"

#include <cstdint>

// A failed system call: the failing operation and the system's text for its
// error code.
class CWin32Exception : public CExceptionEx
{
public:
    CWin32Exception(const std::string& operation, int32_t errorCode);
    CWin32Exception(const CWin32Exception& other) = default;
    CWin32Exception& operator=(const CWin32Exception& other) = default;

    int32_t GetErrorCode() const { return m_errorCode; }

private:
    int32_t m_errorCode;
};

#include "threads/CWin32Exception.h"

#include "base/StringHelpers.h"

CWin32Exception::CWin32Exception(const std::string& operation, int32_t errorCode)
    : CExceptionEx(operation, format_win32_error(static_cast<uint32_t>(errorCode))), m_errorCode(errorCode)
{
}

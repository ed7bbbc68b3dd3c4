#include "zip/CZipException.h"

#include <zlib.h>

CZipException::CZipException(int cause, const std::string& fileName)
    : m_szFileName(fileName)
    , m_iCause(cause)
    , m_what("ZIP error " + std::to_string(cause) + (fileName.empty() ? std::string() : ": " + fileName))
{
}

CZipException::~CZipException() = default;

const char* CZipException::what() const noexcept
{
    return m_what.c_str();
}

void CZipException::Throw(int cause, const std::string& fileName)
{
    throw CZipException(cause, fileName);
}

int CZipException::ZlibErrorToZipError(int zlibError)
{
    switch (zlibError) {
    case Z_STREAM_END:
        return kZlibStreamEnd;
    case Z_NEED_DICT:
        return kZlibNeedDict;
    case Z_ERRNO:
        return kZlibErrno;
    case Z_STREAM_ERROR:
        return kZlibStreamError;
    case Z_DATA_ERROR:
        return kZlibDataError;
    case Z_MEM_ERROR:
        return kZlibMemError;
    case Z_BUF_ERROR:
        return kZlibBufError;
    case Z_VERSION_ERROR:
        return kZlibVersionError;
    default:
        return kGeneric;
    }
}

#pragma once

// The one error type of the ZIP library. Its code is one of the named codes below,
// or the errno value of a failed file operation.
//
// Codes 100 to 116 are also errno values on Linux (ENETDOWN .. ESTALE); only network
// file systems give those, so the two meanings do not meet in practice.

#include <exception>
#include <string>

class CZipException : public std::exception
{
public:
    enum : int
    {
        kGeneric = 100,               // an unknown zlib result
        kBadArchive = 101,            // short read, bad signature, inconsistent data
        kBadCrc = 102,                // extracted data differ from the header's CRC-32
        kNoDiskCallback = 103,        // a span on removable disks needs a disk callback
        kDiskRefused = 104,           // the disk callback refused
        kStopped = 105,               // a progress callback stopped with data left
        kStoppedAfterData = 106,      // a progress callback stopped after the last data
        kNotRemovable = 107,          // a removable-disk span on a fixed drive
        kTooManyVolumes = 108,        // more than 998 volumes
        kBadPassword = 110,           // missing or wrong password
        kNotRemoved = 113,            // a file could not be removed
        kNotRenamed = 114,            // a file could not be renamed
        kAttributesNotConvertible = 115,
        kNoEndRecord = 116,           // no end-of-central-directory record
        kZlibStreamEnd = 500,
        kZlibNeedDict = 501,
        kZlibErrno = 502,
        kZlibStreamError = 503,
        kZlibDataError = 504,
        kZlibMemError = 505,
        kZlibBufError = 506,
        kZlibVersionError = 507,
    };

    CZipException(int cause, const std::string& fileName);
    ~CZipException() override;

    const char* what() const noexcept override;

    [[noreturn]] static void Throw(int cause, const std::string& fileName = std::string());
    // The ZIP code of a zlib result; 100 for one zlib does not define.
    static int ZlibErrorToZipError(int zlibError);

    std::string m_szFileName;
    int m_iCause;

private:
    std::string m_what;
};

#pragma once

#include "zip/CZipAutoBuffer.h"

#include <cstdint>
#include <ctime>
#include <string>

class CZipStorage;

// One entry's header, in its central form.
class CZipFileHeader
{
public:
    static constexpr uint32_t kCentralSignature = 0x02014B50;
    static constexpr uint32_t kLocalSignature = 0x04034B50;
    static constexpr uint32_t kDescriptorSignature = 0x08074B50;
    static constexpr uint32_t kCentralSize = 46;
    static constexpr uint32_t kLocalSize = 30;
    static constexpr uint32_t kCrcAndSizesSize = 12;

    CZipFileHeader() = default;
    virtual ~CZipFileHeader();
    CZipFileHeader(const CZipFileHeader&) = default;
    CZipFileHeader& operator=(const CZipFileHeader&) = default;

    // Every byte of the name, NUL bytes included.
    std::string GetFileName() const;
    uint32_t GetSize(bool local) const;
    // The MS-DOS date and time as local calendar time.
    std::time_t GetTime() const;
    int GetSystemCompatibility() const { return m_uVersionMadeBy >> 8; }
    // The attributes in this system's (MS-DOS) form; raises 115 when they cannot be converted.
    uint32_t GetSystemAttr() const;
    bool IsDirectory() const;
    bool IsEncrypted() const { return (m_uFlag & 1) != 0; }
    bool IsDataDescriptor() const { return (m_uFlag & 8) != 0; }

    // A 12-byte block of CRC-32, compressed and uncompressed size.
    bool CompareCrcAndSizes(const char* block) const;
    void GetCrcAndSizes(char* block) const;

    // False for a bad signature; short reads raise 101.
    bool ReadCentral(CZipStorage& storage);
    // With the storage at the local header: checks it against this header, gives
    // back its extra field length and leaves the storage after its name.
    bool CheckLocalHeader(CZipStorage& storage, uint16_t& extraFieldLength);
    // From the archive's form to this system's: '/' to backslash, and OEM to ANSI
    // for names made on MS-DOS.
    void ConvertFileName();

    uint32_t m_uSignature = kCentralSignature;
    uint16_t m_uVersionMadeBy = 0;
    uint16_t m_uVersionNeeded = 0;
    uint16_t m_uFlag = 0;
    uint16_t m_uMethod = 8;
    uint16_t m_uModTime = 0;
    uint16_t m_uModDate = 0;
    uint32_t m_uCrc32 = 0;
    uint32_t m_uComprSize = 0;
    uint32_t m_uUncomprSize = 0;
    uint16_t m_uDiskStart = 0;
    uint16_t m_uInternalAttr = 0;
    uint32_t m_uExternalAttr = 0;
    uint32_t m_uOffset = 0;
    CZipAutoBuffer m_pExtraField;
    CZipAutoBuffer m_pszFileName;
    CZipAutoBuffer m_pszComment;
};

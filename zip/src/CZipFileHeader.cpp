#include "zip/CZipFileHeader.h"

#include "zip/CZipStorage.h"
#include "zip/ZipCompatibility.h"
#include "zip/ZipPlatform.h"

#include "platform/CodePage.h"

#include <boost/endian/conversion.hpp>

#include <algorithm>

using boost::endian::load_little_u16;
using boost::endian::load_little_u32;

namespace {

const unsigned char* Bytes(const char* data)
{
    return reinterpret_cast<const unsigned char*>(data);
}

void ReadInto(CZipStorage& storage, CZipAutoBuffer& buffer, uint16_t length)
{
    buffer.Allocate(length);
    storage.Read(buffer.GetBuffer(), length, true);
}

bool NameEndsWithSeparator(const CZipAutoBuffer& name)
{
    const uint32_t size = name.GetSize();
    return size != 0 && (name.GetBuffer()[size - 1] == '/' || name.GetBuffer()[size - 1] == '\\');
}

} // namespace

CZipFileHeader::~CZipFileHeader() = default;

std::string CZipFileHeader::GetFileName() const
{
    return std::string(m_pszFileName.GetBuffer() ? m_pszFileName.GetBuffer() : "", m_pszFileName.GetSize());
}

uint32_t CZipFileHeader::GetSize(bool local) const
{
    const uint32_t common = m_pszFileName.GetSize() + m_pExtraField.GetSize();
    return local ? kLocalSize + common : kCentralSize + common + m_pszComment.GetSize();
}

std::time_t CZipFileHeader::GetTime() const
{
    struct tm parts = {};
    parts.tm_sec = (m_uModTime & 0x1F) * 2;
    parts.tm_min = (m_uModTime >> 5) & 0x3F;
    parts.tm_hour = m_uModTime >> 11;
    parts.tm_mday = m_uModDate & 0x1F;
    parts.tm_mon = ((m_uModDate >> 5) & 0x0F) - 1;
    parts.tm_year = (m_uModDate >> 9) + 80;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

uint32_t CZipFileHeader::GetSystemAttr() const
{
    const int system = GetSystemCompatibility();
    if (ZipCompatibility::IsPlatformSupported(system)) {
        if (m_uExternalAttr == 0 && NameEndsWithSeparator(m_pszFileName))
            return ZipPlatform::DefaultFolderAttributes();
        return ZipCompatibility::ConvertFileAttributes(m_uExternalAttr, system, ZipPlatform::kSystemId);
    }
    return NameEndsWithSeparator(m_pszFileName) ? ZipPlatform::DefaultFolderAttributes()
                                                : ZipPlatform::DefaultFileAttributes();
}

bool CZipFileHeader::IsDirectory() const
{
    return ZipPlatform::IsFolderAttribute(GetSystemAttr());
}

bool CZipFileHeader::CompareCrcAndSizes(const char* block) const
{
    return load_little_u32(Bytes(block)) == m_uCrc32 && load_little_u32(Bytes(block) + 4) == m_uComprSize &&
           load_little_u32(Bytes(block) + 8) == m_uUncomprSize;
}

void CZipFileHeader::GetCrcAndSizes(char* block) const
{
    auto* out = reinterpret_cast<unsigned char*>(block);
    boost::endian::store_little_u32(out, m_uCrc32);
    boost::endian::store_little_u32(out + 4, m_uComprSize);
    boost::endian::store_little_u32(out + 8, m_uUncomprSize);
}

bool CZipFileHeader::ReadCentral(CZipStorage& storage)
{
    char raw[kCentralSize];
    const int disk = storage.GetCurrentDisk();
    storage.Read(raw, kCentralSize, true);
    const unsigned char* p = Bytes(raw);
    m_uSignature = load_little_u32(p);
    if (m_uSignature != kCentralSignature)
        return false;
    m_uVersionMadeBy = load_little_u16(p + 4);
    m_uVersionNeeded = load_little_u16(p + 6);
    m_uFlag = load_little_u16(p + 8);
    m_uMethod = load_little_u16(p + 10);
    m_uModTime = load_little_u16(p + 12);
    m_uModDate = load_little_u16(p + 14);
    m_uCrc32 = load_little_u32(p + 16);
    m_uComprSize = load_little_u32(p + 20);
    m_uUncomprSize = load_little_u32(p + 24);
    const uint16_t nameLength = load_little_u16(p + 28);
    const uint16_t extraLength = load_little_u16(p + 30);
    const uint16_t commentLength = load_little_u16(p + 32);
    m_uDiskStart = load_little_u16(p + 34);
    m_uInternalAttr = load_little_u16(p + 36);
    m_uExternalAttr = load_little_u32(p + 38);
    m_uOffset = load_little_u32(p + 42);
    ReadInto(storage, m_pszFileName, nameLength);
    ReadInto(storage, m_pExtraField, extraLength);
    ReadInto(storage, m_pszComment, commentLength);
    return storage.GetCurrentDisk() == disk;
}

void CZipFileHeader::ConvertFileName()
{
    std::string name = GetFileName();
    if (ZipPlatform::kSystemId == ZipCompatibility::zcDosFat)
        std::replace(name.begin(), name.end(), '/', '\\');
    if (GetSystemCompatibility() == ZipCompatibility::zcDosFat) {
        std::string converted;
        if (platform::convert_code_page(name, platform::CodePage::Oem, platform::CodePage::Ansi, converted))
            name.swap(converted);
    }
    m_pszFileName.Allocate(static_cast<uint32_t>(name.size()));
    std::copy(name.begin(), name.end(), m_pszFileName.GetBuffer());
}

bool CZipFileHeader::CheckLocalHeader(CZipStorage& storage, uint16_t& extraFieldLength)
{
    char raw[kLocalSize];
    storage.Read(raw, kLocalSize, true);
    const unsigned char* p = Bytes(raw);
    if (load_little_u32(p) != kLocalSignature)
        return false;
    const uint16_t flags = load_little_u16(p + 6);
    if ((flags & 0xF) != (m_uFlag & 0xF))
        m_uFlag = flags;
    const uint16_t method = load_little_u16(p + 8);
    if (method != m_uMethod || (method != 0 && method != 8))
        return false;
    const uint16_t nameLength = load_little_u16(p + 26);
    if (nameLength != m_pszFileName.GetSize())
        return false;
    if (!IsDataDescriptor() && !CompareCrcAndSizes(raw + 14))
        return false;
    extraFieldLength = load_little_u16(p + 28);
    storage.File().Seek(nameLength, CZipAbstractFile::current);
    return true;
}

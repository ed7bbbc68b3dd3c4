#include "zip/CZipCentralDir.h"

#include "zip/CZipException.h"
#include "zip/CZipStorage.h"

#include <boost/endian/conversion.hpp>

#include <algorithm>

using boost::endian::load_little_u16;
using boost::endian::load_little_u32;

namespace {

// The record and the longest comment.
constexpr uint64_t kEndRecordWindow = CZipCentralDir::kEndRecordSize + 0xFFFF;

} // namespace

CZipCentralDir::~CZipCentralDir() = default;

void CZipCentralDir::Init(CZipStorage* storage)
{
    m_pStorage = storage;
    Clear();
    m_info = Info();
    m_bConvertAfterOpen = true;
}

void CZipCentralDir::Clear()
{
    m_pOpenedFile = nullptr;
    m_pLocalExtraField.Release();
    m_pszComment.Release();
    m_nameIndex.clear();
    m_headers.clear();
}

uint64_t CZipCentralDir::LocateEndRecord()
{
    CZipAbstractFile& file = m_pStorage->File();
    const uint64_t length = file.GetLength();
    if (length == 0)
        ThrowError(CZipException::kNoEndRecord);
    const uint64_t window = std::min(length, kEndRecordWindow);
    CZipAutoBuffer buffer(m_iBufferSize);
    uint64_t searched = 0;
    uint64_t upTo = 0;
    do {
        upTo = std::min(searched + m_iBufferSize, window);
        const auto count = static_cast<uint32_t>(upTo - searched);
        file.Seek(static_cast<int64_t>(length - upTo), CZipAbstractFile::begin);
        m_pStorage->Read(buffer.GetBuffer(), count, true);
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.GetBuffer());
        for (int64_t i = static_cast<int64_t>(count) - 4; i >= 0; --i)
            if (load_little_u32(bytes + i) == kEndSignature)
                return length - upTo + static_cast<uint64_t>(i);
        // The next chunk overlaps this one by three bytes, for a split signature.
        searched = upTo - 3;
    } while (upTo < window);
    ThrowError(CZipException::kNoEndRecord);
}

void CZipCentralDir::Read()
{
    CZipAbstractFile& file = m_pStorage->File();
    m_info.m_uEndOffset = LocateEndRecord();
    file.Seek(static_cast<int64_t>(m_info.m_uEndOffset), CZipAbstractFile::begin);
    unsigned char record[kEndRecordSize];
    m_pStorage->Read(record, kEndRecordSize, true);
    m_info.m_uThisDisk = load_little_u16(record + 4);
    m_info.m_uDiskWithCD = load_little_u16(record + 6);
    m_info.m_uDiskEntriesNo = load_little_u16(record + 8);
    m_info.m_uEntriesNumber = load_little_u16(record + 10);
    m_info.m_uSize = load_little_u32(record + 12);
    m_info.m_uOffset = load_little_u32(record + 16);
    const uint16_t commentLength = load_little_u16(record + 20);

    m_pStorage->UpdateSpanMode(m_info.m_uThisDisk);
    // In 64 bits: offset + size must not wrap past this check.
    const uint64_t directoryEnd = uint64_t{m_info.m_uOffset} + m_info.m_uSize;
    if (m_info.m_uEndOffset < directoryEnd)
        ThrowError(CZipException::kBadArchive);
    m_pszComment.Allocate(commentLength);
    m_pStorage->Read(m_pszComment.GetBuffer(), commentLength, true);
    m_info.m_uBytesBeforeZip = m_info.m_uEndOffset - directoryEnd;
    if ((m_info.m_uSize == 0) != (m_info.m_uEntriesNumber == 0))
        ThrowError(CZipException::kBadArchive);
    m_info.m_bOnDisk = true;
    m_pStorage->ChangeDisk(m_info.m_uDiskWithCD);
    if (m_info.m_uSize != 0)
        ReadHeaders();
}

void CZipCentralDir::ReadHeaders()
{
    m_pStorage->File().Seek(static_cast<int64_t>(m_info.m_uOffset + m_info.m_uBytesBeforeZip),
                            CZipAbstractFile::begin);
    m_headers.clear();
    // One header at a time: nothing is sized from the counts of the end record.
    for (int i = 0; i < m_info.m_uEntriesNumber; ++i) {
        m_headers.push_back(std::make_unique<CZipFileHeader>());
        CZipFileHeader& header = *m_headers.back();
        if (!header.ReadCentral(*m_pStorage))
            ThrowError(CZipException::kBadArchive);
        if (m_bConvertAfterOpen)
            header.ConvertFileName();
    }
    SortHeaders();
    if (m_bNameIndex)
        BuildNameIndex(m_bCaseSensitive);
}

void CZipCentralDir::SortHeaders()
{
    const auto position = [](const std::unique_ptr<CZipFileHeader>& header) {
        return std::make_pair(header->m_uDiskStart, header->m_uOffset);
    };
    std::sort(m_headers.begin(), m_headers.end(),
              [&](const auto& a, const auto& b) { return position(a) < position(b); });
    const auto duplicate = std::adjacent_find(m_headers.begin(), m_headers.end(),
                                              [&](const auto& a, const auto& b) { return position(a) == position(b); });
    if (duplicate != m_headers.end())
        ThrowError(CZipException::kBadArchive);
}

std::string CZipCentralDir::NameOf(const CZipFileHeader& header) const
{
    if (m_bConvertAfterOpen)
        return header.GetFileName();
    CZipFileHeader converted(header);
    converted.ConvertFileName();
    return converted.GetFileName();
}

void CZipCentralDir::BuildNameIndex(bool caseSensitive)
{
    m_nameIndex.clear();
    m_bCaseSensitive = caseSensitive;
    m_pNameCompare = CZipString::GetCompareFunction(caseSensitive);
    // By header index: names are converted once, not at every comparison.
    std::vector<std::string> names;
    names.reserve(m_headers.size());
    for (const auto& header : m_headers)
        names.push_back(NameOf(*header));
    m_nameIndex.reserve(m_headers.size());
    for (size_t i = 0; i < m_headers.size(); ++i) {
        // Binary search: the place of an equal name, else of the first greater one.
        size_t low = 0;
        size_t high = m_nameIndex.size();
        while (low < high) {
            const size_t middle = (low + high) / 2;
            const int order = m_pNameCompare(names[i], names[m_nameIndex[middle].m_uIndex]);
            if (order == 0) {
                low = middle;
                break;
            }
            if (order > 0)
                low = middle + 1;
            else
                high = middle;
        }
        m_nameIndex.insert(m_nameIndex.begin() + static_cast<std::ptrdiff_t>(low),
                           NameIndexEntry{m_headers[i].get(), static_cast<uint16_t>(i)});
    }
}

uint32_t CZipCentralDir::GetSize(bool whole) const
{
    uint32_t size = kEndRecordSize + m_pszComment.GetSize();
    if (whole)
        for (const auto& header : m_headers)
            size += header->GetSize(false);
    return size;
}

void CZipCentralDir::ThrowError(int code) const
{
    m_pStorage->ThrowError(code);
}

void CZipCentralDir::OpenFile(uint16_t index)
{
    m_pOpenedFile = m_headers.at(index).get();
    m_pStorage->ChangeDisk(m_pOpenedFile->m_uDiskStart);
    CZipAbstractFile& file = m_pStorage->File();
    file.Seek(static_cast<int64_t>(m_pOpenedFile->m_uOffset + m_info.m_uBytesBeforeZip), CZipAbstractFile::begin);
    uint16_t extraLength = 0;
    if (!m_pOpenedFile->CheckLocalHeader(*m_pStorage, extraLength))
        ThrowError(CZipException::kBadArchive);
    m_pLocalExtraField.Allocate(extraLength);
    m_pStorage->Read(m_pLocalExtraField.GetBuffer(), extraLength, true);
    m_uOpenedDataStart = file.GetPosition();
}

void CZipCentralDir::CloseFile(bool afterException, bool checkDescriptor)
{
    if (!afterException && checkDescriptor && m_pOpenedFile && m_pOpenedFile->IsDataDescriptor()) {
        // Where the data end, whatever was read of them.
        CZipAbstractFile& file = m_pStorage->File();
        const auto descriptorStart = static_cast<int64_t>(m_uOpenedDataStart + m_pOpenedFile->m_uComprSize);
        file.Seek(descriptorStart, CZipAbstractFile::begin);
        unsigned char signature[4];
        m_pStorage->Read(signature, 4, false);
        if (load_little_u32(signature) != CZipFileHeader::kDescriptorSignature)
            file.Seek(descriptorStart, CZipAbstractFile::begin);
        char values[CZipFileHeader::kCrcAndSizesSize];
        m_pStorage->Read(values, CZipFileHeader::kCrcAndSizesSize, true);
        if (!m_pOpenedFile->CompareCrcAndSizes(values))
            ThrowError(CZipException::kBadArchive);
    }
    m_pOpenedFile = nullptr;
    m_pLocalExtraField.Release();
}

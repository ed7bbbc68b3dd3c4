#pragma once

#include "zip/CZipAutoBuffer.h"
#include "zip/CZipFileHeader.h"
#include "zip/CZipString.h"

#include <cstdint>
#include <memory>
#include <vector>

class CZipStorage;

// The end record and the entries' headers, kept in the order of their local
// headers.
class CZipCentralDir
{
public:
    static constexpr uint32_t kEndSignature = 0x06054B50;
    static constexpr uint32_t kEndRecordSize = 22;

    struct Info
    {
        uint64_t m_uEndOffset = 0;      // where the end record starts
        uint64_t m_uBytesBeforeZip = 0; // data in front of the archive
        uint16_t m_uThisDisk = 0;
        uint16_t m_uDiskWithCD = 0;
        uint16_t m_uDiskEntriesNo = 0;
        uint16_t m_uEntriesNumber = 0;
        uint32_t m_uSize = 0;
        uint32_t m_uOffset = 0;
        bool m_bOnDisk = false;         // read from the file, so never written back
    };

    // One entry of the name index: the archive's own header and its index.
    struct NameIndexEntry
    {
        CZipFileHeader* m_pHeader;
        uint16_t m_uIndex;
    };

    CZipCentralDir() = default;
    virtual ~CZipCentralDir();
    CZipCentralDir(const CZipCentralDir&) = delete;
    CZipCentralDir& operator=(const CZipCentralDir&) = delete;

    void Init(CZipStorage* storage);
    void Read();
    // Everything: headers, comment and the state of an open entry.
    void Clear();
    bool IsValidIndex(int index) const { return index >= 0 && index < static_cast<int>(m_headers.size()); }
    int GetCount() const { return static_cast<int>(m_headers.size()); }
    CZipFileHeader* operator[](int index) const { return m_headers[index].get(); }
    uint32_t GetSize(bool whole) const;
    // Orders every header by name with the compare function `caseSensitive`
    // picks; equal names stand together.
    void BuildNameIndex(bool caseSensitive);
    const std::vector<NameIndexEntry>& GetNameIndex() const { return m_nameIndex; }

    // The entry at `index` becomes the open one; the storage is left at its data.
    void OpenFile(uint16_t index);
    // Checks the data descriptor unless after an exception or `checkDescriptor` is
    // off, then forgets the open entry.
    void CloseFile(bool afterException, bool checkDescriptor);

    [[noreturn]] void ThrowError(int code) const;

    Info m_info;
    CZipAutoBuffer m_pszComment;
    CZipAutoBuffer m_pLocalExtraField;
    CZipFileHeader* m_pOpenedFile = nullptr;
    bool m_bConvertAfterOpen = true;
    // Reading the headers builds the name index.
    bool m_bNameIndex = false;
    bool m_bCaseSensitive = false;

private:
    uint64_t LocateEndRecord();
    void ReadHeaders();
    void SortHeaders();
    // The name as this system gives it.
    std::string NameOf(const CZipFileHeader& header) const;

    CZipStorage* m_pStorage = nullptr;
    uint32_t m_iBufferSize = 32768;
    std::vector<std::unique_ptr<CZipFileHeader>> m_headers;
    std::vector<NameIndexEntry> m_nameIndex;
    ZIPSTRINGCOMPARE m_pNameCompare = CZipString::GetCompareFunction(false);
    uint64_t m_uOpenedDataStart = 0;
};

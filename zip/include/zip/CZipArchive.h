#pragma once

#include "zip/CZipCentralDir.h"
#include "zip/CZipException.h"
#include "zip/CZipFileHeader.h"
#include "zip/CZipStorage.h"
#include "zip/CZipString.h"

#include <cstdint>
#include <string>

// An existing ZIP archive, opened for reading its entries.
class CZipArchive
{
public:
    enum OpenMode
    {
        zipOpen = 0,         // read and write access to the file, as packages are opened
        zipOpenReadOnly = 1,
        zipCreate = 2,       // creating archives is not carried: raises 100
        zipCreateSpan = 3,
    };

    CZipArchive();
    virtual ~CZipArchive();
    CZipArchive(const CZipArchive&) = delete;
    CZipArchive& operator=(const CZipArchive&) = delete;

    // Does nothing when already open; every failure raises CZipException and leaves
    // the archive closed.
    void Open(const std::string& path, int mode = zipOpen, uint64_t volumeSize = 0);
    // False when closed or the index (as 16 bits) is out of range.
    bool GetFileInfo(CZipFileHeader& header, int index) const;
    int GetCount() const { return m_centralDir.GetCount(); }
    // With `afterException` on, an open entry is ended without checks; with
    // `updateTime` on, the file gets the newest entry's time.
    void Close(bool afterException = false, bool updateTime = false);
    bool IsClosed(bool archive = true) const { return m_storage.IsClosed(archive); }
    int GetSystemCompatibility() const { return m_iArchiveSystCompatib; }
    const CZipAutoBuffer& GetGlobalComment() const { return m_centralDir.m_pszComment; }

    // Raises `code` (a zlib result mapped when `zlib`) with the archive's path, or
    // with no name when it is closed.
    [[noreturn]] void ThrowError(int code, bool zlib = false) const;

protected:
    void OpenInternal(int mode);

    bool m_bCaseSensitive;
    ZIPSTRINGCOMPARE m_pZipCompare;
    CZipStorage m_storage;
    CZipCentralDir m_centralDir;
    // -1 an entry is open for reading, 0 none
    signed char m_iFileOpened = 0;
    int m_iArchiveSystCompatib;
};

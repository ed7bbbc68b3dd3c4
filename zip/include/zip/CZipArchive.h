#pragma once

#include "zip/CZipCentralDir.h"
#include "zip/CZipException.h"
#include "zip/CZipFile.h"
#include "zip/CZipFileHeader.h"
#include "zip/CZipInternalInfo.h"
#include "zip/CZipProgressCallback.h"
#include "zip/CZipStorage.h"
#include "zip/CZipString.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// An existing ZIP archive, opened for reading its entries.
class CZipArchive
{
public:
    using CZipInternalInfo = ::CZipInternalInfo;

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

    // Extracts one entry into `folder`: with `fullPath` the entry's folders are
    // made below it, else only its file name is used; `newName` replaces the
    // entry's name. True once the data were written, checked and the target got
    // the entry's time and attributes.
    bool ExtractFile(int index, const std::string& folder, bool fullPath = true,
                     const std::string& newName = std::string(), uint32_t bufferSize = 65536);
    std::string GetExtractPath(const std::string& entryName, const std::string& folder, bool fullPath,
                               const std::string& newName = std::string()) const;

    // Reading one entry: false when the index is bad or an entry is open already;
    // a failure raises and leaves nothing open.
    bool OpenFile(int index);
    // Bytes produced into `buffer`, 0 at the end.
    uint32_t ReadFile(void* buffer, uint32_t size);
    // Ends the open entry: 1 done, -1 data left unread (CRC not checked), -2 the
    // target's time or attributes could not be set, 0 when none was open. A CRC
    // (102) or data descriptor (101) mismatch raises and leaves the entry open;
    // after an exception nothing is checked.
    int CloseFile(const std::string& targetPath = std::string(), bool afterException = false);
    // Closes the target first, then ends the entry with its path.
    int CloseFile(CZipFile& target);

    // Not owned; null removes the kind's callback.
    void SetCallback(CZipProgressCallback* callback, int kind = CZipProgressCallback::cbExtract);

    // Raises `code` (a zlib result mapped when `zlib`) with the archive's path, or
    // with no name when it is closed.
    [[noreturn]] void ThrowError(int code, bool zlib = false) const;
    // Z_OK and Z_NEED_DICT pass; other zlib results raise their ZIP code.
    void CheckZlibResult(int result) const;

    // zlib's allocation functions; `opaque` is the archive's list of blocks, or
    // null when blocks are not tracked.
    static voidpf ZlibAlloc(voidpf opaque, uInt items, uInt size);
    static void ZlibFree(voidpf opaque, voidpf address);

protected:
    using ZlibBlocks = std::vector<void*>;

    void OpenInternal(int mode);
    CZipProgressCallback* GetCallback(int kind) const;
    bool FillInput();
    // One inflate call into the stream's output; the bytes it produced. zlib's
    // errors and a stream that takes nothing and gives nothing raise.
    uint32_t Inflate();
    // Every declared byte was produced: inflates the rest of the entry's data
    // into scratch space and raises 506 if any of it is output.
    void InflatePastDeclaredSize();
    // What the entry adds below the target folder.
    std::string ExtractedName(const std::string& name, bool fullPath) const;
    // The rest of `name` behind the root path, empty when it does not start with it.
    std::string BelowRootPath(const std::string& name) const;
    // Forgets the open entry and frees what it held.
    void EndEntry();
    // Frees what zlib left allocated: after an exception its stream is not ended.
    void FreeZlibBlocks();

    std::map<int, CZipProgressCallback*> m_callbacks;
    bool m_bCaseSensitive;
    ZIPSTRINGCOMPARE m_pZipCompare;
    CZipInternalInfo m_info;
    CZipStorage m_storage;
    CZipCentralDir m_centralDir;
    // -1 an entry is open for reading, 0 none
    signed char m_iFileOpened = 0;
    bool m_bIgnoreCRC = false;
    // Extracting without full paths, a name below this folder keeps the rest of
    // its path; emptied at every open.
    std::string m_szRootPath;
    // A second path text, empty; nothing here sets or reads it.
    std::string m_szSecondPath;
    int m_iArchiveSystCompatib;
    ZlibBlocks m_zlibBlocks;
    bool m_bDetectZlibMemoryLeaks = true;
    // Full paths lose their drive and prefix when extracted.
    bool m_bRemoveDriveLetter = true;
};

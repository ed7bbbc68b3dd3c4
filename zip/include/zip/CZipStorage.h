#pragma once

// The open archive file. Only single-file archives are read: an end record that
// names a disk other than 0 raises 101, and spanning, the write buffer and volume
// callbacks are not carried.

#include "zip/CZipFile.h"

#include <cstdint>
#include <string>

class CZipStorage
{
public:
    enum SpanMode
    {
        noSpan = 0,
        detectSpan = 3,
        detectSizeSpan = 4,
    };

    CZipStorage() = default;
    virtual ~CZipStorage();
    CZipStorage(const CZipStorage&) = delete;
    CZipStorage& operator=(const CZipStorage&) = delete;

    // Modes 0 (read and write) and 1 (read-only); an existing file is never
    // truncated. Anything else raises 100.
    void Open(const std::string& path, int mode, uint64_t volumeSize);
    // Called with "number of this disk" of the end record; the archive counts as
    // open from here on.
    void UpdateSpanMode(uint16_t diskNumber);
    int IsSpanned() const { return 0; }
    // A read that comes short raises 101; `whole` matters only across volumes.
    void Read(void* buffer, uint32_t count, bool whole);
    // Nothing to change on a single-file archive.
    void ChangeDisk(int /*disk*/) {}
    int GetCurrentDisk() const { return m_iCurrentDisk; }
    // With `archive` on: the archive is not open (its disk is not known yet);
    // otherwise: the file is not open.
    bool IsClosed(bool archive) const;
    bool IsReadOnly() const { return m_bReadOnly; }
    // Closes the file and gives back its path.
    std::string Close(bool afterException);
    CZipAbstractFile& File() { return *m_pFile; }
    std::string GetFilePath() const { return m_pFile->GetFilePath(); }

    [[noreturn]] void ThrowError(int code) const;

private:
    CZipFile m_internalfile;
    CZipAbstractFile* m_pFile = &m_internalfile;
    int m_iSpanMode = noSpan;
    uint64_t m_iVolumeSize = 0;
    int m_iCurrentDisk = -1;
    bool m_bReadOnly = false;
};

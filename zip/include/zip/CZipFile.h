#pragma once

#include "zip/CZipAbstractFile.h"

// A file on a descriptor. Only regular files open: anything else (a FIFO, a
// device, a folder) fails with EINVAL, so opening never blocks. The share field of
// the open flags has no Linux counterpart and is ignored; new files get 0666 under
// the umask. Errors raise CZipException with errno and the file's path.
class CZipFile : public CZipAbstractFile
{
public:
    // Open flags (a bit set).
    enum
    {
        modeRead = 0x01,
        modeWrite = 0x02,
        modeReadWrite = modeRead | modeWrite,
        shareMask = 0x1C,
        shareDenyWrite = 0x04,
        modeCreate = 0x20,
        modeNoTruncate = 0x40,
    };

    CZipFile() = default;
    CZipFile(const std::string& path, int openFlags);
    ~CZipFile() override;

    bool Open(const std::string& path, int openFlags, bool throwOnError) override;
    void Close() override;
    void Flush() override;
    uint64_t GetPosition() const override;
    uint64_t Seek(int64_t offset, int origin) override;
    uint64_t GetLength() const override;
    bool SetLength(uint64_t length) override;
    std::string GetFilePath() const override { return m_szFileName; }
    uint32_t Read(void* buffer, uint32_t count) override;
    void Write(const void* buffer, uint32_t count) override;
    bool IsClosed() const override { return m_hFile == -1; }
    // The system's descriptor; raises EBADF when the file is closed.
    int GetHandle() const;

private:
    [[noreturn]] void ThrowError() const;

    int m_hFile = -1;
    std::string m_szFileName;
};

#pragma once

#include <cstdint>
#include <string>

// The file interface of the archive classes.
class CZipAbstractFile
{
public:
    enum
    {
        begin = 0,
        current = 1,
        end = 2,
    };

    CZipAbstractFile() = default;
    CZipAbstractFile(const CZipAbstractFile&) = delete;
    CZipAbstractFile& operator=(const CZipAbstractFile&) = delete;

    virtual bool Open(const std::string& path, int openFlags, bool throwOnError);
    virtual void Close() = 0;
    virtual void Flush() = 0;
    virtual uint64_t GetPosition() const = 0;
    virtual uint64_t Seek(int64_t offset, int origin) = 0;
    virtual uint64_t GetLength() const = 0;
    virtual bool SetLength(uint64_t length) = 0;
    virtual uint64_t SeekToBegin() { return Seek(0, begin); }
    virtual uint64_t SeekToEnd() { return Seek(0, end); }
    virtual std::string GetFilePath() const = 0;
    virtual uint32_t Read(void* buffer, uint32_t count) = 0;
    virtual void Write(const void* buffer, uint32_t count) = 0;
    virtual bool IsClosed() const = 0;
    virtual ~CZipAbstractFile();
};

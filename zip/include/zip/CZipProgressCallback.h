#pragma once

#include <cstdint>
#include <string>

// Told how an operation progresses, and may stop it. The archive sets the kind
// before each use.
class CZipProgressCallback
{
public:
    enum Kind : int
    {
        cbExtract = 8,
        cbSave = 128,
    };

    virtual ~CZipProgressCallback();
    virtual void Begin(const std::string& entryName, const std::string& targetPath);
    virtual void SetTotalBytes(uint32_t bytes);
    virtual void Finish();
    // Bytes just written; false stops the operation.
    virtual bool Progress(uint32_t bytes) = 0;

    int m_iType = 0;
};

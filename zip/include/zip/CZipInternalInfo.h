#pragma once

#include "zip/CZipAutoBuffer.h"

#include <zlib.h>

#include <cstdint>

// The state of the entry open for reading: the inflate stream, what is left to
// read and to produce, the running CRC-32 and the data buffer. It owns the stream:
// inflateEnd runs on every way out, the destructor included.
class CZipInternalInfo
{
public:
    static constexpr uint32_t kBufferSize = 65536;

    CZipInternalInfo();
    virtual ~CZipInternalInfo();
    CZipInternalInfo(const CZipInternalInfo&) = delete;
    CZipInternalInfo& operator=(const CZipInternalInfo&) = delete;

    // Allocates the data buffer and resets the counts and the stream; the
    // stream's allocation functions and their context stay.
    void Init(uint32_t compressed, uint32_t uncompressed);
    // A raw deflate stream; gives back zlib's result.
    int StartInflate();
    void EndInflate();
    // The stream's memory was freed without inflateEnd: there is nothing to end.
    void AbandonInflate() { m_bInflating = false; }
    // Ends the stream and frees the buffer.
    void Release();

    z_stream m_stream;
    uint32_t m_uUncomprLeft = 0;
    uint32_t m_uComprLeft = 0;
    uint32_t m_uCrc32 = 0;
    uint32_t m_iBufferSize = kBufferSize;
    CZipAutoBuffer m_pBuffer;
    // Raw inflate may want one byte past the data to finish; it gets it once.
    bool m_bExtraByteOffered = false;
    bool m_bStreamEnded = false;

private:
    bool m_bInflating = false;
};

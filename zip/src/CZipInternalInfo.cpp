#include "zip/CZipInternalInfo.h"

CZipInternalInfo::CZipInternalInfo()
    : m_stream()
{
}

CZipInternalInfo::~CZipInternalInfo()
{
    EndInflate();
}

void CZipInternalInfo::Init(uint32_t compressed, uint32_t uncompressed)
{
    EndInflate();
    const z_stream previous = m_stream;
    m_stream = z_stream();
    m_stream.zalloc = previous.zalloc;
    m_stream.zfree = previous.zfree;
    m_stream.opaque = previous.opaque;
    m_pBuffer.Allocate(m_iBufferSize);
    m_uComprLeft = compressed;
    m_uUncomprLeft = uncompressed;
    m_uCrc32 = 0;
    m_bExtraByteOffered = false;
    m_bStreamEnded = false;
}

int CZipInternalInfo::StartInflate()
{
    const int result = inflateInit2(&m_stream, -MAX_WBITS);
    m_bInflating = result == Z_OK;
    return result;
}

void CZipInternalInfo::EndInflate()
{
    if (m_bInflating)
        inflateEnd(&m_stream);
    m_bInflating = false;
}

void CZipInternalInfo::Release()
{
    EndInflate();
    m_pBuffer.Release();
}

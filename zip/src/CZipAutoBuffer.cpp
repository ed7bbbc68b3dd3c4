#include "zip/CZipAutoBuffer.h"

#include <algorithm>

CZipAutoBuffer::CZipAutoBuffer(uint32_t size, bool zeroFill)
{
    Allocate(size, zeroFill);
}

CZipAutoBuffer::~CZipAutoBuffer() = default;

char* CZipAutoBuffer::Allocate(uint32_t size, bool zeroFill)
{
    if (size == m_data.size()) {
        if (zeroFill)
            std::fill(m_data.begin(), m_data.end(), 0);
        return GetBuffer();
    }
    // A fresh block, not a resize: the old bytes are not carried over.
    std::vector<char>(size).swap(m_data);
    return GetBuffer();
}

void CZipAutoBuffer::Release()
{
    std::vector<char>().swap(m_data);
}

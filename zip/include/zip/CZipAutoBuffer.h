#pragma once

#include <cstdint>
#include <vector>

// An owned block of bytes; empty (no data) when its size is 0.
class CZipAutoBuffer
{
public:
    CZipAutoBuffer() = default;
    explicit CZipAutoBuffer(uint32_t size, bool zeroFill = false);
    virtual ~CZipAutoBuffer();
    CZipAutoBuffer(const CZipAutoBuffer&) = default;
    CZipAutoBuffer& operator=(const CZipAutoBuffer&) = default;

    // A request of the current size keeps the block (cleared when asked).
    char* Allocate(uint32_t size, bool zeroFill = false);
    void Release();

    char* GetBuffer() { return m_data.empty() ? nullptr : m_data.data(); }
    const char* GetBuffer() const { return m_data.empty() ? nullptr : m_data.data(); }
    uint32_t GetSize() const { return static_cast<uint32_t>(m_data.size()); }
    bool IsAllocated() const { return !m_data.empty(); }

private:
    std::vector<char> m_data;
};

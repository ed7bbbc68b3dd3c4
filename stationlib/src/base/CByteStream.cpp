#include "base/CByteStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr int64_t kMaxSize = std::numeric_limits<int32_t>::max();
static_assert(CByteStream::kMaxWrittenStringLength == kMaxSize - 4, "a written string fits a stream");

void put_le(uint8_t* p, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t get_le(const uint8_t* p, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<uint32_t>(p[i]) << (8 * i);
    return value;
}

} // namespace

CByteStream::~CByteStream()
{
    std::free(m_owned);
}

int32_t CByteStream::GetRemaining() const
{
    return m_used - GetPosition();
}

int32_t CByteStream::GetPosition() const
{
    return m_start ? static_cast<int32_t>(m_cursor - m_start) : 0;
}

bool CByteStream::Attach(const uint8_t* data, int32_t length)
{
    if (data == nullptr || length < 0)
        return false;
    std::free(m_owned);
    m_owned = nullptr;
    m_capacity = 0;
    // Attached data is read in place (and descrambled in place); it stays the owner's.
    m_start = const_cast<uint8_t*>(data);
    m_cursor = m_start;
    m_used = length;
    return true;
}

void CByteStream::Free()
{
    std::free(m_owned);
    m_owned = nullptr;
    m_start = nullptr;
    m_cursor = nullptr;
    m_used = 0;
    m_capacity = 0;
}

bool CByteStream::ReadInt16(int16_t& out)
{
    if (GetRemaining() < 2) {
        out = 0;
        return false;
    }
    out = static_cast<int16_t>(get_le(m_cursor, 2));
    m_cursor += 2;
    return true;
}

bool CByteStream::ReadInt32(int32_t& out)
{
    if (GetRemaining() < 4) {
        out = 0;
        return false;
    }
    out = static_cast<int32_t>(get_le(m_cursor, 4));
    m_cursor += 4;
    return true;
}

bool CByteStream::ReadString(std::string& out)
{
    if (GetRemaining() <= 3)
        return false;
    uint32_t length = get_le(m_cursor, 4);
    if (length > m_stringLimit)
        return false;
    if (static_cast<uint32_t>(GetRemaining() - 4) < length)
        return false;
    out.assign(reinterpret_cast<const char*>(m_cursor + 4), length);
    m_cursor += 4 + length;
    return true;
}

bool CByteStream::ReadBytes(void* dest, int32_t n)
{
    if (n == 0)
        return true;
    if (n < 0 || dest == nullptr || GetRemaining() < n)
        return false;
    std::memcpy(dest, m_cursor, static_cast<size_t>(n));
    m_cursor += n;
    return true;
}

bool CByteStream::Grow(int32_t n)
{
    if (n < 0)
        return false;
    const int64_t position = GetPosition();
    const int64_t needed = std::max<int64_t>(m_used, position + n);
    if (needed > kMaxSize)
        return false;
    if (m_owned != nullptr && m_capacity >= needed)
        return true;
    if (m_owned == nullptr && m_start == nullptr && needed == 0)
        return true;

    int64_t capacity = (needed / m_step + 1) * m_step;
    if (capacity > kMaxSize)
        capacity = kMaxSize;
    uint8_t* block;
    if (m_owned != nullptr) {
        block = static_cast<uint8_t*>(std::realloc(m_owned, static_cast<size_t>(capacity)));
        if (block == nullptr)
            return false;
    } else {
        // A fresh stream, or one attached to external data: the attached bytes move
        // into the new owned block so nothing written or read later is lost.
        block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(capacity)));
        if (block == nullptr)
            return false;
        if (m_start != nullptr && m_used > 0)
            std::memcpy(block, m_start, static_cast<size_t>(m_used));
    }
    m_owned = block;
    m_start = block;
    m_cursor = block + position;
    m_capacity = static_cast<int32_t>(capacity);
    return true;
}

bool CByteStream::Reserve(int32_t size)
{
    return Grow(size);
}

bool CByteStream::WriteBytes(const void* data, int32_t n)
{
    if (n == 0)
        return true;
    if (n < 0 || data == nullptr || !Grow(n))
        return false;
    std::memmove(m_cursor, data, static_cast<size_t>(n));
    m_cursor += n;
    // Overwriting inside the data must not count the bytes twice.
    m_used = std::max(m_used, GetPosition());
    return true;
}

bool CByteStream::WriteInt16(int16_t value)
{
    uint8_t bytes[2];
    put_le(bytes, static_cast<uint16_t>(value), 2);
    return WriteBytes(bytes, 2);
}

bool CByteStream::WriteInt32(int32_t value)
{
    uint8_t bytes[4];
    put_le(bytes, static_cast<uint32_t>(value), 4);
    return WriteBytes(bytes, 4);
}

bool CByteStream::WriteString(const char* text)
{
    if (text == nullptr)
        return false;
    size_t length = std::strlen(text);
    if (length > kMaxWrittenStringLength)
        return false;
    return WriteStdString(std::string(text, length));
}

bool CByteStream::WriteStdString(const std::string& text)
{
    if (text.size() > kMaxWrittenStringLength)
        return false;
    const int32_t length = static_cast<int32_t>(text.size());
    // Grow once for the whole string, so a failure writes nothing.
    if (!Grow(4 + length))
        return false;
    return WriteInt32(length) && WriteBytes(text.data(), length);
}

bool CByteStream::WriteFrom(CByteStream* other, int32_t n)
{
    if (other == nullptr || other == this)
        return false;
    if (n < 0)
        n = other->GetRemaining();
    if (other->GetRemaining() < n)
        return false;
    if (!WriteBytes(other->m_cursor, n))
        return false;
    other->m_cursor += n;
    return true;
}

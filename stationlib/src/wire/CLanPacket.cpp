#include "wire/CLanPacket.h"
#include "wire/StationMessageType.h"

#include <cstring>
#include <new>

CLanPacket::~CLanPacket()
{
    Free();
}

void CLanPacket::Free()
{
    if (m_block != nullptr) {
        m_block->~Header();
        ::operator delete(m_block, std::nothrow);
    }
    m_block = nullptr;
    m_capacity = 0;
}

bool CLanPacket::Allocate(int32_t capacity)
{
    Free();
    if (capacity < 0)
        return false;
    void* memory = ::operator new(sizeof(Header) + static_cast<size_t>(capacity), std::nothrow);
    if (memory == nullptr)
        return false;
    m_block = new (memory) Header{};
    m_capacity = capacity;
    return true;
}

bool CLanPacket::Create(int32_t type, int32_t value, const void* data, int32_t length)
{
    if (!IsValidMessageType(type) || length < 0) {
        Free();
        return false;
    }
    if (!Allocate(length))
        return false;
    *m_block = Header{type, length, length, value, 1, 0};
    if (data != nullptr && length > 0)
        std::memcpy(GetData(), data, static_cast<size_t>(length));
    return true;
}

bool CLanPacket::CreateRequest(int32_t code, const void* body, int32_t bodyLength)
{
    if (bodyLength < 0 || bodyLength > INT32_MAX - 4) {
        Free();
        return false;
    }
    if (!Create(kMessageRequest, 0, nullptr, bodyLength + 4))
        return false;
    uint8_t* data = GetData();
    const uint32_t word = static_cast<uint32_t>(code);
    for (int i = 0; i < 4; ++i)
        data[i] = static_cast<uint8_t>(word >> (8 * i));
    if (body != nullptr && bodyLength > 0)
        std::memcpy(data + 4, body, static_cast<size_t>(bodyLength));
    return true;
}

int32_t CLanPacket::GetType() const
{
    return m_block ? m_block->type : 0;
}

uint8_t* CLanPacket::GetData() const
{
    if (m_block == nullptr || m_block->length == 0)
        return nullptr;
    return reinterpret_cast<uint8_t*>(m_block + 1);
}

int32_t CLanPacket::GetDataLength() const
{
    if (m_block == nullptr || !IsValidMessageType(m_block->type))
        return 0;
    return m_block->length;
}

int32_t CLanPacket::GetSize() const
{
    return m_block ? m_block->length + kHeaderSize : 0;
}

bool CLanPacket::CopyFrom(const CLanPacket& other)
{
    if (&other == this)
        return !IsEmpty() && IsValidMessageType(m_block->type);
    if (other.m_block == nullptr || !IsValidMessageType(other.m_block->type)) {
        Free();
        return false;
    }
    const Header header = *other.m_block;
    if (!Allocate(header.length))
        return false;
    *m_block = header;
    if (header.length > 0)
        std::memcpy(m_block + 1, other.m_block + 1, static_cast<size_t>(header.length));
    return true;
}

bool CLanPacket::BeginReassembly(const CLanPacket& fragment)
{
    const Header* f = fragment.m_block;
    // Only a first fragment begins a message; the rest of a message whose start
    // was lost or refused is dropped fragment by fragment.
    if (f == nullptr || !IsValidMessageType(f->type) || f->index != 0 || f->room < 0 || f->length < 0
        || fragment.ClaimsOversizedMessage() || f->length > f->room || f->length > fragment.m_capacity) {
        Free();
        return false;
    }
    const Header header = *f;
    if (!Allocate(header.room))
        return false;
    *m_block = header;
    if (header.length > 0)
        std::memcpy(m_block + 1, f + 1, static_cast<size_t>(header.length));
    return true;
}

bool CLanPacket::AppendFragment(const CLanPacket& fragment)
{
    if (m_block == nullptr)
        return BeginReassembly(fragment);
    const Header* f = fragment.m_block;
    if (f == nullptr || f->type != m_block->type || f->count != m_block->count
        || static_cast<int64_t>(f->index) != static_cast<int64_t>(m_block->index) + 1 || f->length < 0 || f->length > fragment.m_capacity)
        return false;
    const int64_t joined = static_cast<int64_t>(m_block->length) + f->length;
    if (joined > m_block->room || joined > m_capacity)
        return false;
    if (f->length > 0)
        std::memcpy(reinterpret_cast<uint8_t*>(m_block + 1) + m_block->length, f + 1, static_cast<size_t>(f->length));
    m_block->length = static_cast<int32_t>(joined);
    m_block->index = f->index;
    return true;
}

bool CLanPacket::IsComplete() const
{
    // A message is whole only when its last fragment arrived and every byte of it.
    return m_block != nullptr && IsValidMessageType(m_block->type)
        && static_cast<int64_t>(m_block->count) == static_cast<int64_t>(m_block->index) + 1
        && m_block->length == m_block->room;
}

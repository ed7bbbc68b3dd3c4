#pragma once

#include <cstdint>

// One station message in memory: a 24-byte header of six int32 words followed by
// the data, in one block (none when empty). Also the assembly of a fragmented message.
class CLanPacket
{
public:
    struct Header
    {
        int32_t type;
        int32_t room;    // data capacity; for a fragment or assembly, the message's total length
        int32_t length;  // data bytes present
        int32_t value;
        int32_t count;   // fragment count
        int32_t index;   // index of the last fragment taken in
    };
    static constexpr int32_t kHeaderSize = 24;
    // Largest message we reassemble; a peer may claim any total length.
    static constexpr int32_t kMaxMessageLength = 64 * 1024 * 1024;

    CLanPacket() = default;
    virtual ~CLanPacket();
    CLanPacket(const CLanPacket&) = delete;
    CLanPacket& operator=(const CLanPacket&) = delete;

    bool Create(int32_t type, int32_t value, const void* data, int32_t length);
    bool CreateRequest(int32_t code, const void* body, int32_t bodyLength);

    int32_t GetType() const;
    uint8_t* GetData() const;
    int32_t GetDataLength() const;
    int32_t GetSize() const;
    void Free();
    bool IsEmpty() const { return m_block == nullptr; }

    bool CopyFrom(const CLanPacket& other);

    // A fragment that claims a message above kMaxMessageLength, which can never be taken in.
    bool ClaimsOversizedMessage() const { return m_block != nullptr && m_block->room > kMaxMessageLength; }

    bool BeginReassembly(const CLanPacket& fragment);
    bool AppendFragment(const CLanPacket& fragment);
    bool IsComplete() const;

    // The header of a non-empty packet, for framing.
    const Header* GetHeader() const { return m_block; }
    Header* GetHeader() { return m_block; }

private:
    bool Allocate(int32_t capacity);

    Header* m_block = nullptr;
    int32_t m_capacity = 0;  // bytes actually allocated after the header
};

#pragma once

#include <cstdint>
#include <string>

// Growable little-endian byte buffer. Owns its block, or reads in place over
// data attached from elsewhere (which stays its owner's).
class CByteStream
{
public:
    CByteStream() = default;
    ~CByteStream();
    CByteStream(const CByteStream&) = delete;
    CByteStream& operator=(const CByteStream&) = delete;

    uint8_t* GetData() const { return m_start; }
    int32_t GetLength() const { return m_used; }
    int32_t GetRemaining() const;
    int32_t GetCapacity() const { return m_capacity; }
    // Distance of the cursor from the start of the data.
    int32_t GetPosition() const;

    bool Attach(const uint8_t* data, int32_t length);
    void Rewind() { m_cursor = m_start; }
    void Free();

    bool ReadInt16(int16_t& out);
    bool ReadInt32(int32_t& out);
    bool ReadString(std::string& out);
    bool ReadBytes(void* dest, int32_t n);

    bool WriteInt16(int16_t value);
    bool WriteInt32(int32_t value);
    bool WriteBytes(const void* data, int32_t n);
    bool WriteString(const char* text);
    bool WriteStdString(const std::string& text);
    bool WriteFrom(CByteStream* other, int32_t n);

    bool Reserve(int32_t size);

    // For a stream of the library's own writing (a record copy): ReadString then
    // takes every string the writer wrote, however long.
    void AcceptWrittenStrings() { m_stringLimit = kMaxWrittenStringLength; }

    static constexpr int32_t kGrowStep = 1024;
    // Longest string ReadString accepts from the station, which sends none longer.
    static constexpr uint32_t kMaxStringLength = 0x10000;
    // Longest string the writer writes: it and its length word fill a stream.
    static constexpr uint32_t kMaxWrittenStringLength = 0x7FFFFFFF - 4;

private:
    bool Grow(int32_t n);

    uint8_t* m_start = nullptr;
    int32_t m_used = 0;
    uint8_t* m_cursor = nullptr;
    uint8_t* m_owned = nullptr;
    int32_t m_capacity = 0;
    int32_t m_step = kGrowStep;
    uint32_t m_stringLimit = kMaxStringLength;
};

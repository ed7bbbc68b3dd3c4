#pragma once

#include <cstdint>
#include <string>

#include "base/CByteStream.h"

class TiXmlNode;

// Reader and writer of a record's fields, either as <var> elements of an XML
// node or back to back in a byte stream (where keys are ignored and the order
// of the calls is the format). Dates are 8-byte binary fields.
class CFieldArchive
{
public:
    // Over the var elements of node.
    explicit CFieldArchive(TiXmlNode* node);
    // Over an outside stream; its cursor moves as fields are read or written.
    explicit CFieldArchive(CByteStream* stream);
    // Over a stream of its own, to copy a record: Save, Rewind, Load.
    CFieldArchive();

    // The archive may point at its own stream, so it stays where it was built.
    CFieldArchive(const CFieldArchive&) = delete;
    CFieldArchive& operator=(const CFieldArchive&) = delete;

    bool GetShort(const char* key, int16_t& value);
    bool GetInt(const char* key, int32_t& value);
    bool GetString(const char* key, std::string& value);
    // Over XML a missing field reads no bytes and keeps the target's.
    bool GetBinary(const char* key, void* bytes, int32_t count);
    // Whether a block of `count` bytes may be read under the key: as many left in
    // the stream, or, over XML, as many hexadecimal pairs in the text; a shorter
    // text stands for a zero-filled block of at most kMaxZeroFilledBlock bytes.
    bool HoldsBinary(const char* key, int32_t count);
    static constexpr int32_t kMaxZeroFilledBlock = 0x10000;

    bool SetShort(const char* key, int16_t value);
    bool SetInt(const char* key, int32_t value);
    // Text up to its first NUL byte.
    bool SetString(const char* key, const std::string& value);
    bool SetBinary(const char* key, const void* bytes, int32_t count);

    // Over a stream, back to its start so what was written can be read.
    void Rewind();

private:
    TiXmlNode* m_node = nullptr;
    CByteStream* m_stream = nullptr;
    CByteStream m_own;
};

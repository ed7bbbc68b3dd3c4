#include "archive/CFieldArchive.h"

#include <tinyxml.h>

#include "base/StringHelpers.h"
#include "base/XmlHelpers.h"
#include "base/XmlListWriter.h"

#include <charconv>
#include <cstring>

namespace {

// The decimal text the XML form gives an integer field.
template <typename T>
void write_number(XmlListWriter& writer, const char* key, T value)
{
    char digits[16];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    writer.AddVar(key, digits, static_cast<size_t>(end - digits));
}

// The hexadecimal text of a binary field. A host's document keeps the white
// space around a value, which a parse of the library's other documents drops.
std::string binary_text(const TiXmlNode* node, const char* key)
{
    std::string text;
    xml_get_var(text, node, key);
    return trim_space(text);
}

} // namespace

CFieldArchive::CFieldArchive(TiXmlNode* node) : m_node(node) {}

CFieldArchive::CFieldArchive(CByteStream* stream) : m_stream(stream) {}

CFieldArchive::CFieldArchive() : m_stream(&m_own) {}

CFieldArchive::CFieldArchive(XmlListWriter* writer) : m_writer(writer) {}

bool CFieldArchive::GetShort(const char* key, int16_t& value)
{
    if (m_node != nullptr) {
        value = xml_get_var_short(m_node, key);
        return true;
    }
    return m_stream != nullptr && m_stream->ReadInt16(value);
}

bool CFieldArchive::GetInt(const char* key, int32_t& value)
{
    if (m_node != nullptr) {
        value = xml_get_var_int(m_node, key);
        return true;
    }
    return m_stream != nullptr && m_stream->ReadInt32(value);
}

bool CFieldArchive::GetString(const char* key, std::string& value)
{
    if (m_node != nullptr) {
        xml_get_var(value, m_node, key);
        return true;
    }
    return m_stream != nullptr && m_stream->ReadString(value);
}

bool CFieldArchive::GetBinary(const char* key, void* bytes, int32_t count)
{
    if (count < 0)
        return false;
    if (m_node != nullptr) {
        const std::string text = binary_text(m_node, key);
        if (text.size() < 2)
            return true;
        return bytes != nullptr && hex_to_bytes(text, static_cast<uint8_t*>(bytes), count, false);
    }
    return m_stream != nullptr && m_stream->ReadBytes(bytes, count);
}

bool CFieldArchive::HoldsBinary(const char* key, int32_t count)
{
    if (count < 0)
        return false;
    if (m_node != nullptr) {
        const std::string text = binary_text(m_node, key);
        return count <= kMaxZeroFilledBlock || static_cast<size_t>(count) <= text.size() / 2;
    }
    return m_stream != nullptr && count <= m_stream->GetRemaining();
}

bool CFieldArchive::SetShort(const char* key, int16_t value)
{
    if (m_node != nullptr)
        return xml_set_var_int(m_node, key, static_cast<uint16_t>(value));
    if (m_writer != nullptr) {
        write_number(*m_writer, key, static_cast<uint16_t>(value));
        return true;
    }
    return m_stream != nullptr && m_stream->WriteInt16(value);
}

bool CFieldArchive::SetInt(const char* key, int32_t value)
{
    if (m_node != nullptr)
        return xml_set_var_ulong(m_node, key, static_cast<uint32_t>(value));
    if (m_writer != nullptr) {
        write_number(*m_writer, key, static_cast<uint32_t>(value));
        return true;
    }
    return m_stream != nullptr && m_stream->WriteInt32(value);
}

bool CFieldArchive::SetString(const char* key, const std::string& value)
{
    // Both forms carry the text only up to its first NUL byte.
    if (m_node != nullptr)
        return xml_set_var(m_node, key, value.c_str());
    if (m_writer != nullptr) {
        m_writer->AddVar(key, value.c_str(), std::strlen(value.c_str()));
        return true;
    }
    return m_stream != nullptr && m_stream->WriteString(value.c_str());
}

bool CFieldArchive::SetBinary(const char* key, const void* bytes, int32_t count)
{
    if (count < 0 || (bytes == nullptr && count > 0))
        return false;
    if (m_node != nullptr || m_writer != nullptr) {
        const std::string hex = bytes_to_hex(static_cast<const uint8_t*>(bytes), count, 0);
        if (m_node != nullptr)
            return xml_set_var(m_node, key, hex);
        m_writer->AddVar(key, hex.c_str(), hex.size());
        return true;
    }
    return m_stream != nullptr && m_stream->WriteBytes(bytes, count);
}

void CFieldArchive::Rewind()
{
    if (m_node == nullptr && m_stream != nullptr)
        m_stream->Rewind();
}

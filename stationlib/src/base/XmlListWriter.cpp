#include "base/XmlListWriter.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <tinyxml.h>

namespace {

const char kIndent[] = "\t";
const char kLineBreak[] = "\r\n";
// A var element two levels in, before and after its key and value.
const char kVarOpen[] = "\t\t<var ";
const char kVarKeyAttribute[] = "name";
const char kKeyOpen[] = "name=\"";
const char kVarClose[] = "</var>\r\n";
// About the size of a printed event, so one event document needs one block.
constexpr size_t kInitialCapacity = 2048;
// Room for the keys of a record as large as an event, so they need no regrowth.
constexpr size_t kInitialKeyBytes = 512;
constexpr size_t kInitialKeyCount = 40;

// The declaration as the printer writes the one the list skeleton declares.
// Constant data: a worker still rendering while the library unloads reads it.
const char kDeclarationLine[] = "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\r\n";

// The bytes the printer writes other than as they are.
struct EscapedBytes
{
    bool escaped[256] = {};
    constexpr EscapedBytes()
    {
        for (int c = 0; c < 32; ++c)
            escaped[c] = true;
        for (unsigned char c : {'&', '<', '>', '"', '\''})
            escaped[c] = true;
    }
};
constexpr EscapedBytes kEscapedBytes;

bool needs_escape(const char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (kEscapedBytes.escaped[static_cast<unsigned char>(text[i])])
            return true;
    return false;
}

bool is_name_start(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

} // namespace

XmlListWriter::XmlListWriter(const std::string& root) : m_root(root)
{
    m_text.reserve(kInitialCapacity);
    m_keys.reserve(kInitialKeyBytes);
    m_seen.reserve(kInitialKeyCount);
    m_text += kDeclarationLine;
    m_text += '<';
    m_text += m_root;
    m_rootOpen = true;
}

bool XmlListWriter::IsPlainName(const std::string& name)
{
    if (name.empty() || !is_name_start(name[0]))
        return false;
    for (char c : name)
        if (!is_name_start(c) && !(c >= '0' && c <= '9'))
            return false;
    return true;
}

void XmlListWriter::OpenPending()
{
    if (m_rootOpen) {
        m_text += '>';
        m_text += kLineBreak;
        m_rootOpen = false;
    }
    if (m_recordOpen && !m_recordHasVars) {
        m_text += '>';
        m_text += kLineBreak;
        m_recordHasVars = true;
    }
}

void XmlListWriter::BeginRecord(const std::string& tag)
{
    OpenPending();
    m_tag = tag;
    m_text += kIndent;
    m_text += '<';
    m_text += m_tag;
    m_recordOpen = true;
    m_recordHasVars = false;
    m_keys.clear();
    m_seen.clear();
    m_keyBits = 0;
}

void XmlListWriter::NoteKey(const char* key, size_t length)
{
    // Length and three bytes: enough to tell a record's keys apart mostly; the
    // string compare decides.
    uint32_t hash = static_cast<uint32_t>(length) * 0x9E3779B1u;
    if (length > 0) {
        const auto byte = [key](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(key[i])); };
        hash ^= (byte(0) | byte(length / 2) << 8 | byte(length - 1) << 16) * 0x85EBCA6Bu;
    }
    // One bit per hash first: most keys find theirs clear and skip the list.
    const uint64_t bit = uint64_t{1} << (hash >> 26);
    if ((m_keyBits & bit) != 0)
        for (const SeenKey& seen : m_seen)
            if (seen.hash == hash && std::strcmp(m_keys.c_str() + seen.offset, key) == 0)
                m_repeated = true;
    m_keyBits |= bit;
    m_seen.push_back(SeenKey{hash, static_cast<uint32_t>(m_keys.size())});
    m_keys.append(key, length + 1);
}

void XmlListWriter::AddVar(const char* key, const char* value, size_t length)
{
    const size_t keyLength = std::strlen(key);
    NoteKey(key, keyLength);
    OpenPending();

    const bool plainKey = !needs_escape(key, keyLength);
    const bool plainValue = !needs_escape(value, length);
    // The common line, a plain key and a plain value, goes in one append.
    char line[256];
    const size_t size = sizeof kVarOpen - 1 + sizeof kKeyOpen - 1 + keyLength + 2 + length + sizeof kVarClose - 1;
    if (plainKey && plainValue && size <= sizeof line) {
        char* at = std::copy(kVarOpen, kVarOpen + sizeof kVarOpen - 1, line);
        at = std::copy(kKeyOpen, kKeyOpen + sizeof kKeyOpen - 1, at);
        at = std::copy(key, key + keyLength, at);
        *at++ = '"';
        *at++ = '>';
        at = std::copy(value, value + length, at);
        std::copy(kVarClose, kVarClose + sizeof kVarClose - 1, at);
        m_text.append(line, size);
        return;
    }

    m_text += kVarOpen;
    if (plainKey) {
        m_text += kKeyOpen;
        m_text.append(key, keyLength);
        m_text += '"';
    } else {
        TiXmlAttribute(kVarKeyAttribute, key).Print(nullptr, 0, &m_text);
    }
    m_text += '>';
    if (plainValue)
        m_text.append(value, length);
    else
        TiXmlBase::EncodeString(std::string(value, length), &m_text);
    m_text += kVarClose;
}

void XmlListWriter::EndRecord()
{
    if (!m_recordOpen)
        return;
    if (m_recordHasVars) {
        m_text += kIndent;
        m_text += "</";
        m_text += m_tag;
        m_text += '>';
    } else {
        m_text += " />";
    }
    m_text += kLineBreak;
    m_recordOpen = false;
}

std::string XmlListWriter::Finish()
{
    EndRecord();
    if (m_rootOpen) {
        m_text += " />";
        m_rootOpen = false;
    } else {
        m_text += "</";
        m_text += m_root;
        m_text += '>';
    }
    m_text += kLineBreak;
    return std::move(m_text);
}

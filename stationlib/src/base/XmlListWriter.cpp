#include "base/XmlListWriter.h"

#include <cstring>
#include <utility>

#include <tinyxml.h>

namespace {

const char kIndent[] = "\t";
const char kLineBreak[] = "\r\n";
const char kVarElement[] = "var";
const char kVarKeyAttribute[] = "name";
// About the size of a printed event, so one event document needs one block.
constexpr size_t kInitialCapacity = 2048;

// The declaration as the printer writes the one the list skeleton declares.
const std::string& declaration_line()
{
    static const std::string line = [] {
        std::string text;
        TiXmlDeclaration("1.0", "windows-1251", "").Print(nullptr, 0, &text);
        return text + kLineBreak;
    }();
    return line;
}

// Whether the printer would write the bytes other than as they are.
bool needs_escape(const char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 32 || c == '&' || c == '<' || c == '>' || c == '"' || c == '\'')
            return true;
    }
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
    m_text += declaration_line();
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
}

void XmlListWriter::AddVar(const char* key, const char* value, size_t length)
{
    // A key written twice: the tree would have updated the first var.
    for (size_t at = 0; at < m_keys.size(); at += std::strlen(m_keys.c_str() + at) + 1)
        if (std::strcmp(m_keys.c_str() + at, key) == 0)
            m_repeated = true;
    m_keys.append(key, std::strlen(key) + 1);

    OpenPending();
    m_text += kIndent;
    m_text += kIndent;
    m_text += '<';
    m_text += kVarElement;
    m_text += ' ';
    const size_t keyLength = std::strlen(key);
    if (needs_escape(key, keyLength)) {
        TiXmlAttribute attribute(kVarKeyAttribute, key);
        attribute.Print(nullptr, 0, &m_text);
    } else {
        m_text += kVarKeyAttribute;
        m_text += "=\"";
        m_text.append(key, keyLength);
        m_text += '"';
    }
    m_text += '>';
    if (needs_escape(value, length))
        TiXmlBase::EncodeString(std::string(value, length), &m_text);
    else
        m_text.append(value, length);
    m_text += "</";
    m_text += kVarElement;
    m_text += '>';
    m_text += kLineBreak;
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

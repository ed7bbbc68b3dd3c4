#include "base/XmlDepth.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

// TinyXML's own lexical rules, which it keeps for its node classes.
class TinyXmlLexer : public TiXmlBase
{
public:
    using TiXmlBase::IsAlpha;
    using TiXmlBase::ReadName;
    using TiXmlBase::SkipWhiteSpace;
    using TiXmlBase::StringEqual;
};

const char* skip_blanks(const char* p, TiXmlEncoding encoding)
{
    return TinyXmlLexer::SkipWhiteSpace(p, encoding);
}

bool starts_with(const char* p, const char* prefix, bool ignore_case, TiXmlEncoding encoding)
{
    return TinyXmlLexer::StringEqual(p, prefix, ignore_case, encoding);
}

enum class Markup
{
    Declaration,
    Comment,
    CData,
    Unknown,
    Element,
};

// What the '<' at p opens, tested in the order TinyXML tests it.
Markup identify(const char* p, TiXmlEncoding encoding)
{
    if (starts_with(p, "<?xml", true, encoding))
        return Markup::Declaration;
    if (starts_with(p, "<!--", false, encoding))
        return Markup::Comment;
    if (starts_with(p, "<![CDATA[", false, encoding))
        return Markup::CData;
    if (starts_with(p, "<!", false, encoding))
        return Markup::Unknown;
    if (TinyXmlLexer::IsAlpha(static_cast<unsigned char>(p[1]), encoding) || p[1] == '_')
        return Markup::Element;
    return Markup::Unknown;
}

// Past markup that holds no element, read by the node TinyXML reads it with;
// null at a fault. A declaration also gives its encoding.
const char* skip_markup(Markup kind, const char* p, TiXmlEncoding encoding, std::string& declared)
{
    switch (kind) {
    case Markup::Declaration: {
        TiXmlDeclaration node;
        p = node.Parse(p, nullptr, encoding);
        declared = node.Encoding();
        return p;
    }
    case Markup::Comment: {
        TiXmlComment node;
        return node.Parse(p, nullptr, encoding);
    }
    case Markup::CData: {
        TiXmlText node("");
        node.SetCDATA(true);
        return node.Parse(p, nullptr, encoding);
    }
    default: {
        TiXmlUnknown node;
        return node.Parse(p, nullptr, encoding);
    }
    }
}

// The encoding a document read without one takes from its declaration.
TiXmlEncoding declared_encoding(const std::string& declared)
{
    if (declared.empty() || starts_with(declared.c_str(), "UTF-8", true, TIXML_ENCODING_UNKNOWN)
        || starts_with(declared.c_str(), "UTF8", true, TIXML_ENCODING_UNKNOWN))
        return TIXML_ENCODING_UTF8;
    return TIXML_ENCODING_LEGACY;
}

// A text node that tells whether it is blank: TinyXML drops a blank one.
class TextNode : public TiXmlText
{
public:
    TextNode() : TiXmlText("") {}
    using TiXmlText::Blank;
};

// Walks the text as TinyXML parses it, counting what its tree would hold.
class ShapeScan
{
public:
    ShapeScan(TiXmlEncoding encoding, const XmlShape& bounds) : m_encoding(encoding), m_bounds(bounds) {}

    XmlShape Run(const char* text);

private:
    // Counts one node; false once past the bound.
    bool AddNode() { return ++m_shape.nodes <= m_bounds.nodes; }
    const char* ReadStartTag(const char* p, std::string& name, bool& empty);
    bool Exceeded() const { return xml_shape_exceeds(m_shape, m_bounds); }

    TiXmlEncoding m_encoding;
    const XmlShape m_bounds;
    XmlShape m_shape;
};

// Past the start tag at p (its '<'), with the element's name and whether the tag
// also ends it; null at a fault, a repeated attribute included, or once a count
// passes its bound.
const char* ShapeScan::ReadStartTag(const char* p, std::string& name, bool& empty)
{
    p = TinyXmlLexer::ReadName(skip_blanks(p + 1, m_encoding), &name, m_encoding);
    if (p == nullptr || *p == '\0')
        return nullptr;
    std::set<std::string> attributes;
    for (;;) {
        p = skip_blanks(p, m_encoding);
        if (p == nullptr || *p == '\0')
            return nullptr;
        if (*p == '/') {
            empty = true;
            return p[1] == '>' ? p + 2 : nullptr;
        }
        if (*p == '>') {
            empty = false;
            return p + 1;
        }
        TiXmlAttribute attribute;
        p = attribute.Parse(p, nullptr, m_encoding);
        if (p == nullptr || *p == '\0' || !attributes.insert(attribute.NameTStr()).second)
            return nullptr;
        // Counted once kept, as TinyXML keeps it.
        const int count = static_cast<int>(attributes.size());
        if (count > m_shape.attributes)
            m_shape.attributes = count;
        if (count > m_bounds.attributes || !AddNode())
            return nullptr;
    }
}

// Past the end tag at p, which must be `end` ("</" and the name), blanks and '>'.
const char* read_end_tag(const char* p, const std::string& end, TiXmlEncoding encoding)
{
    if (!starts_with(p, end.c_str(), false, encoding))
        return nullptr;
    p = skip_blanks(p + end.size(), encoding);
    return p != nullptr && *p == '>' ? p + 1 : nullptr;
}

XmlShape ShapeScan::Run(const char* text)
{
    if (text == nullptr || *text == '\0')
        return m_shape;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    if (m_encoding == TIXML_ENCODING_UNKNOWN && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        m_encoding = TIXML_ENCODING_UTF8;

    // End tags of the elements being read, outermost first.
    std::vector<std::string> open;
    const char* blank = text;  // where the blanks before p begin
    const char* p = skip_blanks(text, m_encoding);
    while (p != nullptr && *p != '\0' && !Exceeded()) {
        if (open.empty() && *p != '<')
            break;  // what follows a top-level node is not read
        if (*p != '<') {
            TextNode node;
            p = node.Parse(TiXmlBase::IsWhiteSpaceCondensed() ? p : blank, nullptr, m_encoding);
            if (!node.Blank())
                AddNode();
        } else if (!open.empty() && starts_with(p, "</", false, m_encoding)) {
            p = read_end_tag(p, open.back(), m_encoding);
            open.pop_back();
        } else {
            // Every other markup is a node, kept even when TinyXML cannot finish it.
            if (!AddNode())
                break;
            const Markup kind = identify(p, m_encoding);
            if (kind == Markup::Element) {
                // The element counts from its '<' on.
                const int level = static_cast<int>(open.size()) + 1;
                if (level > m_shape.depth) {
                    m_shape.depth = level;
                    if (level > m_bounds.depth)
                        break;
                }
                std::string name;
                bool empty = false;
                p = ReadStartTag(p, name, empty);
                if (p != nullptr && !empty)
                    open.push_back("</" + name);
            } else {
                std::string declared;
                p = skip_markup(kind, p, m_encoding, declared);
                if (open.empty() && kind == Markup::Declaration && m_encoding == TIXML_ENCODING_UNKNOWN)
                    m_encoding = declared_encoding(declared);
            }
        }
        blank = p;
        p = skip_blanks(p, m_encoding);
    }
    return m_shape;
}

} // namespace

XmlShape xml_shape(const char* text, TiXmlEncoding encoding, const XmlShape& bounds)
{
    return ShapeScan(encoding, bounds).Run(text);
}

XmlShape xml_tree_shape(const TiXmlNode* node)
{
    XmlShape shape;
    if (const TiXmlElement* element = node->ToElement())
        for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next())
            ++shape.attributes;
    shape.nodes = shape.attributes;
    for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
        const XmlShape below = xml_tree_shape(child);
        if (child->ToElement() != nullptr)
            shape.depth = std::max(shape.depth, 1 + below.depth);
        shape.attributes = std::max(shape.attributes, below.attributes);
        shape.nodes += 1 + below.nodes;
    }
    return shape;
}

bool xml_shape_exceeds(const XmlShape& shape, const XmlShape& bounds)
{
    return shape.depth > bounds.depth || shape.attributes > bounds.attributes || shape.nodes > bounds.nodes;
}

bool xml_within_bounds(const char* text, TiXmlEncoding encoding)
{
    return !xml_shape_exceeds(xml_shape(text, encoding, kMaxXmlShape), kMaxXmlShape);
}

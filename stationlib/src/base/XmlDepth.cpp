#include "base/XmlDepth.h"

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

// Past the start tag at p (its '<'), with the element's name and whether the tag
// also ends it; null at a fault, a repeated attribute included.
const char* read_start_tag(const char* p, TiXmlEncoding encoding, std::string& name, bool& empty)
{
    p = TinyXmlLexer::ReadName(skip_blanks(p + 1, encoding), &name, encoding);
    if (p == nullptr || *p == '\0')
        return nullptr;
    std::set<std::string> attributes;
    for (;;) {
        p = skip_blanks(p, encoding);
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
        p = attribute.Parse(p, nullptr, encoding);
        if (p == nullptr || *p == '\0' || !attributes.insert(attribute.NameTStr()).second)
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

} // namespace

int xml_element_depth(const char* text, TiXmlEncoding encoding, int limit)
{
    if (text == nullptr || *text == '\0')
        return 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    if (encoding == TIXML_ENCODING_UNKNOWN && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        encoding = TIXML_ENCODING_UTF8;

    // End tags of the elements being read, outermost first.
    std::vector<std::string> open;
    int deepest = 0;
    const char* blank = text;  // where the blanks before p begin
    const char* p = skip_blanks(text, encoding);
    while (p != nullptr && *p != '\0') {
        if (open.empty() && *p != '<')
            break;  // what follows a top-level node is not read
        if (*p != '<') {
            TiXmlText node("");
            p = node.Parse(TiXmlBase::IsWhiteSpaceCondensed() ? p : blank, nullptr, encoding);
        } else if (!open.empty() && starts_with(p, "</", false, encoding)) {
            p = read_end_tag(p, open.back(), encoding);
            open.pop_back();
        } else {
            const Markup kind = identify(p, encoding);
            if (kind == Markup::Element) {
                // The element counts from its '<' on, as TinyXML keeps one it could not finish.
                if (static_cast<int>(open.size()) + 1 > deepest) {
                    deepest = static_cast<int>(open.size()) + 1;
                    if (deepest > limit)
                        return deepest;
                }
                std::string name;
                bool empty = false;
                p = read_start_tag(p, encoding, name, empty);
                if (p != nullptr && !empty)
                    open.push_back("</" + name);
            } else {
                std::string declared;
                p = skip_markup(kind, p, encoding, declared);
                if (open.empty() && kind == Markup::Declaration && encoding == TIXML_ENCODING_UNKNOWN)
                    encoding = declared_encoding(declared);
            }
        }
        blank = p;
        p = skip_blanks(p, encoding);
    }
    return deepest;
}

#include "base/XmlHelpers.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>
#include <utility>

#include "base/FileHelpers.h"
#include "base/InputBounds.h"
#include "base/StringHelpers.h"
#include "base/XmlDepth.h"
#include "base/XmlResources.h"

#include "platform/RegularFile.h"

namespace {

const char kVarElement[] = "var";
const char kVarKeyAttribute[] = "name";

// The runtime's 64-bit atoi: leading blanks and a sign allowed, stops at the
// first non-digit, saturates at the 64-bit limits.
int64_t parse_decimal64(const std::string& text)
{
    return std::strtoll(text.c_str(), nullptr, 10);
}

bool declared_utf8(const TiXmlNode* node)
{
    const TiXmlDocument* document = node ? node->GetDocument() : nullptr;
    if (document == nullptr || document->FirstChild() == nullptr)
        return false;
    const TiXmlDeclaration* declaration = document->FirstChild()->ToDeclaration();
    return declaration != nullptr && strcasecmp(declaration->Encoding(), "utf-8") == 0;
}

// Whether the element is a var of that element name whose key attribute is
// `key`. Every field of a record is looked up among all the vars before it, so
// this runs often: nothing is allocated and the names are compared as strings.
bool is_var_of(const TiXmlElement* var, const std::string& element_name, const std::string& key)
{
    if (var->ValueStr() != element_name)
        return false;
    const char* name = var->Attribute(kVarKeyAttribute);
    return name != nullptr && key == name;
}

const TiXmlElement* find_var(const TiXmlNode* node, const std::string& element_name,
                             const std::string& key)
{
    for (const TiXmlElement* var = node->FirstChildElement(); var; var = var->NextSiblingElement()) {
        if (!is_var_of(var, element_name, key))
            continue;
        if (var->FirstChild() != nullptr && var->FirstChild()->ToText() != nullptr)
            return var;
    }
    return nullptr;
}

template <typename Element, typename Node>
Element* find_path(Node* node, const char* path)
{
    if (node == nullptr || path == nullptr)
        return nullptr;
    Element* current = nullptr;
    const char* name = path;
    for (;;) {
        const char* end = name;
        while (*end != '\0' && *end != '.')
            ++end;
        // An empty name (two points in a row, or an empty path) matches no element.
        if (end == name)
            return nullptr;
        const std::string part(name, end);
        current = current ? current->FirstChildElement(part) : node->FirstChildElement(part);
        if (current == nullptr || *end == '\0')
            return current;
        name = end + 1;
    }
}

// Put before the text of an element whose content is text alone, so that TinyXML
// keeps it also when it is white space only; taken off after the parse.
const char kTextMark = '\x01';
const char kTextMarkReference[] = "&#1;";

// TinyXML's white space.
bool is_xml_space(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Where the markup that starts at `at` (a '<') ends: past "-->" of a comment,
// "]]>" of a CDATA section, else the first '>' outside quotes. npos when it
// does not end.
size_t end_of_markup(const std::string& text, size_t at)
{
    for (const auto& [start, end] : {std::pair<std::string, std::string>{"<!--", "-->"}, {"<![CDATA[", "]]>"}}) {
        if (text.compare(at, start.size(), start) != 0)
            continue;
        const size_t found = text.find(end, at + start.size());
        return found == std::string::npos ? found : found + end.size();
    }
    char quote = 0;
    for (size_t i = at + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return std::string::npos;
}

// Whether the markup [at, end) is the start tag of an element with content, as
// TinyXML tells one: a letter, an underscore or a byte above ASCII after '<',
// and no "/>" at its end.
bool opens_element(const std::string& text, size_t at, size_t end)
{
    const unsigned char first = at + 1 < end ? static_cast<unsigned char>(text[at + 1]) : 0;
    const bool named = std::isalpha(first) != 0 || first == '_' || first >= 0x80;
    return named && text[end - 2] != '/';
}

// Whether every "&#" of the text is a whole character reference: digits, or "x"
// and hexadecimal digits, then ";". TinyXML reads one that is not up to the next
// ";" anywhere after it, across markup, which would reach the references the
// protection adds.
bool references_whole(const std::string& text)
{
    for (size_t at = text.find("&#"); at != std::string::npos; at = text.find("&#", at + 2)) {
        size_t i = at + 2;
        const bool hex = i < text.size() && text[i] == 'x';
        if (hex)
            ++i;
        while (i < text.size() && (hex ? std::isxdigit(static_cast<unsigned char>(text[i])) != 0
                                       : std::isdigit(static_cast<unsigned char>(text[i])) != 0))
            ++i;
        if (i >= text.size() || text[i] != ';')
            return false;
    }
    return true;
}

// The text with the content of each element that holds text alone written as
// the mark followed by the text, every white-space byte as a character
// reference: TinyXML takes references as they are and never trims or folds them.
// A text with a broken reference is left as it is, and so parses as before.
std::string protect_element_text(const std::string& text)
{
    if (!references_whole(text))
        return text;
    std::string protectedText;
    protectedText.reserve(text.size());
    bool afterStartTag = false;
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] == '<') {
            const size_t end = end_of_markup(text, at);
            if (end == std::string::npos) {
                protectedText.append(text, at, std::string::npos);
                break;
            }
            protectedText.append(text, at, end - at);
            afterStartTag = opens_element(text, at, end);
            at = end;
            continue;
        }
        const size_t next = std::min(text.find('<', at), text.size());
        if (afterStartTag && text.compare(next, 2, "</") == 0) {
            protectedText += kTextMarkReference;
            for (size_t i = at; i < next; ++i) {
                if (is_xml_space(text[i]))
                    protectedText += "&#" + std::to_string(static_cast<unsigned char>(text[i])) + ";";
                else
                    protectedText += text[i];
            }
        } else {
            protectedText.append(text, at, next - at);
        }
        afterStartTag = false;
        at = next;
    }
    return protectedText;
}

// Takes the mark off the text of every element whose one child is that text.
// The depth is bounded by the parse.
void remove_text_marks(TiXmlNode* node)
{
    for (TiXmlNode* child = node->FirstChild(); child != nullptr; child = child->NextSibling()) {
        TiXmlText* text = child->ToText();
        const bool alone = node->ToElement() != nullptr && child == node->FirstChild() && child == node->LastChild();
        if (text == nullptr || !alone || text->CDATA()) {
            remove_text_marks(child);
            continue;
        }
        const std::string& value = text->ValueStr();
        if (!value.empty() && value[0] == kTextMark)
            text->SetValue(value.substr(1));
    }
}

} // namespace

void xml_get_var(std::string& result, const TiXmlNode* node, const std::string& key,
                 const std::string& suffix)
{
    result.clear();
    if (node == nullptr)
        return;
    const TiXmlElement* var = find_var(node, kVarElement + suffix, key);
    if (var != nullptr)
        xml_get_text(var->FirstChild()->ToText(), result);
}

int16_t xml_get_var_short(const TiXmlNode* node, const std::string& key, const std::string& suffix)
{
    std::string text;
    xml_get_var(text, node, key, suffix);
    return static_cast<int16_t>(static_cast<uint16_t>(crt_atoi(text.c_str())));
}

int32_t xml_get_var_int(const TiXmlNode* node, const std::string& key, const std::string& suffix)
{
    std::string text;
    xml_get_var(text, node, key, suffix);
    return static_cast<int32_t>(static_cast<uint32_t>(parse_decimal64(text)));
}

bool xml_set_var(TiXmlNode* node, const std::string& key, const std::string& text,
                 const std::string& suffix)
{
    if (node == nullptr)
        return true;
    const std::string element_name = kVarElement + suffix;
    for (TiXmlElement* var = node->FirstChildElement(); var; var = var->NextSiblingElement()) {
        if (!is_var_of(var, element_name, key))
            continue;
        if (var->FirstChild() == nullptr)
            var->LinkEndChild(new TiXmlText(""));
        if (TiXmlText* value = var->FirstChild()->ToText()) {
            xml_set_text(value, text);
            return true;
        }
        // Readers skip an element whose first child is not text; so does the
        // writer, or the value written would not be the one read back.
    }
    TiXmlElement* var = new TiXmlElement(element_name);
    var->SetAttribute(kVarKeyAttribute, key);
    node->LinkEndChild(var);
    TiXmlText* value = new TiXmlText("");
    var->LinkEndChild(value);
    xml_set_text(value, text);
    return true;
}

bool xml_set_var_int(TiXmlNode* node, const std::string& key, int value, const std::string& suffix)
{
    return xml_set_var(node, key, std::to_string(value), suffix);
}

bool xml_set_var_ulong(TiXmlNode* node, const std::string& key, uint32_t value,
                       const std::string& suffix)
{
    return xml_set_var(node, key, std::to_string(value), suffix);
}

void xml_get_text(const TiXmlText* text, std::string& result)
{
    if (text == nullptr) {
        result.clear();
        return;
    }
    result = text->ValueStr();
    if (declared_utf8(text) && !is_ascii_text(result))
        utf8_to_ansi(result);
}

void xml_set_text(TiXmlText* text, const std::string& value)
{
    if (text == nullptr)
        return;
    if (declared_utf8(text) && !is_ascii_text(value)) {
        std::string converted = value;
        ansi_to_utf8(converted);
        text->SetValue(converted);
        return;
    }
    text->SetValue(value);
}

TiXmlElement* xml_find_path(TiXmlNode* node, const std::string& path)
{
    return find_path<TiXmlElement>(node, path.c_str());
}

const TiXmlElement* xml_find_path(const TiXmlNode* node, const std::string& path)
{
    return find_path<const TiXmlElement>(node, path.c_str());
}

TiXmlElement* xml_find_path_c(TiXmlNode* node, const char* path)
{
    return find_path<TiXmlElement>(node, path);
}

const TiXmlElement* xml_find_path_c(const TiXmlNode* node, const char* path)
{
    return find_path<const TiXmlElement>(node, path);
}

void xml_get_path_text(std::string& result, const TiXmlNode* node, const std::string& path,
                       const std::string& def)
{
    const TiXmlElement* element = xml_find_path(node, path);
    if (element == nullptr) {
        result = def;
        return;
    }
    if (const TiXmlElement* child = element->FirstChildElement()) {
        xml_node_to_text(child, result);
        return;
    }
    const TiXmlNode* first = element->FirstChild();
    if (first != nullptr && first->ToText() != nullptr)
        result = first->ValueStr();
    else
        result.clear();
}

void xml_get_path_text_c(std::string& result, const TiXmlNode* node, const char* path,
                         const char* def)
{
    xml_get_path_text(result, node, path ? path : "", def ? def : "");
}

bool xml_set_inner_xml(TiXmlElement* element, const std::string& text)
{
    if (element == nullptr)
        return false;
    TiXmlDocument fragment;
    bool refused = false;
    xml_parse(fragment, text, TIXML_DEFAULT_ENCODING, &refused);
    if (refused)
        return false;
    element->Clear();
    // What the parser built is taken even when it stopped at a fault: a template
    // body cut before its last line ends without its closing tag, and the parser
    // still gives its elements.
    const TiXmlElement* first = fragment.FirstChildElement();
    if (first == nullptr) {
        element->LinkEndChild(new TiXmlText(text));
        return true;
    }
    for (const TiXmlNode* node = first; node; node = node->NextSibling())
        element->InsertEndChild(*node);
    return true;
}

bool xml_set_inner_xml_at(TiXmlNode* node, const std::string& path, const std::string& text)
{
    return xml_set_inner_xml(xml_find_path(node, path), text);
}

bool xml_set_inner_xml_at_c(TiXmlNode* node, const char* path, const char* text)
{
    return xml_set_inner_xml_at(node, path ? path : "", text ? text : "");
}

void xml_node_to_text(const TiXmlNode* node, std::string& result)
{
    result.clear();
    if (node == nullptr)
        return;
    TiXmlPrinter printer;
    printer.SetIndent("    ");
    printer.SetLineBreak("\n");
    node->Accept(&printer);
    result = printer.Str();
}

bool xml_parse(TiXmlDocument& document, const std::string& text, TiXmlEncoding encoding, bool* refused)
{
    if (refused != nullptr)
        *refused = false;
    // The longest UTF-8 sequence is 4 bytes: 3 may lie past the end.
    std::string padded = text;
    padded.append(4, '\0');
    if (!xml_within_bounds(padded.c_str(), encoding)) {
        // Refused as a document that does not parse, before the parser spends its stack or time on it.
        document.ClearError();
        document.SetError(TiXmlBase::TIXML_ERROR, nullptr, nullptr, encoding);
        if (refused != nullptr)
            *refused = true;
        return false;
    }
    document.Parse(padded.c_str(), nullptr, encoding);
    return !document.Error();
}

bool xml_parse_exact_text(TiXmlDocument& document, const std::string& text)
{
    // The protected copy can be a few times the text: a host's document is held
    // to the size of the largest XML file the library reads.
    if (text.size() > kMaxXmlFileSize) {
        document.ClearError();
        document.SetError(TiXmlBase::TIXML_ERROR, nullptr, nullptr, TIXML_DEFAULT_ENCODING);
        return false;
    }
    const bool parsed = xml_parse(document, protect_element_text(text));
    remove_text_marks(&document);
    return parsed;
}

bool xml_load_file(TiXmlDocument& document, const std::string& path)
{
    // Read as TinyXML reads a file: every CR LF and lone CR becomes LF.
    const std::string bytes = file_read_all(path);
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r')
            text += bytes[i];
        else if (i + 1 >= bytes.size() || bytes[i + 1] != '\n')
            text += '\n';
    }
    document.Clear();
    document.SetValue(path);
    if (text.empty())
        return false;
    return xml_parse(document, text);
}

bool xml_parse_text(TiXmlDocument& document, const std::string& text)
{
    document.Clear();
    return xml_parse(document, text);
}

bool xml_parse_resource(TiXmlDocument& document, int id)
{
    std::string text;
    if (!load_xml_resource(id, text))
        return false;
    return xml_parse_text(document, text);
}

bool xml_save_file(const TiXmlDocument& document, const std::string& path)
{
    // Whether the folders could be made shows in the save's own result.
    if (path.find(kPathSeparator) != std::string::npos)
        create_directories(parent_folder(path));
    // The file is closed here rather than by TinyXML, which does not check the
    // close: a small document reaches the disk only there, and a full disk shows
    // only there.
    // A FIFO or device in the file's place is refused, never waited on.
    const int fd = platform::open_regular_file(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0)
        return false;
    FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        return false;
    }
    const bool written = document.SaveFile(file);
    return std::fclose(file) == 0 && written;
}

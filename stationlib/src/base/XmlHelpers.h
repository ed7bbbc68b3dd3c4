#pragma once

#include <cstdint>
#include <string>

#include <tinyxml.h>

#include "base/CXmlHelper.h"

// Fields of a record in XML are child elements <var name="Key">value</var>.
// Keys match exactly (case-sensitive); the first matching element wins.

// Value text of the first matching var element, or "" when there is none.
void xml_get_var(std::string& result, const TiXmlNode* node, const std::string& key,
                 const std::string& suffix = std::string());
// The value as a decimal int, low 16 bits kept ("65535" reads as -1).
int16_t xml_get_var_short(const TiXmlNode* node, const std::string& key,
                          const std::string& suffix = std::string());
// The value as a 64-bit decimal, low 32 bits kept ("4294967295" reads as -1).
int32_t xml_get_var_int(const TiXmlNode* node, const std::string& key,
                        const std::string& suffix = std::string());

// Updates the first matching var element, or appends a new one. Always true.
bool xml_set_var(TiXmlNode* node, const std::string& key, const std::string& text,
                 const std::string& suffix = std::string());
// Signed decimal.
bool xml_set_var_int(TiXmlNode* node, const std::string& key, int value,
                     const std::string& suffix = std::string());
// Unsigned decimal of the 32 bits.
bool xml_set_var_ulong(TiXmlNode* node, const std::string& key, uint32_t value,
                       const std::string& suffix = std::string());

// Text node access. In a document declared "utf-8" non-ASCII text is stored as
// UTF-8 and handed back in the ANSI code page; otherwise the bytes pass as they are.
void xml_get_text(const TiXmlText* text, std::string& result);
void xml_set_text(TiXmlText* text, const std::string& value);

// Element reached by a dotted path of element names ("Root.General.Name"),
// taking the first child of each name; null as soon as one is missing.
TiXmlElement* xml_find_path(TiXmlNode* node, const std::string& path);
const TiXmlElement* xml_find_path(const TiXmlNode* node, const std::string& path);
TiXmlElement* xml_find_path_c(TiXmlNode* node, const char* path);
const TiXmlElement* xml_find_path_c(const TiXmlNode* node, const char* path);

// Content of the element at path: the printed first child element when it has
// one, else its text; def when the path does not resolve.
void xml_get_path_text(std::string& result, const TiXmlNode* node, const std::string& path,
                       const std::string& def);
void xml_get_path_text_c(std::string& result, const TiXmlNode* node, const char* path,
                         const char* def);

// Replaces the children of element by the nodes of text parsed as XML (its first
// element and every node after it, as far as the parser got), or by one text node
// holding text when it holds no element. False, the element unchanged, when
// element is null or the text is refused by the bounds of xml_parse.
bool xml_set_inner_xml(TiXmlElement* element, const std::string& text);
// The same on the element at path; false also when the path does not resolve.
bool xml_set_inner_xml_at(TiXmlNode* node, const std::string& path, const std::string& text);
bool xml_set_inner_xml_at_c(TiXmlNode* node, const char* path, const char* text);

// The node printed with four blanks of indent per level and "\n" line ends.
void xml_node_to_text(const TiXmlNode* node, std::string& result);

// Parses the text into the document (every parse of the library goes through
// here); false when the document has a fault. TinyXML steps over a whole UTF-8
// sequence even where the text ends inside it and reads on past the end, so the
// text is parsed from a copy that zero bytes follow. A text that passes one of
// the bounds of kMaxXmlShape (nesting, attributes of one element, nodes) is
// refused before TinyXML sees it: the document gets a fault and nothing else, and
// `refused`, when given, tells it apart.
bool xml_parse(TiXmlDocument& document, const std::string& text, TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING,
               bool* refused = nullptr);

// Parses a document a host wrote (a record handed in) as xml_parse does, but the
// text of an element whose content is text alone stays byte for byte: TinyXML
// would trim it, fold its runs of white space into one blank and drop it when
// it is white space only. The whole process shares TinyXML's switch for that,
// so the text is protected before the parse instead.
bool xml_parse_exact_text(TiXmlDocument& document, const std::string& text);

// Documents from and to files, texts and the library's XML resources.
bool xml_load_file(TiXmlDocument& document, const std::string& path);
bool xml_parse_text(TiXmlDocument& document, const std::string& text);
bool xml_parse_resource(TiXmlDocument& document, int id);
// Creates the missing folders of path first; true when the file was written.
bool xml_save_file(const TiXmlDocument& document, const std::string& path);

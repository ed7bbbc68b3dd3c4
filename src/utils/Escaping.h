#pragma once

#include <string>
#include <vector>

// Each byte as two lower-case hex digits and a blank; a line feed after every
// 16th byte and one more blank after every other 8th.
std::string hex_dump(const std::string& bytes);

// Two hex digits per byte, no separators.
std::string to_hex_string(const std::string& bytes, bool upper_case);

// Percent escaping ("%XX", upper-case hex). url_escape keeps letters, digits and
// !$'()*+-./:=@_~; url_escape_strict keeps only letters, digits and '_'.
std::string url_escape(const std::string& bytes);
std::string url_escape_strict(const std::string& bytes);

// Each '%' followed by two hex digits becomes that byte; any other '%' stays.
std::string url_unescape(const std::string& text);

// A comma-separated list of url_escape'd elements. A final comma gives a final
// empty element; an empty text is an empty list.
std::vector<std::string> parse_escaped_list(const std::string& text);
std::string join_escaped_list(const std::vector<std::string>& elements);

// Text safe inside an XML attribute or element: the five markup characters
// become entity references and every control byte below 0x20 a blank (XML
// allows none of them verbatim, and the rest not even as references).
std::string xml_escape(const std::string& text);

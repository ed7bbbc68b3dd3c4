#pragma once

// What the constant dictionaries share: where a dictionary document keeps its
// entries, which entries count, and the two ways their numbers are written.

#include <cstdint>
#include <functional>
#include <string>

class TiXmlElement;
class TiXmlNode;

// The element Root.Template of a dictionary document, or null (also for a null
// document).
const TiXmlElement* dictionary_entries(const TiXmlNode* document);

// Calls `use` for each child element of `parent` (any tag, in order) that has both
// attributes "id" and "text"; other children are not used. A null parent has none.
using DictionaryEntryUse =
    std::function<void(const TiXmlElement& entry, const std::string& id, const std::string& text)>;
void for_each_dictionary_entry(const TiXmlElement* parent, const DictionaryEntryUse& use);

// The attribute's value, or "" when it is missing.
std::string dictionary_attribute(const TiXmlElement& entry, const char* name);

// Decimal with an optional sign, up to the first other character; 0 when no digit
// comes first. Wraps modulo 2^32 as the shell's conversion does.
int32_t str_to_int_a(const std::string& text);

// "0x" followed by hexadecimal digits, else decimal (32-bit strtoul rules).
int32_t dictionary_number(const std::string& text);

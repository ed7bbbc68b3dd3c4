#include "dictionaries/DictionaryEntries.h"

#include <tinyxml.h>

#include "base/StringHelpers.h"
#include "base/XmlHelpers.h"

const TiXmlElement* dictionary_entries(const TiXmlNode* document)
{
    return document != nullptr ? xml_find_path_c(document, "Root.Template") : nullptr;
}

void for_each_dictionary_entry(const TiXmlElement* parent, const DictionaryEntryUse& use)
{
    if (parent == nullptr)
        return;
    for (const TiXmlElement* entry = parent->FirstChildElement(); entry; entry = entry->NextSiblingElement()) {
        const char* id = entry->Attribute("id");
        const char* text = entry->Attribute("text");
        if (id != nullptr && text != nullptr)
            use(*entry, id, text);
    }
}

std::string dictionary_attribute(const TiXmlElement& entry, const char* name)
{
    const char* value = entry.Attribute(name);
    return value != nullptr ? std::string(value) : std::string();
}

int32_t str_to_int_a(const std::string& text)
{
    size_t position = 0;
    bool negative = false;
    if (position < text.size() && (text[position] == '-' || text[position] == '+')) {
        negative = text[position] == '-';
        ++position;
    }
    uint32_t value = 0;
    for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position)
        value = value * 10u + static_cast<uint32_t>(text[position] - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

int32_t dictionary_number(const std::string& text)
{
    return static_cast<int32_t>(text_to_uint(text));
}

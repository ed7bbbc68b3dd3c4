#include "ParameterDictionary.h"

#include <tinyxml.h>

#include "CMS_ContainerXml.h"
#include "DictionaryEntries.h"

void ParameterDictionary::Load(const CMS_ContainerXml& container)
{
    LoadDocument(container.FindByType(m_type).get());
}

void ParameterDictionary::LoadDocument(const TiXmlNode* document)
{
    m_texts.clear();
    m_parameters.clear();
    const TiXmlElement* entries = dictionary_entries(document);
    if (entries == nullptr)
        return;
    std::string id;
    std::string text;
    for (const TiXmlElement* entry = entries->FirstChildElement(); entry; entry = entry->NextSiblingElement()) {
        if (!dictionary_entry(entry, id, text))
            continue;
        const int32_t entry_id = dictionary_number(id);
        m_texts[entry_id] = text;
        // A repeated entry replaces the earlier one whole, its values included.
        m_parameters.erase(entry_id);
        const TiXmlElement* lookup = entry->FirstChildElement("ParameterLookup");
        if (lookup == nullptr)
            continue;
        Lookup& values = m_parameters[entry_id];
        for (const TiXmlElement* value = lookup->FirstChildElement(); value; value = value->NextSiblingElement()) {
            if (dictionary_entry(value, id, text))
                values[str_to_int_a(id)] = text;
        }
    }
}

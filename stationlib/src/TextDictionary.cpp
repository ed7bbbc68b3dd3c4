#include "TextDictionary.h"

#include <tinyxml.h>

#include "CMS_ContainerXml.h"
#include "DictionaryEntries.h"

void TextDictionary::Load(const CMS_ContainerXml& container)
{
    LoadDocument(container.FindByType(m_type).get());
}

void TextDictionary::LoadDocument(const TiXmlNode* document)
{
    m_texts.clear();
    const TiXmlElement* entries = dictionary_entries(document);
    if (entries == nullptr)
        return;
    std::string id;
    std::string text;
    for (const TiXmlElement* entry = entries->FirstChildElement(); entry; entry = entry->NextSiblingElement()) {
        if (dictionary_entry(entry, id, text))
            m_texts[str_to_int_a(id)] = text;
    }
}

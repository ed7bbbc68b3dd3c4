#include "CodeDictionary.h"

#include <tinyxml.h>

#include "CMS_ContainerXml.h"
#include "DictionaryEntries.h"

void CodeDictionary::Load(const CMS_ContainerXml& container)
{
    LoadDocument(container.FindByType(m_type).get());
}

void CodeDictionary::LoadDocument(const TiXmlNode* document)
{
    m_texts.clear();
    m_priorities.clear();
    const TiXmlElement* entries = dictionary_entries(document);
    if (entries == nullptr)
        return;
    std::string id;
    std::string text;
    for (const TiXmlElement* entry = entries->FirstChildElement(); entry; entry = entry->NextSiblingElement()) {
        if (!dictionary_entry(entry, id, text))
            continue;
        const int32_t code = dictionary_number(id);
        m_texts[code] = text;
        m_priorities[static_cast<uint8_t>(code)] = dictionary_number(dictionary_attribute(entry, "priority"));
    }
}

std::string CodeDictionary::GetText(int32_t id) const
{
    auto found = m_texts.find(id);
    return found != m_texts.end() ? found->second : std::string();
}

#include "dictionaries/CodeDictionary.h"

#include "dictionaries/DictionaryEntries.h"

void CodeDictionary::Load(const TiXmlNode* document)
{
    m_texts.clear();
    m_priorities.clear();
    for_each_dictionary_entry(dictionary_entries(document),
                              [this](const TiXmlElement& entry, const std::string& id, const std::string& text) {
                                  const int32_t code = dictionary_number(id);
                                  m_texts[code] = text;
                                  m_priorities[static_cast<uint8_t>(code)] =
                                      dictionary_number(dictionary_attribute(entry, "priority"));
                              });
}

std::string CodeDictionary::GetText(int32_t id) const
{
    auto found = m_texts.find(id);
    return found != m_texts.end() ? found->second : std::string();
}

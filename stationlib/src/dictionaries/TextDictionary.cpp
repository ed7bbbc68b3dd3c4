#include "dictionaries/TextDictionary.h"

#include "dictionaries/DictionaryEntries.h"

void TextDictionary::Load(const TiXmlNode* document)
{
    m_texts.clear();
    for_each_dictionary_entry(dictionary_entries(document),
                              [this](const TiXmlElement&, const std::string& id, const std::string& text) {
                                  m_texts[str_to_int_a(id)] = text;
                              });
}

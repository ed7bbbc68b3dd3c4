#include "dictionaries/ParameterDictionary.h"

#include <tinyxml.h>

#include "dictionaries/DictionaryEntries.h"

void ParameterDictionary::Load(const TiXmlNode* document)
{
    m_texts.clear();
    m_parameters.clear();
    for_each_dictionary_entry(
        dictionary_entries(document), [this](const TiXmlElement& entry, const std::string& id, const std::string& text) {
            const int32_t entry_id = dictionary_number(id);
            m_texts[entry_id] = text;
            // A repeated entry replaces the earlier one whole, its values included.
            m_parameters.erase(entry_id);
            const TiXmlElement* lookup = entry.FirstChildElement("ParameterLookup");
            if (lookup == nullptr)
                return;
            Lookup& values = m_parameters[entry_id];
            for_each_dictionary_entry(lookup,
                                      [&values](const TiXmlElement&, const std::string& value_id,
                                                const std::string& value_text) {
                                          values[str_to_int_a(value_id)] = value_text;
                                      });
        });
}

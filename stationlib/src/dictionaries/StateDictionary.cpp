#include "dictionaries/StateDictionary.h"

#include <utility>

#include "dictionaries/DictionaryEntries.h"

namespace {

// Bit numbers run from 1 to 31; anything else names no bit.
bool state_bit(int32_t number, uint32_t& bit)
{
    if (number < 1 || number > 31)
        return false;
    bit = 1u << (number - 1);
    return true;
}

} // namespace

void StateDictionary::Load(const TiXmlNode* document)
{
    m_entries.clear();
    for_each_dictionary_entry(
        dictionary_entries(document), [this](const TiXmlElement& node, const std::string& id, const std::string& text) {
            Entry entry;
            entry.text = text;
            entry.priority = dictionary_number(dictionary_attribute(node, "priority"));
            for_each_dictionary_entry(&node, [&entry](const TiXmlElement& sub, const std::string& sub_id,
                                                      const std::string& sub_text) {
                SubEntry sub_entry;
                sub_entry.text = sub_text;
                sub_entry.priority = dictionary_number(dictionary_attribute(sub, "priority"));
                // A missing s0 or s1 reads as 0, which names no bit.
                sub_entry.s0 = str_to_int_a(dictionary_attribute(sub, "s0"));
                sub_entry.s1 = str_to_int_a(dictionary_attribute(sub, "s1"));
                entry.sub_entries[str_to_int_a(sub_id)] = sub_entry;
            });
            m_entries[dictionary_number(id)] = std::move(entry);
        });
}

void StateDictionary::GetMasks(int32_t entry_id, int32_t sub_id, uint32_t& clear_mask, uint32_t& set_mask) const
{
    clear_mask = 0xFFFFFFFFu;
    set_mask = 0;
    auto entry = m_entries.find(static_cast<uint16_t>(entry_id));
    if (entry == m_entries.end())
        return;
    auto sub = entry->second.sub_entries.find(sub_id);
    if (sub == entry->second.sub_entries.end())
        return;
    uint32_t bit = 0;
    if (state_bit(sub->second.s0, bit))
        clear_mask &= ~bit;
    if (state_bit(sub->second.s1, bit))
        set_mask |= bit;
}

#pragma once

#include <cstdint>
#include <map>
#include <string>

class TiXmlNode;

// The state dictionary: per state entry and sub-entry, the bits an event clears
// (s0) and sets (s1) in an object's extended state, numbered from 1.
class StateDictionary
{
public:
    struct SubEntry
    {
        std::string text;
        int32_t priority = 0;
        int32_t s0 = 0;
        int32_t s1 = 0;
    };

    struct Entry
    {
        std::string text;
        int32_t priority = 0;
        std::map<int32_t, SubEntry> sub_entries;
    };

    explicit StateDictionary(int32_t type) : m_type(type) {}

    int32_t GetType() const { return m_type; }

    // Empties the dictionary and fills it from the document of its type; a null
    // document leaves it empty.
    void Load(const TiXmlNode* document);

    // Clear mask all ones and set mask 0, then the bits of the sub-entry applied;
    // unchanged when the entry (its id cut to 16 bits) or sub-entry is missing.
    void GetMasks(int32_t entry_id, int32_t sub_id, uint32_t& clear_mask, uint32_t& set_mask) const;

    const std::map<int32_t, Entry>& GetEntries() const { return m_entries; }

private:
    int32_t m_type;
    std::map<int32_t, Entry> m_entries;
};

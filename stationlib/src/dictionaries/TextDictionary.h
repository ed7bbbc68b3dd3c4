#pragma once

#include <cstdint>
#include <map>
#include <string>

class TiXmlNode;

// A constant dictionary of plain texts by id, built from the station document of
// its type.
class TextDictionary
{
public:
    explicit TextDictionary(int32_t type) : m_type(type) {}

    int32_t GetType() const { return m_type; }

    // Empties the dictionary and fills it from the document of its type; a null
    // document leaves it empty.
    void Load(const TiXmlNode* document);

    const std::map<int32_t, std::string>& GetTexts() const { return m_texts; }

private:
    int32_t m_type;
    std::map<int32_t, std::string> m_texts;
};

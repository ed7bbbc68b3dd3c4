#pragma once

#include <cstdint>
#include <map>
#include <string>

class TiXmlNode;

// The parameter dictionary: a text per parameter kind, and per kind the texts of
// its values (the entry's "ParameterLookup" children).
class ParameterDictionary
{
public:
    using Lookup = std::map<int32_t, std::string>;

    explicit ParameterDictionary(int32_t type) : m_type(type) {}

    int32_t GetType() const { return m_type; }

    // Empties the dictionary and fills it from the document of its type; a null
    // document leaves it empty.
    void Load(const TiXmlNode* document);

    const std::map<int32_t, std::string>& GetTexts() const { return m_texts; }
    const std::map<int32_t, Lookup>& GetParameters() const { return m_parameters; }

private:
    int32_t m_type;
    std::map<int32_t, std::string> m_texts;
    std::map<int32_t, Lookup> m_parameters;
};

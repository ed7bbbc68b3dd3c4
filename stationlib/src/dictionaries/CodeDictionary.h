#pragma once

#include <cstdint>
#include <map>
#include <string>

class TiXmlNode;

// The dictionary of event data codes: a text per code, and a priority kept under
// the code's low byte.
class CodeDictionary
{
public:
    explicit CodeDictionary(int32_t type) : m_type(type) {}

    int32_t GetType() const { return m_type; }

    // Empties the dictionary and fills it from the document of its type; a null
    // document leaves it empty.
    void Load(const TiXmlNode* document);

    // The text of the code, or "" when there is none.
    std::string GetText(int32_t id) const;

    const std::map<int32_t, std::string>& GetTexts() const { return m_texts; }
    const std::map<uint8_t, int32_t>& GetPriorities() const { return m_priorities; }

private:
    int32_t m_type;
    std::map<int32_t, std::string> m_texts;
    std::map<uint8_t, int32_t> m_priorities;
};

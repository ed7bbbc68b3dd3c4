#pragma once

#include <cstdint>
#include <map>
#include <string>

class CMS_ContainerXml;
class TiXmlNode;

// The parameter dictionary: a text per parameter kind, and per kind the texts of
// its values (the entry's "ParameterLookup" children).
class ParameterDictionary
{
public:
    using Lookup = std::map<int32_t, std::string>;

    explicit ParameterDictionary(int32_t type) : m_type(type) {}

    int32_t GetType() const { return m_type; }

    void Load(const CMS_ContainerXml& container);
    void LoadDocument(const TiXmlNode* document);

    const std::map<int32_t, std::string>& GetTexts() const { return m_texts; }
    const std::map<int32_t, Lookup>& GetParameters() const { return m_parameters; }

private:
    int32_t m_type;
    std::map<int32_t, std::string> m_texts;
    std::map<int32_t, Lookup> m_parameters;
};

#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dictionaries/CMS_ContainerXml.h"
#include "dictionaries/CodeDictionary.h"
#include "dictionaries/ParameterDictionary.h"
#include "dictionaries/StateDictionary.h"
#include "dictionaries/TextDictionary.h"
#include "threads/CCritSect.h"

// The station's constant dictionaries: the documents of request 194 and the
// thirteen dictionaries built from them after each successful fill.
class CMS_ConstDictionaries : public CMS_ContainerXml
{
public:
    // The thirteen dictionaries, built together and replaced together, so a reader
    // sees one complete generation.
    struct Dictionaries
    {
        Dictionaries();

        // Plain text dictionaries of types 6, 11, 10, 9, 3, 14, 13, 5, 12 and 7.
        std::vector<TextDictionary> texts;
        ParameterDictionary parameters;
        StateDictionary states;
        CodeDictionary codes;

        // The text dictionary of the type, or null.
        const TextDictionary* FindText(int32_t type) const;
    };

    static constexpr int32_t kParameterType = 2;
    static constexpr int32_t kStateType = 4;
    static constexpr int32_t kCodeType = 8;

    CMS_ConstDictionaries();

    // Rebuilds all thirteen dictionaries from the documents held now.
    void Load() override;

    // The code dictionary's text for a code byte, or "".
    std::string GetText(uint8_t code) const;
    // See StateDictionary::GetMasks.
    void GetStateMasks(int32_t entry_id, int32_t sub_id, uint32_t& clear_mask, uint32_t& set_mask) const;

    // The current generation; it stays valid and unchanged after a rebuild.
    std::shared_ptr<const Dictionaries> GetDictionaries() const;

private:
    mutable CCritSect m_dictionariesLock;
    std::shared_ptr<const Dictionaries> m_dictionaries;
    // Rebuilds run one at a time, so the last one reads the last documents.
    CCritSect m_rebuildLock;
};

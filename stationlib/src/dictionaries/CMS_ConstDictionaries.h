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
    static constexpr int32_t kParameterType = 2;
    static constexpr int32_t kStateType = 4;
    static constexpr int32_t kCodeType = 8;

    // The thirteen dictionaries, built together and replaced together, so a reader
    // sees one complete generation. Members are built in this order of types and
    // destroyed in reverse: 6, 11, 10, 9, 2, 3, 4, 14, 13, 5, 12, 8, 7.
    struct Dictionaries
    {
        TextDictionary text6{6};
        TextDictionary text11{11};
        TextDictionary text10{10};
        TextDictionary text9{9};
        ParameterDictionary parameters{kParameterType};
        TextDictionary text3{3};
        StateDictionary states{kStateType};
        TextDictionary text14{14};
        TextDictionary text13{13};
        TextDictionary text5{5};
        TextDictionary text12{12};
        CodeDictionary codes{kCodeType};
        TextDictionary text7{7};

        // The text dictionary of the type, or null.
        const TextDictionary* FindText(int32_t type) const;
        TextDictionary* FindText(int32_t type);
    };

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

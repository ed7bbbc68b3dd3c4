#include "dictionaries/CMS_ConstDictionaries.h"

#include <utility>
#include <vector>

#include <tinyxml.h>

#include "threads/CCritSectLock.h"

namespace {

using Dictionaries = CMS_ConstDictionaries::Dictionaries;

TextDictionary Dictionaries::*const kTextDictionaries[] = {
    &Dictionaries::text6,  &Dictionaries::text11, &Dictionaries::text10, &Dictionaries::text9, &Dictionaries::text3,
    &Dictionaries::text14, &Dictionaries::text13, &Dictionaries::text5,  &Dictionaries::text12, &Dictionaries::text7,
};
const int32_t kLoadOrder[] = {3, 2, 4, 5, 13, 14, 6, 8, 7, 10, 9, 11, 12};

} // namespace

const TextDictionary* CMS_ConstDictionaries::Dictionaries::FindText(int32_t type) const
{
    for (TextDictionary Dictionaries::*member : kTextDictionaries) {
        if ((this->*member).GetType() == type)
            return &(this->*member);
    }
    return nullptr;
}

TextDictionary* CMS_ConstDictionaries::Dictionaries::FindText(int32_t type)
{
    return const_cast<TextDictionary*>(static_cast<const Dictionaries*>(this)->FindText(type));
}

CMS_ConstDictionaries::CMS_ConstDictionaries() : m_dictionaries(std::make_shared<Dictionaries>())
{
}

void CMS_ConstDictionaries::Load()
{
    CCritSectLock rebuild(m_rebuildLock);
    // One document set for the whole generation, whatever refill comes meanwhile.
    const std::vector<Document> documents = GetDocuments();
    auto document_of = [&documents](int32_t type) { return FindFirstOfType(documents, type).get(); };
    auto fresh = std::make_shared<Dictionaries>();
    for (int32_t type : kLoadOrder) {
        switch (type) {
        case kParameterType:
            fresh->parameters.Load(document_of(type));
            break;
        case kStateType:
            fresh->states.Load(document_of(type));
            break;
        case kCodeType:
            fresh->codes.Load(document_of(type));
            break;
        default:
            fresh->FindText(type)->Load(document_of(type));
            break;
        }
    }
    std::shared_ptr<const Dictionaries> old;
    {
        CCritSectLock lock(m_dictionariesLock);
        old = std::exchange(m_dictionaries, std::move(fresh));
    }
    // The old generation is freed here, outside the lock, unless a reader still holds it.
}

std::string CMS_ConstDictionaries::GetText(uint8_t code) const
{
    return GetDictionaries()->codes.GetText(code);
}

void CMS_ConstDictionaries::GetStateMasks(int32_t entry_id, int32_t sub_id, uint32_t& clear_mask,
                                          uint32_t& set_mask) const
{
    GetDictionaries()->states.GetMasks(entry_id, sub_id, clear_mask, set_mask);
}

std::shared_ptr<const CMS_ConstDictionaries::Dictionaries> CMS_ConstDictionaries::GetDictionaries() const
{
    CCritSectLock lock(m_dictionariesLock);
    return m_dictionaries;
}

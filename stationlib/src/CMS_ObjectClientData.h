#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ClientSettingsValues.h"
#include "CObjectStoreXmlHelper.h"
#include "RecordFieldTable.h"

// A client (a contact person) of an object; the values from Settings come with
// ClientSettingsValues.
class CMS_ObjectClientData : public CObjectStoreXmlHelper, public ClientSettingsValues
{
public:
    CMS_ObjectClientData() = default;
    CMS_ObjectClientData(const CMS_ObjectClientData& other);

    bool Load(CFieldArchive* archive, int flag) override;
    bool Save(CFieldArchive* archive) const override;
    std::unique_ptr<CObjectStoreXmlHelper> CreateNew() const override;
    std::string GetStoreFileName() const override;

    int32_t ID = 0;
    int32_t Number = 0;
    int32_t ObjectID = 0;
    int32_t Type = 0;
    int32_t Flags = 0;
    std::string Name;
    std::string Settings;
    int32_t State = 0;  // dynamic

private:
    static const RecordFields<CMS_ObjectClientData>& Fields();
    void ReadSettingsValues();
};

#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CObjectStoreXmlHelper.h"
#include "RecordFieldTable.h"

// A group of objects, the station's top level of the guarded world.
class CMS_ObjectGroupData : public CObjectStoreXmlHelper
{
public:
    CMS_ObjectGroupData() = default;
    CMS_ObjectGroupData(const CMS_ObjectGroupData& other);

    bool Load(CFieldArchive* archive, int flag) override;
    bool Save(CFieldArchive* archive) const override;
    std::unique_ptr<CObjectStoreXmlHelper> CreateNew() const override;
    std::string GetStoreFileName() const override;

    int32_t ID = 0;
    int32_t Type = 0;
    std::string Name;
    std::string Descr;
    std::string Settings;
    int32_t AutoProcess = 0;
    int32_t ServerID = 0;
    int32_t Number = 0;
    int32_t ExternalNumber = 0;
    int32_t OriginServerId = -1;
    int32_t UserId = 0;

    // Memory only.
    int32_t ExtraValue = -1;

private:
    static const RecordFields<CMS_ObjectGroupData>& Fields();
};

#pragma once

#include <cstdint>
#include <string>

#include "archive/FieldTableRecord.h"

// A group of objects, the station's top level of the guarded world.
class CMS_ObjectGroupData : public FieldTableRecord<CMS_ObjectGroupData>
{
public:
    CMS_ObjectGroupData() = default;
    CMS_ObjectGroupData(const CMS_ObjectGroupData& other);

    std::string GetStoreFileName() const override;

    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_ObjectGroupData>& Fields();

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
};

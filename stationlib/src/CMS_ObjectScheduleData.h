#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CObjectStoreXmlHelper.h"
#include "RecordFieldTable.h"
#include "StringHelpers.h"

// A schedule entry of an object.
class CMS_ObjectScheduleData : public CObjectStoreXmlHelper
{
public:
    CMS_ObjectScheduleData();
    CMS_ObjectScheduleData(const CMS_ObjectScheduleData& other);

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
    PackedDateTime Time{};
    int32_t DayOfWeek = 0;
    int32_t State = 0;  // dynamic

private:
    static const RecordFields<CMS_ObjectScheduleData>& Fields();
};

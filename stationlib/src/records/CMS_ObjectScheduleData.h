#pragma once

#include <cstdint>
#include <string>

#include "archive/FieldTableRecord.h"
#include "base/StringHelpers.h"

// A schedule entry of an object.
class CMS_ObjectScheduleData : public FieldTableRecord<CMS_ObjectScheduleData>
{
public:
    CMS_ObjectScheduleData();
    CMS_ObjectScheduleData(const CMS_ObjectScheduleData& other);

    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_ObjectScheduleData>& Fields();

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
};

#pragma once

#include <cstdint>
#include <string>

#include "archive/FieldTableRecord.h"
#include "base/StringHelpers.h"

// A duty shift of the station's operators.
class CMS_ShiftData : public FieldTableRecord<CMS_ShiftData>
{
public:
    CMS_ShiftData();
    CMS_ShiftData(const CMS_ShiftData& other);

    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_ShiftData>& Fields();

    int32_t ID = 0;
    int32_t State = 0;
    int32_t Number = 0;
    int32_t UserID = 0;
    std::string Descr;
    PackedDateTime StartTime{};
    PackedDateTime EndTime{};
};

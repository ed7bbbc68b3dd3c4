#pragma once

#include <cstdint>
#include <string>

#include "archive/FieldTableRecord.h"

// A pin (an input or output line) of an object.
class CMS_ObjectPinData : public FieldTableRecord<CMS_ObjectPinData>
{
public:
    CMS_ObjectPinData() = default;
    CMS_ObjectPinData(const CMS_ObjectPinData& other);

    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_ObjectPinData>& Fields();

    int32_t ID = 0;
    int32_t ObjectID = 0;
    int32_t Index = 0;
    int32_t Type = 1;
    int32_t Flags = 2;
    std::string Name;
    std::string inExpr;
    std::string outExpr;
    std::string Settings;
    // Dynamic: a refresh keeps these.
    int32_t State = 0;
    int32_t DynamicState = 0;
    std::string Value;
    int32_t OriginServerId = -1;
};

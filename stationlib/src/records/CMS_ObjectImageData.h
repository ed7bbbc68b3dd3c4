#pragma once

#include <cstdint>
#include <string>

#include "archive/FieldTableRecord.h"

// An image of an object (a plan or a photo) with its data block.
class CMS_ObjectImageData : public FieldTableRecord<CMS_ObjectImageData>
{
public:
    CMS_ObjectImageData() = default;

    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_ObjectImageData>& Fields();

    int32_t ID = 0;
    int32_t Number = 0;
    int32_t ObjectID = 0;
    int32_t Type = 0;
    int32_t Flags = 0;
    std::string Name;
    std::string Descr;
    std::string Settings;
    std::string Objects;
    int32_t DataSize = 0;
    RecordBlock Data;
};

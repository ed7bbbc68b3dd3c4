#pragma once

#include <cstdint>
#include <string>

#include "archive/FieldTableRecord.h"
#include "base/StringHelpers.h"

// One result of a device test; the record carries no StructVer.
class CMS_DeviceTest : public FieldTableRecord<CMS_DeviceTest>
{
public:
    CMS_DeviceTest() = default;

    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_DeviceTest>& Fields();

    PackedDateTime CreateTime{};
    int32_t ChannelId = 0;
    int32_t ChannelNet = 0;
    int32_t InfoValue = 0;
};

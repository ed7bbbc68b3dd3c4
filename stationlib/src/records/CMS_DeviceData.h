#pragma once

#include <cstdint>
#include <string>

#include "archive/FieldTableRecord.h"
#include "base/StringHelpers.h"

// A device (a panel or transmitter) of the station.
class CMS_DeviceData : public FieldTableRecord<CMS_DeviceData>
{
public:
    CMS_DeviceData();
    // Member by member, the changed flag included.
    CMS_DeviceData(const CMS_DeviceData& other) = default;
    CMS_DeviceData& operator=(const CMS_DeviceData& other) = default;

    std::string GetStoreFileName() const override;
    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_DeviceData>& Fields();

    // Set by the device cache when Type, Number or Name changed.
    void SetChanged(uint8_t changed) { Changed = changed; }

    int32_t ID = 0;
    int32_t Number = 0;
    int32_t Type = 1000;
    int32_t Flags = 0;
    std::string Name;
    std::string Descr;
    std::string Password;
    std::string Settings;
    std::string Info;
    std::string SignalInfo;
    int32_t DataSize = 0;
    RecordBlock Data;
    // Dynamic: a refresh keeps these.
    int32_t State = 0;
    PackedDateTime CaptureDateTime{};
    int32_t OriginServerId = -1;
    int32_t UserId = 0;

    // Memory only.
    uint8_t Changed = 0;
};

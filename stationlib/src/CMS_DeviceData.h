#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CObjectStoreXmlHelper.h"
#include "RecordFieldTable.h"
#include "StringHelpers.h"

// A device (a panel or transmitter) of the station.
class CMS_DeviceData : public CObjectStoreXmlHelper
{
public:
    CMS_DeviceData();
    // Member by member, the changed flag included.
    CMS_DeviceData(const CMS_DeviceData& other) = default;
    CMS_DeviceData& operator=(const CMS_DeviceData& other) = default;

    bool Load(CFieldArchive* archive, int flag) override;
    bool Save(CFieldArchive* archive) const override;
    std::unique_ptr<CObjectStoreXmlHelper> CreateNew() const override;
    std::string GetStoreFileName() const override;

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

private:
    static const RecordFields<CMS_DeviceData>& Fields();
};

#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "archive/FieldTableRecord.h"
#include "base/StringHelpers.h"

// An event's Type: the kind of element it concerns.
constexpr int16_t kObjectEvent = 2;
constexpr int16_t kSensorEvent = 3;
constexpr int16_t kPinEvent = 4;

// One event of the station: an alarm, a guard change, a fault, a service message.
// It has no dynamic fields, so the load flag changes nothing.
class CMS_SimpleEventData : public FieldTableRecord<CMS_SimpleEventData>
{
public:
    CMS_SimpleEventData() = default;

    std::string GetStoreFileName() const override;
    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_SimpleEventData>& Fields();

    // AssignFrom and, when that succeeds, the memory-only values too.
    bool CopyFrom(const CMS_SimpleEventData* other);
    // A fresh zero-filled block of n bytes; false (no block, size 0) when n is
    // negative or the block cannot be allocated.
    bool SetDataSize(int32_t n);
    void FreeData();

    // Whether the event is applied to the cached object's state.
    bool IsStateEvent() const;
    // Events applied to the object but kept out of its history.
    bool SkipsObjectHistory() const;

    PackedDateTime DateTime{};
    PackedDateTime CreateDateTime{};
    int32_t ID = 0;
    int16_t Type = -1;  // 2 object event, 3 sensor event, 4 pin event
    int16_t SubType = -1;
    int32_t DeviceID = 0;
    int32_t ObjectID = 0;
    int32_t ObjectGroupID = 0;
    int32_t MessageID = 0;
    std::string Info;
    int32_t ObjectState = 0;
    int32_t ObjectStateChange = 0;
    uint8_t SourceType = 0;
    int16_t SourceID = 0;
    int16_t ChannelID = 0;
    int16_t ChannelNet = 0;
    int16_t ServerID = -1;
    int16_t DeviceAddress = -1;
    int16_t Partition = -1;
    int32_t DeviceNumber = -1;
    int32_t ObjectNumber = -1;
    int16_t SensorNumber = -1;
    int16_t PinNumber = -1;
    int16_t KeyNumber = -1;
    int32_t ShiftID = 0;
    // A full int32, so a block beyond 32,767 bytes keeps its true size.
    int32_t DataSize = 0;
    RecordBlock Data;

    // Not serialised; they travel only with CopyFrom.
    std::array<int32_t, 3> LocalValues{};
};

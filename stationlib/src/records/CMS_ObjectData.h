#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "archive/FieldTableRecord.h"
#include "base/StringHelpers.h"
#include "records/CMS_SimpleEventData.h"

// A guarded object of the station, with the state events set on it and its
// recent events, newest first.
class CMS_ObjectData : public FieldTableRecord<CMS_ObjectData>
{
public:
    using EventHistory = std::deque<std::unique_ptr<CMS_SimpleEventData>>;

    CMS_ObjectData();
    // Member by member; the copy starts with an empty history and unset run-time slots.
    CMS_ObjectData(const CMS_ObjectData& other);
    CMS_ObjectData& operator=(const CMS_ObjectData&) = delete;
    ~CMS_ObjectData() override;

    std::string GetStoreFileName() const override;
    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_ObjectData>& Fields();

    // A copy of the event goes to the front; the oldest go when the history holds
    // max(limit, 1) events already.
    bool AddEvent(const CMS_SimpleEventData* event, int limit);
    // Guard subtypes 27 to 33 set the guard state 1 to 7 with its change flag.
    // Always true.
    bool ApplyGuardSubType(int32_t subtype);
    // For a sensor event: the dictionaries' masks of (3, SubType) applied to StEx.
    bool ApplyStateMasks(const CMS_SimpleEventData* event);
    // StEx = (StEx AND keep) OR set, written into Settings; false when unchanged.
    // With the flag, the changed bits gather in StExMask and State's bit 28 is set.
    bool UpdateStEx(uint32_t keep, uint32_t set, int flag);
    void ClearEvents();

    const EventHistory& GetEvents() const { return m_events; }

    int32_t ID = 0;
    int32_t Group = 0;  // object group ID
    int32_t Number = 0;
    int32_t ExternalNumber = 0;
    int32_t DeviceID = 0;
    int32_t Partition = 0;
    int32_t Type = 0;
    int32_t Flags = 0;
    int32_t LiveTimeout = 0;
    int32_t ScheduleInterval = 0;
    std::string Name;
    std::string Descr;
    std::string GBR;
    std::string Password;
    std::string Settings;
    std::string GUID;
    int32_t DataSize = 0;
    RecordBlock Data;
    // Dynamic: a refresh keeps these as events set them.
    int32_t State = 0;  // low byte the guard state, bits 16 and up change flags
    int32_t StateMask = 0;
    int32_t DynamicState = 0;
    int32_t MessageID = 0;
    int32_t Key = -1;
    PackedDateTime CaptureDateTime{};
    int32_t OriginServerId = -1;
    int32_t UserId = 0;

    // Taken from Settings on every Load, kept in memory only.
    double Lat = 0.0;
    double Lon = 0.0;
    bool CanMove = false;
    bool Livi = false;
    bool GuardBlk = false;
    int32_t SubLabel = -1;
    int32_t StEx = 0;
    int32_t StExMask = 0;

    // Memory only: set back to -1 by every copy and by every Load that gets past
    // CaptureDateTime.
    std::array<int32_t, 3> RunTimeSlots{{-1, -1, -1}};
    // Memory only, copied with the object.
    std::array<int32_t, 2> ExtraValues{{-1, -1}};

private:
    void ReadSettingsValues();
    void ResetRunTimeSlots();

    EventHistory m_events;
};

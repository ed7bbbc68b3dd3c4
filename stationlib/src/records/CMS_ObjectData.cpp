#include "records/CMS_ObjectData.h"

#include <algorithm>

#include "dictionaries/CMS_ConstDictionaries.h"
#include "dictionaries/LibraryGlobals.h"

namespace {

constexpr int32_t kFirstGuardSubType = 27;
constexpr int32_t kLastGuardSubType = 33;
constexpr int32_t kGuardChangeFlag = 0x10000;
constexpr int32_t kStExChangeFlag = 0x10000000;

} // namespace

CMS_ObjectData::CMS_ObjectData() : GUID(new_guid_string()), CaptureDateTime(packed_local_now()) {}

CMS_ObjectData::CMS_ObjectData(const CMS_ObjectData& other)
    : FieldTableRecord(other),
      ID(other.ID),
      Group(other.Group),
      Number(other.Number),
      ExternalNumber(other.ExternalNumber),
      DeviceID(other.DeviceID),
      Partition(other.Partition),
      Type(other.Type),
      Flags(other.Flags),
      LiveTimeout(other.LiveTimeout),
      ScheduleInterval(other.ScheduleInterval),
      Name(other.Name),
      Descr(other.Descr),
      GBR(other.GBR),
      Password(other.Password),
      Settings(other.Settings),
      GUID(other.GUID),
      DataSize(other.DataSize),
      Data(other.Data),
      State(other.State),
      StateMask(other.StateMask),
      DynamicState(other.DynamicState),
      MessageID(other.MessageID),
      Key(other.Key),
      CaptureDateTime(other.CaptureDateTime),
      OriginServerId(other.OriginServerId),
      UserId(other.UserId),
      Lat(other.Lat),
      Lon(other.Lon),
      CanMove(other.CanMove),
      Livi(other.Livi),
      GuardBlk(other.GuardBlk),
      SubLabel(other.SubLabel),
      StEx(other.StEx),
      StExMask(other.StExMask),
      ExtraValues(other.ExtraValues)
{
    // RunTimeSlots keep their -1 and the history starts empty.
}

CMS_ObjectData::~CMS_ObjectData() = default;

const RecordFields<CMS_ObjectData>& CMS_ObjectData::Fields()
{
    using F = RecordField<CMS_ObjectData>;
    using R = CMS_ObjectData;
    static const RecordField<R> rows[] = {
        F::Version(),
        F::Int("ID", &R::ID),
        F::Int("Group", &R::Group),
        F::Int("Number", &R::Number),
        F::Int("ExternalNumber", &R::ExternalNumber),
        F::Int("DeviceID", &R::DeviceID),
        F::Int("Partition", &R::Partition),
        F::Int("Type", &R::Type),
        F::Int("Flags", &R::Flags),
        F::Int("LiveTimeout", &R::LiveTimeout),
        F::Int("ScheduleInterval", &R::ScheduleInterval),
        F::Text("Name", &R::Name),
        F::Text("Descr", &R::Descr),
        F::Text("GBR", &R::GBR),
        F::Text("Password", &R::Password),
        F::Text("Settings", &R::Settings),
        F::Then(&R::ReadSettingsValues),
        F::Text("GUID", &R::GUID),
        F::Int("DataSize", &R::DataSize),
        F::Block("Data", &R::DataSize, &R::Data),
        F::Int("State", &R::State, kDynamic),
        F::Int("StateMask", &R::StateMask, kDynamic),
        F::Int("DynamicState", &R::DynamicState, kDynamic),
        F::Int("MessageID", &R::MessageID, kDynamic),
        F::Int("Key", &R::Key, kDynamic),
        F::Date("CaptureDateTime", &R::CaptureDateTime, kDynamic),
        F::Then(&R::ResetRunTimeSlots),
        F::Int("OriginServerId", &R::OriginServerId),
        F::Int("UserId", &R::UserId),
    };
    static const RecordFields<R> fields(rows);
    return fields;
}

std::string CMS_ObjectData::GetStoreFileName() const
{
    return StoreFileName("Objects", ID);
}

void CMS_ObjectData::ReadSettingsValues()
{
    Lat = text_to_double(settings_get(Settings, "Lat", std::string()));
    Lon = text_to_double(settings_get(Settings, "Lon", std::string()));
    CanMove = settings_get(Settings, "CanMove", "0") == "1";
    Livi = settings_get(Settings, "Livi", "0") == "1";
    GuardBlk = settings_get(Settings, "GuardBlk", std::string()) == "1";
    SubLabel = crt_atoi(settings_get(Settings, "SubLabel", "-1").c_str());
    StEx = crt_atoi(settings_get(Settings, "StEx", "0").c_str());
    StExMask = crt_atoi(settings_get(Settings, "StExMask", "0").c_str());
}

void CMS_ObjectData::ResetRunTimeSlots()
{
    RunTimeSlots.fill(-1);
}

bool CMS_ObjectData::AddEvent(const CMS_SimpleEventData* event, int limit)
{
    auto copy = std::make_unique<CMS_SimpleEventData>();
    if (!copy->CopyFrom(event))
        return false;
    const size_t capacity = static_cast<size_t>(std::max(limit, 1));
    while (m_events.size() >= capacity)
        m_events.pop_back();
    m_events.push_front(std::move(copy));
    return true;
}

bool CMS_ObjectData::ApplyGuardSubType(int32_t subtype)
{
    if (subtype < kFirstGuardSubType || subtype > kLastGuardSubType)
        return true;
    const int32_t guard = subtype - kFirstGuardSubType + 1;
    if ((State & 0xFF) != guard) {
        State = (State & ~0xFF) | guard | kGuardChangeFlag;
        StateMask = (StateMask & ~0xFF) | guard | kGuardChangeFlag;
    }
    return true;
}

bool CMS_ObjectData::ApplyStateMasks(const CMS_SimpleEventData* event)
{
    if (event == nullptr || event->Type != kSensorEvent)
        return false;
    uint32_t clear_mask = 0xFFFFFFFFu;
    uint32_t set_mask = 0;
    const_dictionaries().GetStateMasks(kSensorEvent, event->SubType, clear_mask, set_mask);
    // The clear mask has every bit set but those to clear: it is the keep mask.
    return UpdateStEx(clear_mask, set_mask, 1);
}

bool CMS_ObjectData::UpdateStEx(uint32_t keep, uint32_t set, int flag)
{
    const uint32_t old_value = static_cast<uint32_t>(StEx);
    const uint32_t new_value = (old_value & keep) | set;
    if (new_value == old_value)
        return false;
    if (flag != 0)
        StExMask = static_cast<int32_t>(static_cast<uint32_t>(StExMask) | (new_value ^ old_value));
    StEx = static_cast<int32_t>(new_value);
    settings_set(Settings, "StEx", int_to_text(StEx).c_str());
    settings_set(Settings, "StExMask", int_to_text(StExMask).c_str());
    if (flag != 0)
        State |= kStExChangeFlag;
    return true;
}

void CMS_ObjectData::ClearEvents()
{
    m_events.clear();
}

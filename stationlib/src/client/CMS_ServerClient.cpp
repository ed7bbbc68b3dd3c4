#include "client/CMS_ServerClient.h"

#include "base/StringHelpers.h"

#include <cstring>

namespace {

constexpr int32_t kItemStateRemovable = 2;
constexpr int32_t kGuardChangeFlag = 0x10000;
constexpr int32_t kDynamicKeyBit = 1 << 21;
constexpr int16_t kSourceKeyBit = 1 << 2;
// Two little-endian doubles, latitude then longitude.
constexpr size_t kCoordinatesSize = 2 * sizeof(double);

bool is_one_of(int32_t value, std::initializer_list<int32_t> values)
{
    for (int32_t v : values)
        if (v == value)
            return true;
    return false;
}

// The event's coordinates when its data holds both; a shorter block has none.
bool read_coordinates(const CMS_SimpleEventData& event, double& lat, double& lon)
{
    if (event.DataSize < static_cast<int32_t>(kCoordinatesSize) || event.Data.size() < kCoordinatesSize)
        return false;
    std::memcpy(&lat, event.Data.data(), sizeof lat);
    std::memcpy(&lon, event.Data.data() + sizeof lat, sizeof lon);
    return true;
}

// The event's data as text when it ends with a NUL, else "".
std::string data_text(const CMS_SimpleEventData& event)
{
    if (event.DataSize < 1 || event.Data.empty() || event.Data.size() < static_cast<size_t>(event.DataSize)
        || event.Data[static_cast<size_t>(event.DataSize) - 1] != 0)
        return std::string();
    return std::string(reinterpret_cast<const char*>(event.Data.data()));
}

// The steps of an event on its object. A coordinate event (sensor event of a
// numbered device, subtypes 88 to 90) ends after the coordinates.
void apply_event(CMS_ObjectData& object, const CMS_SimpleEventData& event, int historyLength)
{
    const int32_t subType = event.SubType;

    if (event.Type == kSensorEvent && event.DeviceNumber > 0 && is_one_of(subType, {88, 89, 90})) {
        double lat = 0.0;
        double lon = 0.0;
        if (subType != 90 && read_coordinates(event, lat, lon) && (lat != object.Lat || lon != object.Lon)) {
            settings_set(object.Settings, "Lat", double_to_text(lat).c_str());
            settings_set(object.Settings, "Lon", double_to_text(lon).c_str());
            object.Lat = lat;
            object.Lon = lon;
        }
        return;
    }

    int32_t change = 0;
    if (!(event.Type == kObjectEvent && (subType == 43 || subType == 44))) {
        change = object.State ^ event.ObjectState;
        object.State = event.ObjectState;
        object.StateMask = event.ObjectStateChange;
    }

    if (event.Type == kSensorEvent)
        object.ApplyStateMasks(&event);

    if (event.Type == kSensorEvent && event.DeviceNumber >= 0 && is_one_of(subType, {13, 14, 25, 31})) {
        if ((change & kGuardChangeFlag) != 0)
            object.CaptureDateTime = event.DateTime;
        settings_set(object.Settings, "who", data_text(event).c_str());
    }

    if (object.CanMove)
        object.ApplyGuardSubType(subType);

    if (event.Type == kObjectEvent) {
        if (subType == 25 || subType == 26) {
            if ((event.SourceID & kSourceKeyBit) != 0)
                object.DynamicState |= kDynamicKeyBit;
            else
                object.DynamicState &= ~kDynamicKeyBit;
        } else if (subType == 37) {
            settings_set(object.Settings, "GuardBlk", "1");
            object.GuardBlk = true;
        } else if (subType == 38) {
            settings_set(object.Settings, "GuardBlk", "");
            object.GuardBlk = false;
        }
    }

    if (event.KeyNumber >= 0)
        object.Key = event.KeyNumber;

    if (!event.SkipsObjectHistory())
        object.AddEvent(&event, historyLength);
}

template <class T>
int32_t id_of(const T& record)
{
    return record.ID;
}

auto has_id(int32_t id)
{
    return [id](const auto& record) { return record.ID == id; };
}

auto has_number(int32_t number)
{
    return [number](const auto& record) { return record.Number == number; };
}

auto change_nothing()
{
    return [](auto&, const auto&) {};
}

} // namespace

int32_t ApplyStateCommand(uint16_t command, int32_t state)
{
    switch (command) {
    case 0:
    case 4:
        return (state & ~2) | 1;
    case 1:
    case 5:
        return state & ~3;
    case 2:
    case 6:
        return state | 2;
    default:
        return state;
    }
}

// ---- Lookups -------------------------------------------------------------------

bool CMS_ServerClient::FindObjectByID(int32_t id, CMS_ObjectData& out, int32_t* index)
{
    return m_objects.CopyFirst(has_id(id), out, index);
}

bool CMS_ServerClient::FindObjectByNumber(int32_t number, CMS_ObjectData& out, int32_t* index)
{
    return m_objects.CopyFirst(has_number(number), out, index);
}

bool CMS_ServerClient::FindObjectByDeviceID(int32_t deviceId, CMS_ObjectData& out, int32_t* index)
{
    return m_objects.CopyFirst([deviceId](const CMS_ObjectData& o) { return o.DeviceID == deviceId; }, out, index);
}

bool CMS_ServerClient::FindDeviceByID(int32_t id, CMS_DeviceData& out, int32_t* index)
{
    return m_devices.CopyFirst(has_id(id), out, index);
}

bool CMS_ServerClient::FindDeviceByNumber(int32_t number, CMS_DeviceData& out, int32_t* index)
{
    return m_devices.CopyFirst(has_number(number), out, index);
}

bool CMS_ServerClient::FindGroupByID(int32_t id, CMS_ObjectGroupData& out, int32_t* index)
{
    return m_groups.CopyFirst(has_id(id), out, index);
}

bool CMS_ServerClient::FindGroupByNumber(int32_t number, CMS_ObjectGroupData& out, int32_t* index)
{
    return m_groups.CopyFirst(has_number(number), out, index);
}

bool CMS_ServerClient::GetObjectAt(int32_t index, CMS_ObjectData& out)
{
    return m_objects.CopyAt(index, out);
}

bool CMS_ServerClient::GetPinAt(int32_t index, CMS_ObjectPinData& out)
{
    return m_pins.CopyAt(index, out);
}

bool CMS_ServerClient::GetItemAt(int32_t index, StationItem& out)
{
    return m_items.CopyAt(index, out);
}

bool CMS_ServerClient::GetObjectHistory(int32_t objectId, RecordList<CMS_SimpleEventData>& out)
{
    return m_objects.WithFirst(has_id(objectId), nullptr, [&](CMS_ObjectData& object) {
        RecordList<CMS_SimpleEventData> copies;
        for (const auto& event : object.GetEvents()) {
            auto copy = std::make_unique<CMS_SimpleEventData>();
            if (!copy->CopyFrom(event.get()))
                return false;
            copies.push_back(std::move(copy));
        }
        out = std::move(copies);
        return true;
    });
}

int32_t CMS_ServerClient::GetObjectIDs(void* buffer, int32_t size)
{
    return m_objects.CopyKeys(id_of<CMS_ObjectData>, buffer, size);
}

int32_t CMS_ServerClient::GetDeviceIDs(void* buffer, int32_t size)
{
    return m_devices.CopyKeys(id_of<CMS_DeviceData>, buffer, size);
}

int32_t CMS_ServerClient::GetGroupIDs(void* buffer, int32_t size)
{
    return m_groups.CopyKeys(id_of<CMS_ObjectGroupData>, buffer, size);
}

int32_t CMS_ServerClient::GetObjectCount() { return m_objects.Count(); }
int32_t CMS_ServerClient::GetPinCount() { return m_pins.Count(); }
int32_t CMS_ServerClient::GetDeviceCount() { return m_devices.Count(); }
int32_t CMS_ServerClient::GetGroupCount() { return m_groups.Count(); }
int32_t CMS_ServerClient::GetItemCount() { return m_items.Count(); }
int32_t CMS_ServerClient::GetUserCount() { return m_users.Count(); }
int32_t CMS_ServerClient::GetPersonCount() { return m_persons.Count(); }

// ---- Emptying ------------------------------------------------------------------

void CMS_ServerClient::ClearObjects() { m_objects.Clear(); }
void CMS_ServerClient::ClearPins() { m_pins.Clear(); }
void CMS_ServerClient::ClearDevices() { m_devices.Clear(); }
void CMS_ServerClient::ClearGroups() { m_groups.Clear(); }
void CMS_ServerClient::ClearUsers() { m_users.Clear(); }
void CMS_ServerClient::ClearPersons() { m_persons.Clear(); }
void CMS_ServerClient::ClearItems() { m_items.Clear(); }

// ---- Added ---------------------------------------------------------------------

bool CMS_ServerClient::AddCachedObject(const CMS_ObjectData& object, int32_t* index)
{
    return m_objects.InsertByKey(object, id_of<CMS_ObjectData>, index);
}

bool CMS_ServerClient::AddCachedPin(const CMS_ObjectPinData& pin, int32_t* index)
{
    return m_pins.InsertByKey(pin, id_of<CMS_ObjectPinData>, index);
}

bool CMS_ServerClient::AddCachedDevice(const CMS_DeviceData& device, int32_t* index)
{
    return m_devices.InsertByKey(device, id_of<CMS_DeviceData>, index);
}

bool CMS_ServerClient::AddCachedGroup(const CMS_ObjectGroupData& group, int32_t* index)
{
    return m_groups.InsertByKey(group, id_of<CMS_ObjectGroupData>, index);
}

bool CMS_ServerClient::AddCachedItem(const StationItem& item, int32_t* index)
{
    return m_items.InsertByKey(item, id_of<StationItem>, index);
}

// ---- Removed -------------------------------------------------------------------

bool CMS_ServerClient::RemoveCachedObject(const CMS_ObjectData& object, int32_t* index)
{
    const int32_t id = object.ID;
    const bool removed = m_objects.RemoveAll(has_id(id), index) != 0;
    // The object's pins go whether or not the object was cached; the object
    // lock is released before the pin lock is taken.
    m_pins.RemoveAll([id](const CMS_ObjectPinData& pin) { return pin.ObjectID == id; }, nullptr);
    return removed;
}

bool CMS_ServerClient::RemoveCachedPin(const CMS_ObjectPinData& pin, int32_t* index)
{
    return m_pins.RemoveFirst(has_id(pin.ID), index);
}

bool CMS_ServerClient::RemoveCachedDevice(const CMS_DeviceData& device, int32_t* index)
{
    return m_devices.RemoveFirst(has_id(device.ID), index);
}

bool CMS_ServerClient::RemoveCachedGroup(const CMS_ObjectGroupData& group, int32_t* index)
{
    RemoveCachedObjectsOfGroup(group.ID);
    return m_groups.RemoveFirst(has_id(group.ID), index);
}

bool CMS_ServerClient::RemoveCachedItem(const StationItem& item, int32_t* index)
{
    // The station removes an item for good only in state 2; otherwise it stays.
    return m_items.RemoveFirst(has_id(item.ID), index,
                               [](const StationItem& cached) { return cached.State != kItemStateRemovable; });
}

int32_t CMS_ServerClient::RemoveCachedObjectsOfGroup(int32_t groupId)
{
    return m_objects.RemoveAll([groupId](const CMS_ObjectData& o) { return o.Group == groupId; }, nullptr);
}

// ---- Changed -------------------------------------------------------------------

bool CMS_ServerClient::UpdateCachedObject(const CMS_ObjectData& object, int32_t* index)
{
    return m_objects.AssignFirst(has_id(object.ID), object, index, change_nothing());
}

bool CMS_ServerClient::UpdateCachedPin(const CMS_ObjectPinData& pin, int32_t* index)
{
    return m_pins.AssignFirst(has_id(pin.ID), pin, index, change_nothing());
}

bool CMS_ServerClient::UpdateCachedDevice(const CMS_DeviceData& device, int32_t* index)
{
    return m_devices.AssignFirst(has_id(device.ID), device, index,
                                 [](CMS_DeviceData& cached, const CMS_DeviceData& changed) {
                                     if (cached.Type != changed.Type || cached.Number != changed.Number
                                         || cached.Name != changed.Name)
                                         cached.SetChanged(1);
                                 });
}

bool CMS_ServerClient::UpdateCachedGroup(const CMS_ObjectGroupData& group, int32_t* index)
{
    return m_groups.AssignFirst(has_id(group.ID), group, index, change_nothing());
}

bool CMS_ServerClient::UpdateCachedItem(const StationItem& item, int32_t* index)
{
    return m_items.AssignFirst(has_id(item.ID), item, index, change_nothing());
}

bool CMS_ServerClient::SetObjectGroup(int32_t objectId, int32_t groupId, int32_t* index)
{
    return m_objects.WithFirst(has_id(objectId), index, [groupId](CMS_ObjectData& object) {
        object.Group = groupId;
        return true;
    });
}

// ---- Events --------------------------------------------------------------------

bool CMS_ServerClient::ApplyEventToObject(const CMS_SimpleEventData& event, int historyLength, int32_t* index)
{
    return m_objects.WithFirst(has_id(event.ObjectID), index, [&](CMS_ObjectData& object) {
        apply_event(object, event, historyLength);
        return true;
    });
}

bool CMS_ServerClient::ApplyPinEvent(int32_t objectId, int32_t pinIndex, int32_t subType)
{
    // Commands 0 to 3 are meant for pins flagged 1, the others for pins flagged 2.
    const int32_t flags = subType >= 0 && subType <= 3 ? 1 : 2;
    return m_pins.WithFirst(
        [&](const CMS_ObjectPinData& pin) {
            return pin.ObjectID == objectId && pin.Index == pinIndex && pin.Flags == flags;
        },
        nullptr,
        [subType](CMS_ObjectPinData& pin) {
            pin.State = ApplyStateCommand(static_cast<uint16_t>(subType), pin.State);
            return true;
        });
}

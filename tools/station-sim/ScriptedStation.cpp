#include "ScriptedStation.h"

#include "base/CByteStream.h"
#include "base/StringHelpers.h"
#include "client/RecordCache.h"
#include "wire/StationNotifyCode.h"
#include "wire/StationRequestCode.h"

#include <algorithm>

namespace stationsim {
namespace {

template <class T>
using Rows = ScriptedStation::Rows<T>;

std::vector<uint8_t> bytes_of(const CByteStream& stream)
{
    const uint8_t* data = stream.GetData();
    return data ? std::vector<uint8_t>(data, data + stream.GetLength()) : std::vector<uint8_t>();
}

template <class T>
std::shared_ptr<const T> copy_of(const T& record)
{
    auto copy = std::make_shared<T>();
    copy_record(*copy, record);
    return copy;
}

template <class T>
int32_t next_id(const Rows<T>& rows)
{
    int32_t last = 0;
    for (const auto& row : rows)
        last = std::max(last, row->ID);
    return last + 1;
}

// Records back to back in their byte form.
template <class T, class Keep>
StationReply list_of(const Rows<T>& rows, Keep keep)
{
    CByteStream out;
    for (const auto& row : rows)
        if (keep(*row))
            row->SaveToStream(&out);
    return StationReply::Success(bytes_of(out));
}

template <class T>
StationReply list_of(const Rows<T>& rows)
{
    return list_of(rows, [](const T&) { return true; });
}

template <class T>
StationReply list_of_object(const Rows<T>& rows, int32_t objectId)
{
    return list_of(rows, [objectId](const T& row) { return row.ObjectID == objectId; });
}

StationReply new_id_reply(int32_t id)
{
    CByteStream out;
    out.WriteInt32(id);
    return StationReply::Success(bytes_of(out));
}

StationReply malformed()
{
    return StationReply::Refusal("Malformed request");
}

// A record of the body with a new ID; the station answers with the ID.
template <class T>
StationReply add_record(CByteStream& in, Rows<T>& rows)
{
    auto record = std::make_shared<T>();
    if (!record->LoadFromStream(&in, 0))
        return malformed();
    record->ID = next_id(rows);
    rows.push_back(record);
    return new_id_reply(record->ID);
}

// Object ID, a count, then that many records; each gets a new ID and the object.
template <class T>
StationReply add_parts(CByteStream& in, Rows<T>& rows)
{
    int32_t objectId = 0;
    int32_t count = 0;
    if (!in.ReadInt32(objectId) || !in.ReadInt32(count) || count < 0)
        return malformed();
    for (int32_t i = 0; i < count; ++i) {
        auto record = std::make_shared<T>();
        if (!record->LoadFromStream(&in, 0))
            return malformed();
        record->ID = next_id(rows);
        record->ObjectID = objectId;
        rows.push_back(record);
    }
    return StationReply::Success();
}

// The record in the body replaces the one with its ID; an unknown ID changes nothing.
template <class T>
StationReply update_record(CByteStream& in, Rows<T>& rows)
{
    auto record = std::make_shared<T>();
    if (!record->LoadFromStream(&in, 0))
        return malformed();
    for (auto& row : rows)
        if (row->ID == record->ID) {
            row = record;
            break;
        }
    return StationReply::Success();
}

template <class T>
StationReply update_part(CByteStream& in, Rows<T>& rows)
{
    int32_t objectId = 0;
    if (!in.ReadInt32(objectId))
        return malformed();
    return update_record(in, rows);
}

template <class T, class Match>
void erase_if(Rows<T>& rows, Match match)
{
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](const auto& row) { return match(*row); }), rows.end());
}

template <class T>
StationReply remove_record(CByteStream& in, Rows<T>& rows)
{
    int32_t id = 0;
    if (!in.ReadInt32(id))
        return malformed();
    erase_if(rows, [id](const T& row) { return row.ID == id; });
    return StationReply::Success();
}

// Object ID, then the part's ID.
template <class T>
StationReply remove_part(CByteStream& in, Rows<T>& rows)
{
    int32_t objectId = 0;
    int32_t id = 0;
    if (!in.ReadInt32(objectId) || !in.ReadInt32(id))
        return malformed();
    erase_if(rows, [&](const T& row) { return row.ObjectID == objectId && row.ID == id; });
    return StationReply::Success();
}

int32_t object_of_filter(const std::string& filter)
{
    const std::string prefix = "object_id=";
    if (filter.compare(0, prefix.size(), prefix) != 0)
        return -1;
    return text_to_int(filter.substr(prefix.size()));
}

std::string refusal_text_utf8_to_ansi(std::string text)
{
    utf8_to_ansi(text);
    return text;
}

} // namespace

ScriptedStation::ScriptedStation(StationSimulator& simulator) : m_simulator(simulator)
{
    const int32_t codes[] = {
        kRequestLogin,
        kRequestLoadObjects, kRequestAddObject, kRequestRemoveObject, kRequestUpdateObject, kRequestSendControl,
        kRequestGetObjectSensors, kRequestAddSensor, kRequestRemoveSensor, kRequestUpdateSensor,
        kRequestGetObjectClients, kRequestAddClient, kRequestRemoveClient, kRequestUpdateClient,
        kRequestLoadAllPins, kRequestGetObjectPins, kRequestAddPin, kRequestRemovePin, kRequestUpdatePin,
        kRequestLoadDevices, kRequestAddDevice, kRequestRemoveDevice, kRequestUpdateDevice,
        kRequestLoadGroups, kRequestAddGroup, kRequestRemoveGroup, kRequestUpdateGroup,
        kRequestLoadUsers, kRequestGetEvents, kRequestTransact, kRequestPostItem, kRequestLoadPersons,
        kRequestGetObjectImages, kRequestGetObjectSchedules, kRequestGetShifts,
        kRequestLoadConstDevices, kRequestLoadConstAdapters, kRequestLoadConstDictionaries, kRequestGetDeviceTests,
    };
    for (int32_t code : codes)
        m_simulator.SetHandler(code, [this](const StationRequest& request) { return Serve(request); });
}

ScriptedStation::~ScriptedStation()
{
    m_simulator.Stop();
}

// ---- Scripting -----------------------------------------------------------------

void ScriptedStation::AddAccount(const std::string& userName, const std::string& password)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accounts[userName] = password;
}

void ScriptedStation::SetLoginAnswer(int32_t valueA, int32_t valueB, const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_loginValueA = valueA;
    m_loginValueB = valueB;
    m_loginText = text;
}

void ScriptedStation::AddObject(const CMS_ObjectData& object)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_objects.push_back(copy_of(object));
}

void ScriptedStation::AddSensor(const CMS_ObjectSensorData& sensor)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sensors.push_back(copy_of(sensor));
}

void ScriptedStation::AddClient(const CMS_ObjectClientData& client)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clients.push_back(copy_of(client));
}

void ScriptedStation::AddPin(const CMS_ObjectPinData& pin)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pins.push_back(copy_of(pin));
}

void ScriptedStation::AddSchedule(const CMS_ObjectScheduleData& schedule)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_schedules.push_back(copy_of(schedule));
}

void ScriptedStation::AddImage(const CMS_ObjectImageData& image)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_images.push_back(copy_of(image));
}

void ScriptedStation::AddDevice(const CMS_DeviceData& device)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.push_back(copy_of(device));
}

void ScriptedStation::AddGroup(const CMS_ObjectGroupData& group)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_groups.push_back(copy_of(group));
}

void ScriptedStation::AddUser(const CMS_UserData& user)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_users.push_back(copy_of(user));
}

void ScriptedStation::AddPerson(const CMS_PersonData& person)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_persons.push_back(copy_of(person));
}

void ScriptedStation::AddShift(const CMS_ShiftData& shift)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shifts.push_back(copy_of(shift));
}

void ScriptedStation::AddDeviceTest(const CMS_DeviceTest& test)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_deviceTests.push_back(copy_of(test));
}

void ScriptedStation::AddEvent(const CMS_SimpleEventData& event)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(copy_of(event));
}

void ScriptedStation::SetConstDocuments(int32_t code, const std::vector<std::string>& documents)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_constDocuments[code] = documents;
}

bool ScriptedStation::SetObjectState(int32_t objectId, int32_t state)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& row : m_objects)
        if (row->ID == objectId) {
            auto changed = std::make_shared<CMS_ObjectData>();
            copy_record(*changed, *row);
            changed->State = state;
            row = changed;
            return true;
        }
    return false;
}

bool ScriptedStation::SetSensorState(int32_t objectId, int32_t sensorNumber, uint8_t state)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& row : m_sensors)
        if (row->ObjectID == objectId && row->Number == sensorNumber) {
            auto changed = std::make_shared<CMS_ObjectSensorData>();
            copy_record(*changed, *row);
            changed->State = state;
            row = changed;
            return true;
        }
    return false;
}

void ScriptedStation::RefuseSensorsOf(int32_t objectId, const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (text.empty())
        m_refusedSensors.erase(objectId);
    else
        m_refusedSensors[objectId] = text;
}

// ---- Observation ---------------------------------------------------------------

ScriptedStation::Rows<CMS_ObjectData> ScriptedStation::GetObjects() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_objects;
}

ScriptedStation::Rows<CMS_ObjectSensorData> ScriptedStation::GetSensors() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sensors;
}

ScriptedStation::Rows<CMS_ObjectClientData> ScriptedStation::GetClients() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clients;
}

ScriptedStation::Rows<CMS_ObjectPinData> ScriptedStation::GetPins() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pins;
}

ScriptedStation::Rows<CMS_DeviceData> ScriptedStation::GetDevices() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_devices;
}

ScriptedStation::Rows<CMS_ObjectGroupData> ScriptedStation::GetGroups() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_groups;
}

std::vector<StationItem> ScriptedStation::GetItems() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_items;
}

std::vector<std::vector<int32_t>> ScriptedStation::GetControls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_controls;
}

// ---- Notifications -------------------------------------------------------------

std::vector<uint8_t> ScriptedStation::RecordBytes(const CObjectStoreXmlHelper& record)
{
    CByteStream out;
    record.SaveToStream(&out);
    return bytes_of(out);
}

int ScriptedStation::NotifyRecord(int32_t code, const CObjectStoreXmlHelper& record)
{
    return m_simulator.SendNotification(code, RecordBytes(record));
}

int ScriptedStation::NotifyObject(int32_t code, const CMS_ObjectData& object)
{
    return NotifyRecord(code, object);
}

int ScriptedStation::NotifyDevice(int32_t code, const CMS_DeviceData& device)
{
    return NotifyRecord(code, device);
}

int ScriptedStation::NotifyGroup(int32_t code, const CMS_ObjectGroupData& group)
{
    return NotifyRecord(code, group);
}

int ScriptedStation::NotifyPin(int32_t code, const CMS_ObjectPinData& pin)
{
    return NotifyRecord(code, pin);
}

int ScriptedStation::NotifyEvent(const CMS_SimpleEventData& event)
{
    return NotifyRecord(kNotifyEvent, event);
}

std::vector<uint8_t> ScriptedStation::EventFrames(const CMS_SimpleEventData& event) const
{
    return m_simulator.NotificationFrames(kNotifyEvent, RecordBytes(event));
}

int ScriptedStation::NotifyItem(int32_t code, const StationItem& item)
{
    CByteStream out;
    item.Write(&out);
    return m_simulator.SendNotification(code, bytes_of(out));
}

int ScriptedStation::NotifyObjectMoved(int32_t objectId, int32_t groupId)
{
    CByteStream out;
    for (int32_t word : {objectId, 0, groupId, 0, 0})
        out.WriteInt32(word);
    return m_simulator.SendNotification(kNotifyObjectGroupMoved, bytes_of(out));
}

std::vector<uint8_t> ScriptedStation::UserStationForm(const CMS_UserData& user)
{
    CByteStream out;
    out.WriteInt32(user.ID);
    out.WriteInt32(user.Role);
    out.WriteInt32(user.Rights);
    out.WriteStdString(user.Name);
    out.WriteStdString(user.Descr);
    out.WriteStdString(user.Password);
    out.WriteInt32(user.ObjectCount);
    out.WriteStdString(user.Settings);
    out.WriteInt32(user.Flags);
    out.WriteInt32(user.ClientTyp);
    out.WriteStdString(user.EventFilter);
    out.WriteStdString(user.ClientFilter);
    out.WriteInt32(user.OriginServerId);
    return bytes_of(out);
}

// ---- Serving -------------------------------------------------------------------

StationReply ScriptedStation::Serve(const StationRequest& request)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (request.code == kRequestLogin)
        return Login(request);
    if (m_loggedIn.count(request.connection) == 0)
        return StationReply::Refusal("Not logged in");
    return ServeLoggedIn(request);
}

// The login text: user name, password, client type and version, one a line
// (CR LF), and for client type 3 two values more.
StationReply ScriptedStation::Login(const StationRequest& request)
{
    CByteStream in;
    in.Attach(request.body.data(), static_cast<int32_t>(request.body.size()));
    std::string text;
    if (!in.ReadString(text))
        return malformed();
    const std::vector<std::string> lines = split_text(text, "\r\n");
    if (lines.size() < 4)
        return malformed();
    const auto account = m_accounts.find(lines[0]);
    if (account == m_accounts.end() || account->second != lines[1])
        return StationReply::Refusal(refusal_text_utf8_to_ansi("Неверное имя пользователя или пароль"));

    m_loggedIn.insert(request.connection);
    CByteStream out;
    out.WriteInt32(m_loginValueA);
    out.WriteInt32(m_loginValueB);
    out.WriteStdString(m_loginText);
    return StationReply::Success(bytes_of(out));
}

StationReply ScriptedStation::ServeLoggedIn(const StationRequest& request)
{
    CByteStream in;
    in.Attach(request.body.data(), static_cast<int32_t>(request.body.size()));
    int32_t objectId = 0;

    switch (request.code) {
    case kRequestLoadObjects: return list_of(m_objects);
    case kRequestAddObject: return add_record(in, m_objects);
    case kRequestRemoveObject: {
        if (!in.ReadInt32(objectId))
            return malformed();
        const auto ofObject = [objectId](const auto& row) { return row.ObjectID == objectId; };
        erase_if(m_objects, [objectId](const CMS_ObjectData& row) { return row.ID == objectId; });
        erase_if(m_sensors, ofObject);
        erase_if(m_clients, ofObject);
        erase_if(m_pins, ofObject);
        erase_if(m_schedules, ofObject);
        erase_if(m_images, ofObject);
        return StationReply::Success();
    }
    case kRequestUpdateObject: return update_record(in, m_objects);
    case kRequestSendControl: {
        std::vector<int32_t> words(3);
        for (int32_t& word : words)
            if (!in.ReadInt32(word))
                return malformed();
        m_controls.push_back(words);
        return StationReply::Success();
    }

    case kRequestGetObjectSensors: {
        if (!in.ReadInt32(objectId))
            return malformed();
        const auto refused = m_refusedSensors.find(objectId);
        if (refused != m_refusedSensors.end())
            return StationReply::Refusal(refused->second);
        return list_of_object(m_sensors, objectId);
    }
    case kRequestAddSensor: return add_parts(in, m_sensors);
    case kRequestRemoveSensor: return remove_part(in, m_sensors);
    case kRequestUpdateSensor: return update_part(in, m_sensors);

    case kRequestGetObjectClients:
        return in.ReadInt32(objectId) ? list_of_object(m_clients, objectId) : malformed();
    case kRequestAddClient: return add_parts(in, m_clients);
    case kRequestRemoveClient: return remove_part(in, m_clients);
    case kRequestUpdateClient: return update_part(in, m_clients);

    case kRequestLoadAllPins: return list_of(m_pins);
    case kRequestGetObjectPins:
        return in.ReadInt32(objectId) ? list_of_object(m_pins, objectId) : malformed();
    case kRequestAddPin: return add_parts(in, m_pins);
    case kRequestRemovePin: return remove_part(in, m_pins);
    case kRequestUpdatePin: return update_part(in, m_pins);

    case kRequestLoadDevices: return list_of(m_devices);
    case kRequestAddDevice: return add_record(in, m_devices);
    case kRequestRemoveDevice: return remove_record(in, m_devices);
    case kRequestUpdateDevice: return update_record(in, m_devices);

    case kRequestLoadGroups: return list_of(m_groups);
    case kRequestAddGroup: return add_record(in, m_groups);
    case kRequestRemoveGroup: return remove_record(in, m_groups);
    case kRequestUpdateGroup: return update_record(in, m_groups);

    case kRequestLoadUsers: {
        std::vector<uint8_t> body;
        for (const auto& user : m_users) {
            const std::vector<uint8_t> form = UserStationForm(*user);
            body.insert(body.end(), form.begin(), form.end());
        }
        return StationReply::Success(body);
    }
    case kRequestLoadPersons: return list_of(m_persons);  // a person carries no StructVer in any form

    case kRequestGetEvents: return list_of(m_events);
    case kRequestGetDeviceTests: return list_of(m_deviceTests);
    case kRequestGetShifts: return list_of(m_shifts);
    case kRequestGetObjectSchedules:
        return in.ReadInt32(objectId) ? list_of_object(m_schedules, objectId) : malformed();
    case kRequestGetObjectImages: {
        std::string filter;
        if (!in.ReadString(filter))
            return malformed();
        objectId = object_of_filter(filter);
        return list_of(m_images, [objectId](const CMS_ObjectImageData& row) {
            return objectId < 0 || row.ObjectID == objectId;
        });
    }

    case kRequestTransact: {
        // Two words of the caller and -1, then the caller's bytes, which come back.
        int32_t word = 0;
        for (int i = 0; i < 3; ++i)
            if (!in.ReadInt32(word))
                return malformed();
        return StationReply::Success(std::vector<uint8_t>(request.body.begin() + 12, request.body.end()));
    }
    case kRequestPostItem: {
        StationItem item;
        if (!item.Read(&in, 0))
            return malformed();
        int32_t last = 0;
        for (const StationItem& kept : m_items)
            last = std::max(last, kept.ID);
        item.ID = last + 1;
        m_items.push_back(item);
        return new_id_reply(item.ID);
    }

    case kRequestLoadConstDevices:
    case kRequestLoadConstAdapters:
    case kRequestLoadConstDictionaries: {
        const std::vector<std::string>& documents = m_constDocuments[request.code];
        CByteStream out;
        out.WriteInt32(static_cast<int32_t>(documents.size()));
        for (const std::string& document : documents)
            out.WriteStdString(document);
        return StationReply::Success(bytes_of(out));
    }
    default:
        return StationReply::Refusal("Unsupported request " + std::to_string(request.code));
    }
}

} // namespace stationsim

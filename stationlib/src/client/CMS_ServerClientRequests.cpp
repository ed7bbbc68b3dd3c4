#include "client/CMS_ServerClient.h"

#include "base/ModuleInfo.h"
#include "base/StringHelpers.h"
#include "base/Timeouts.h"
#include "client/CMS_HelperServer.h"
#include "dictionaries/CMS_ConstAdapters.h"
#include "dictionaries/CMS_ConstDevices.h"
#include "dictionaries/CMS_ConstDictionaries.h"
#include "dictionaries/LibraryGlobals.h"
#include "tables/EventFilter.h"
#include "wire/PayloadScrambler.h"
#include "wire/StationMessageType.h"
#include "wire/StationRequestCode.h"

#include <algorithm>
#include <new>

namespace {

// Frames the library sends are at most this long, header included.
constexpr int32_t kFrameSize = 8192;
// Client type whose login carries the two extra values, and which loads the
// user and person lists instead of the constant documents.
constexpr int32_t kClientTypeWithValues = 3;

bool load_from_stream(CObjectStoreXmlHelper& record, CByteStream& stream)
{
    return record.LoadFromStream(&stream, 0);
}

// Reads records back to back until one does not load; each loaded one goes to
// `put`. False when a record cannot be allocated, with the earlier ones put.
template <class T, class Read, class Put>
bool read_records(CByteStream& answer, Read read, Put put)
{
    try {
        for (;;) {
            auto record = std::make_unique<T>();
            if (!read(*record, answer))
                return true;
            put(std::move(record));
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Appends to the list; a record that cannot be allocated ends the list, and what
// was read stays.
template <class T>
void append_records(CByteStream& answer, RecordList<T>& list)
{
    read_records<T>(answer, load_from_stream, [&](std::unique_ptr<T> r) { list.push_back(std::move(r)); });
}

// Sensors in states that need attention come first; each class by Number, and
// sensors of one Number in the reverse of their arrival (each was placed before
// those already there). Sorted once: placing each in turn took time growing
// with the square of the count, which a long answer turned into a hang.
void order_sensors(RecordList<CMS_ObjectSensorData>& list)
{
    std::reverse(list.begin(), list.end());
    std::stable_sort(list.begin(), list.end(),
                     [](const std::unique_ptr<CMS_ObjectSensorData>& a, const std::unique_ptr<CMS_ObjectSensorData>& b) {
                         const bool aFirst = a->IsPriorityState();
                         const bool bFirst = b->IsPriorityState();
                         if (aFirst != bFirst)
                             return aFirst;
                         return a->Number < b->Number;
                     });
}

} // namespace

CMS_ServerClient::CMS_ServerClient()
{
    prepare_event_filter_text();
}

CMS_ServerClient::~CMS_ServerClient()
{
    // The receive thread calls our OnMessage: it ends before our members go.
    try {
        Disconnect();
    } catch (...) {
    }
    ClearObjects();
    ClearDevices();
    ClearUsers();
    ClearPersons();
    ClearPins();
    ClearItems();
    ClearGroups();
}

void CMS_ServerClient::Init(CMS_HelperServer* owner)
{
    SetPacketHelper(owner, kFrameSize);
    m_loginValueA = 0;
    m_loginValueB = 0;
    m_keyWord = kStationKeyWord;
}

int32_t CMS_ServerClient::OnMessage(CLanPacket& message, CMS_HelperServer* owner, CByteStream& data)
{
    if (message.GetType() != kMessageRequest)
        return 0;
    // The notification's code is scrambled together with its records.
    DescramblePayload(data.GetData(), data.GetLength(), m_keyWord);
    int32_t code = 0;
    if (!data.ReadInt32(code) || owner == nullptr)
        return 0;
    return owner->OnPacket(this, code, data);
}

bool CMS_ServerClient::RequestRecord(int32_t code, CByteStream* body, CByteStream* answer, uint32_t timeoutMs)
{
    const uint32_t key = m_keyWord;
    if (body != nullptr)
        ScramblePayload(body->GetData(), body->GetLength(), key);
    const bool done = Request(code, body, answer, timeoutMs) == 1;
    if (answer != nullptr)
        DescramblePayload(answer->GetData(), answer->GetLength(), key);
    return done;
}

// ---- Login ---------------------------------------------------------------------

bool CMS_ServerClient::Login(int32_t clientType, int32_t a, int32_t b, const std::string& userName,
                             const std::string& password)
{
    std::string text = userName + "\r\n" + password + "\r\n" + int_to_text(clientType) + "\r\n"
        + int_to_text(get_module_version());
    if (clientType == kClientTypeWithValues)
        text += "\r\n" + int_to_text(a) + "\r\n" + int_to_text(b);

    CByteStream body;
    if (!body.WriteStdString(text))
        return false;
    CByteStream answer;
    if (!RequestRecord(kRequestLogin, &body, &answer, Timeouts::RequestMs()))
        return false;

    int32_t valueA = 0;
    int32_t valueB = 0;
    if (!answer.ReadInt32(valueA) || !answer.ReadInt32(valueB))
        return false;
    m_loginValueA = valueA;
    m_loginValueB = valueB;
    std::string loginText;
    if (answer.ReadString(loginText)) {
        CCritSectLock lock(m_loginTextLock);
        m_loginText = std::move(loginText);
    }
    return true;
}

bool CMS_ServerClient::LoginAndLoad(int32_t clientType, int32_t a, int32_t b, const std::string& userName,
                                    const std::string& password)
{
    ClearObjects();
    ClearPins();
    ClearDevices();
    ClearUsers();
    ClearPersons();
    ClearGroups();

    if (!Login(clientType, a, b, userName, password))
        return false;
    if (!LoadObjects() || !LoadAllPins() || !LoadDevices())
        return false;
    if (clientType == kClientTypeWithValues) {
        if (!LoadUsers() || !LoadPersons())
            return false;
    } else if (!LoadConstDevices(const_devices()) || !LoadConstAdapters(const_adapters())
               || !LoadConstDictionaries(const_dictionaries())) {
        return false;
    }
    return LoadGroups();
}

// ---- Shared request forms ------------------------------------------------------

template <class T, class Read>
bool CMS_ServerClient::ReadIntoCache(CByteStream& answer, RecordCache<T>& cache, Read read)
{
    CCritSectLock lock(cache.Lock());
    RecordList<T>& records = cache.Records();
    if (!read_records<T>(answer, read, [&](std::unique_ptr<T> r) { records.push_back(std::move(r)); })) {
        records.clear();
        return false;
    }
    return true;
}

template <class T>
bool CMS_ServerClient::LoadIntoCache(int32_t code, RecordCache<T>& cache)
{
    CByteStream answer;
    if (!RequestRecord(code, nullptr, &answer, Timeouts::RequestMs()))
        return false;
    return ReadIntoCache(answer, cache, load_from_stream);
}

template <class T>
bool CMS_ServerClient::AddRecord(int32_t code, const T& record, int32_t& newId)
{
    CByteStream body;
    if (!record.SaveToStream(&body))
        return false;
    CByteStream answer;
    if (!RequestRecord(code, &body, &answer, Timeouts::RequestMs()))
        return false;
    int32_t id = 0;
    if (!answer.ReadInt32(id))
        return false;
    newId = id;
    return true;
}

template <class T>
bool CMS_ServerClient::SendRecord(int32_t code, const T& record)
{
    CByteStream body;
    if (!record.SaveToStream(&body))
        return false;
    return RequestRecord(code, &body, nullptr, Timeouts::RequestMs());
}

template <class T>
bool CMS_ServerClient::SendObjectPart(int32_t code, int32_t objectId, bool withCount, const T& record)
{
    CByteStream body;
    if (!body.WriteInt32(objectId) || (withCount && !body.WriteInt32(1)) || !record.SaveToStream(&body))
        return false;
    return RequestRecord(code, &body, nullptr, Timeouts::RequestMs());
}

bool CMS_ServerClient::SendWords(int32_t code, std::initializer_list<int32_t> words)
{
    CByteStream body;
    for (int32_t word : words)
        if (!body.WriteInt32(word))
            return false;
    return RequestRecord(code, &body, nullptr, Timeouts::RequestMs());
}

bool CMS_ServerClient::SendFilter(int32_t code, const std::string& filter, CByteStream& answer, uint32_t timeoutMs)
{
    CByteStream body;
    if (!body.WriteString(filter.c_str()))
        return false;
    return RequestRecord(code, &body, &answer, timeoutMs);
}

bool CMS_ServerClient::ReadUsers(CByteStream& answer, RecordList<CMS_UserData>& list)
{
    return read_records<CMS_UserData>(
        answer, [](CMS_UserData& user, CByteStream& stream) { return user.ReadStation(&stream); },
        [&](std::unique_ptr<CMS_UserData> r) { list.push_back(std::move(r)); });
}

// ---- Objects -------------------------------------------------------------------

bool CMS_ServerClient::LoadObjects()
{
    return LoadIntoCache(kRequestLoadObjects, m_objects);
}

bool CMS_ServerClient::AddObject(const CMS_ObjectData& object, int32_t& newId)
{
    return AddRecord(kRequestAddObject, object, newId);
}

bool CMS_ServerClient::RemoveObject(int32_t id)
{
    return SendWords(kRequestRemoveObject, {id});
}

bool CMS_ServerClient::UpdateObject(const CMS_ObjectData& object)
{
    return SendRecord(kRequestUpdateObject, object);
}

bool CMS_ServerClient::SendControl(int32_t a, int32_t b, int32_t c)
{
    return SendWords(kRequestSendControl, {a, b, c});
}

// ---- Sensors, clients, pins, schedules, images ---------------------------------

bool CMS_ServerClient::GetObjectSensors(int32_t objectId, RecordList<CMS_ObjectSensorData>& list)
{
    CByteStream body;
    if (!body.WriteInt32(objectId) || !body.WriteInt32(-1))
        return false;
    CByteStream answer;
    if (!RequestRecord(kRequestGetObjectSensors, &body, &answer, Timeouts::RequestMs()))
        return false;
    list.clear();
    append_records(answer, list);
    order_sensors(list);
    return true;
}

bool CMS_ServerClient::AddSensor(int32_t objectId, const CMS_ObjectSensorData& sensor)
{
    return SendObjectPart(kRequestAddSensor, objectId, true, sensor);
}

bool CMS_ServerClient::RemoveSensor(int32_t a, int32_t b)
{
    return SendWords(kRequestRemoveSensor, {a, b});
}

bool CMS_ServerClient::UpdateSensor(int32_t objectId, const CMS_ObjectSensorData& sensor)
{
    return SendObjectPart(kRequestUpdateSensor, objectId, false, sensor);
}

bool CMS_ServerClient::GetObjectClients(int32_t objectId, RecordList<CMS_ObjectClientData>& list)
{
    CByteStream body;
    if (!body.WriteInt32(objectId) || !body.WriteInt32(-1))
        return false;
    CByteStream answer;
    if (!RequestRecord(kRequestGetObjectClients, &body, &answer, Timeouts::RequestMs()))
        return false;
    list.clear();
    append_records(answer, list);
    return true;
}

bool CMS_ServerClient::AddClient(int32_t objectId, const CMS_ObjectClientData& client)
{
    return SendObjectPart(kRequestAddClient, objectId, true, client);
}

bool CMS_ServerClient::RemoveClient(int32_t a, int32_t b)
{
    return SendWords(kRequestRemoveClient, {a, b});
}

bool CMS_ServerClient::UpdateClient(int32_t objectId, const CMS_ObjectClientData& client)
{
    return SendObjectPart(kRequestUpdateClient, objectId, false, client);
}

bool CMS_ServerClient::LoadAllPins()
{
    return LoadIntoCache(kRequestLoadAllPins, m_pins);
}

bool CMS_ServerClient::GetObjectPins(int32_t objectId, RecordList<CMS_ObjectPinData>& list)
{
    CByteStream body;
    if (!body.WriteInt32(objectId))
        return false;
    CByteStream answer;
    if (!RequestRecord(kRequestGetObjectPins, &body, &answer, Timeouts::RequestMs()))
        return false;
    list.clear();
    append_records(answer, list);
    return true;
}

bool CMS_ServerClient::AddPin(int32_t objectId, const CMS_ObjectPinData& pin)
{
    return SendObjectPart(kRequestAddPin, objectId, true, pin);
}

bool CMS_ServerClient::RemovePin(int32_t a, int32_t b)
{
    return SendWords(kRequestRemovePin, {a, b});
}

bool CMS_ServerClient::UpdatePin(int32_t objectId, const CMS_ObjectPinData& pin)
{
    return SendObjectPart(kRequestUpdatePin, objectId, false, pin);
}

bool CMS_ServerClient::GetObjectSchedules(int32_t objectId, RecordList<CMS_ObjectScheduleData>& list)
{
    CByteStream body;
    if (!body.WriteInt32(objectId))
        return false;
    CByteStream answer;
    if (!RequestRecord(kRequestGetObjectSchedules, &body, &answer, Timeouts::RequestMs()))
        return false;
    list.clear();
    append_records(answer, list);
    return true;
}

bool CMS_ServerClient::GetObjectImages(const std::string& filter, RecordList<CMS_ObjectImageData>& list)
{
    CByteStream body;
    if (!body.WriteString(filter.c_str()) || !body.WriteInt32(0))
        return false;
    CByteStream answer;
    if (!RequestRecord(kRequestGetObjectImages, &body, &answer, Timeouts::RequestMs()))
        return false;
    append_records(answer, list);
    return true;
}

// ---- Devices and groups --------------------------------------------------------

bool CMS_ServerClient::LoadDevices()
{
    return LoadIntoCache(kRequestLoadDevices, m_devices);
}

bool CMS_ServerClient::AddDevice(const CMS_DeviceData& device, int32_t& newId)
{
    return AddRecord(kRequestAddDevice, device, newId);
}

bool CMS_ServerClient::RemoveDevice(int32_t id)
{
    return SendWords(kRequestRemoveDevice, {id});
}

bool CMS_ServerClient::UpdateDevice(const CMS_DeviceData& device)
{
    return SendRecord(kRequestUpdateDevice, device);
}

bool CMS_ServerClient::LoadGroups()
{
    return LoadIntoCache(kRequestLoadGroups, m_groups);
}

bool CMS_ServerClient::AddGroup(const CMS_ObjectGroupData& group, int32_t& newId)
{
    return AddRecord(kRequestAddGroup, group, newId);
}

bool CMS_ServerClient::RemoveGroup(int32_t id)
{
    return SendWords(kRequestRemoveGroup, {id});
}

bool CMS_ServerClient::UpdateGroup(const CMS_ObjectGroupData& group)
{
    return SendRecord(kRequestUpdateGroup, group);
}

// ---- Users and persons ---------------------------------------------------------

bool CMS_ServerClient::LoadUsers()
{
    CByteStream answer;
    if (!RequestRecord(kRequestLoadUsers, nullptr, &answer, Timeouts::RequestMs()))
        return false;
    return ReadIntoCache(answer, m_users,
                         [](CMS_UserData& user, CByteStream& stream) { return user.ReadStation(&stream); });
}

bool CMS_ServerClient::LoadUsers(RecordList<CMS_UserData>& list)
{
    CByteStream answer;
    if (!RequestRecord(kRequestLoadUsers, nullptr, &answer, Timeouts::RequestMs()))
        return false;
    return ReadUsers(answer, list);
}

bool CMS_ServerClient::LoadPersons()
{
    CByteStream answer;
    if (!RequestRecord(kRequestLoadPersons, nullptr, &answer, Timeouts::RequestMs()))
        return false;
    return ReadIntoCache(answer, m_persons,
                         [](CMS_PersonData& person, CByteStream& stream) { return person.ReadStation(&stream); });
}

// ---- Events, shifts, device tests ----------------------------------------------

bool CMS_ServerClient::GetEvents(const std::string& filter, RecordList<CMS_SimpleEventData>& list)
{
    CByteStream answer;
    if (!SendFilter(kRequestGetEvents, filter, answer, Timeouts::LongRequestMs()))
        return false;
    append_records(answer, list);
    return true;
}

bool CMS_ServerClient::GetEventsRaw(const std::string& filter, std::vector<uint8_t>& body)
{
    CByteStream answer;
    if (!SendFilter(kRequestGetEvents, filter, answer, Timeouts::LongRequestMs()))
        return false;
    const uint8_t* data = answer.GetData();
    body.assign(data, data + (data != nullptr ? answer.GetLength() : 0));
    return true;
}

bool CMS_ServerClient::GetShifts(RecordList<CMS_ShiftData>& list)
{
    CByteStream answer;
    if (!RequestRecord(kRequestGetShifts, nullptr, &answer, Timeouts::RequestMs()))
        return false;
    // A shift that cannot be allocated ends the list: trying again would read the
    // same bytes for as long as memory stays short.
    append_records(answer, list);
    return true;
}

bool CMS_ServerClient::GetDeviceTests(const std::string& filter, RecordList<CMS_DeviceTest>& list)
{
    CByteStream answer;
    if (!SendFilter(kRequestGetDeviceTests, filter, answer, Timeouts::LongRequestMs()))
        return false;
    append_records(answer, list);
    return true;
}

// ---- Pass-through requests -----------------------------------------------------

bool CMS_ServerClient::Transact(int32_t a, int32_t b, const uint8_t* data, int32_t length,
                                std::vector<uint8_t>& answerBody)
{
    CByteStream body;
    if (!body.WriteInt32(a) || !body.WriteInt32(b) || !body.WriteInt32(-1) || !body.WriteBytes(data, length))
        return false;
    CByteStream answer;
    if (!RequestRecord(kRequestTransact, &body, &answer, Timeouts::RequestMs()))
        return false;
    const uint8_t* bytes = answer.GetData();
    answerBody.assign(bytes, bytes + (bytes != nullptr ? answer.GetLength() : 0));
    return true;
}

bool CMS_ServerClient::PostItem(StationItem& item)
{
    CByteStream body;
    if (!item.Write(&body))
        return false;
    CByteStream answer;
    if (!RequestRecord(kRequestPostItem, &body, &answer, Timeouts::RequestMs()))
        return false;
    int32_t id = 0;
    if (!answer.ReadInt32(id))
        return false;
    item.ID = id;
    return true;
}

// ---- Constant documents --------------------------------------------------------

bool CMS_ServerClient::LoadConstDevices(CMS_ConstDevices& container)
{
    CByteStream answer;
    return RequestRecord(kRequestLoadConstDevices, nullptr, &answer, Timeouts::RequestMs())
        && container.AddDocuments(&answer);
}

bool CMS_ServerClient::LoadConstAdapters(CMS_ConstAdapters& container)
{
    CByteStream answer;
    return RequestRecord(kRequestLoadConstAdapters, nullptr, &answer, Timeouts::RequestMs())
        && container.AddDocuments(&answer);
}

bool CMS_ServerClient::LoadConstDictionaries(CMS_ConstDictionaries& container)
{
    CByteStream answer;
    return RequestRecord(kRequestLoadConstDictionaries, nullptr, &answer, Timeouts::RequestMs())
        && container.AddDocuments(&answer);
}

#pragma once

#include "client/RecordCache.h"
#include "connection/CLanClient.h"
#include "records/CMS_DeviceData.h"
#include "records/CMS_DeviceTest.h"
#include "records/CMS_ObjectClientData.h"
#include "records/CMS_ObjectData.h"
#include "records/CMS_ObjectGroupData.h"
#include "records/CMS_ObjectImageData.h"
#include "records/CMS_ObjectPinData.h"
#include "records/CMS_ObjectScheduleData.h"
#include "records/CMS_ObjectSensorData.h"
#include "records/CMS_PersonData.h"
#include "records/CMS_ShiftData.h"
#include "records/CMS_SimpleEventData.h"
#include "records/CMS_UserData.h"
#include "records/StationItem.h"

#include <atomic>
#include <initializer_list>
#include <cstdint>
#include <string>
#include <vector>

class CMS_ConstAdapters;
class CMS_ConstDevices;
class CMS_ConstDictionaries;
class CMS_HelperServer;

// A pin command applied to bits 0 and 1 of a state: 0 and 4 switch on (bit 0
// set, bit 1 cleared), 1 and 5 switch off, 2 and 6 set bit 1; 3 and anything
// above 6 leave the state alone.
int32_t ApplyStateCommand(uint16_t command, int32_t state);

// The station connection of one client instance: logs in, loads the station's
// lists into its caches or into the caller's lists, sends additions, changes
// and removals, keeps the caches current from the station's notifications, and
// hands every notification to its owner.
//
// Each cache has its own lock and no operation holds two of them at once; every
// record goes in and out as a copy.
class CMS_ServerClient : public CLanClient
{
public:
    CMS_ServerClient();
    ~CMS_ServerClient() override;

    // Framing with frames of 8192 bytes, the owner for notifications, the key
    // word. Called once before the first connect.
    void Init(CMS_HelperServer* owner);

    // ---- Requests ----------------------------------------------------------------

    // Scrambles the body in place, sends it under `code` and unscrambles the
    // answer in place (also after a failure, when it is empty anyway).
    bool RequestRecord(int32_t code, CByteStream* body, CByteStream* answer, uint32_t timeoutMs);

    // a and b travel only for client type 3.
    bool Login(int32_t clientType, int32_t a, int32_t b, const std::string& userName, const std::string& password);
    // Empties the caches (items aside), logs in and loads the lists; stops at the
    // first failure, so the lists after it stay empty.
    bool LoginAndLoad(int32_t clientType, int32_t a, int32_t b, const std::string& userName,
                      const std::string& password);

    bool LoadObjects();
    bool AddObject(const CMS_ObjectData& object, int32_t& newId);
    bool RemoveObject(int32_t id);
    bool UpdateObject(const CMS_ObjectData& object);
    bool SendControl(int32_t a, int32_t b, int32_t c);

    // Priority sensors first, each class ascending by Number.
    bool GetObjectSensors(int32_t objectId, RecordList<CMS_ObjectSensorData>& list);
    bool AddSensor(int32_t objectId, const CMS_ObjectSensorData& sensor);
    bool RemoveSensor(int32_t a, int32_t b);
    bool UpdateSensor(int32_t objectId, const CMS_ObjectSensorData& sensor);

    bool GetObjectClients(int32_t objectId, RecordList<CMS_ObjectClientData>& list);
    bool AddClient(int32_t objectId, const CMS_ObjectClientData& client);
    bool RemoveClient(int32_t a, int32_t b);
    bool UpdateClient(int32_t objectId, const CMS_ObjectClientData& client);

    bool LoadAllPins();
    bool GetObjectPins(int32_t objectId, RecordList<CMS_ObjectPinData>& list);
    bool AddPin(int32_t objectId, const CMS_ObjectPinData& pin);
    bool RemovePin(int32_t a, int32_t b);
    bool UpdatePin(int32_t objectId, const CMS_ObjectPinData& pin);

    bool LoadDevices();
    bool AddDevice(const CMS_DeviceData& device, int32_t& newId);
    bool RemoveDevice(int32_t id);
    bool UpdateDevice(const CMS_DeviceData& device);

    bool LoadGroups();
    bool AddGroup(const CMS_ObjectGroupData& group, int32_t& newId);
    bool RemoveGroup(int32_t id);
    bool UpdateGroup(const CMS_ObjectGroupData& group);

    // Into the user cache, or appended to the caller's list.
    bool LoadUsers();
    bool LoadUsers(RecordList<CMS_UserData>& list);
    bool LoadPersons();

    // Appended to the caller's list. The raw form hands over the answer body as
    // the station sent it (unscrambled).
    bool GetEvents(const std::string& filter, RecordList<CMS_SimpleEventData>& list);
    bool GetEventsRaw(const std::string& filter, std::vector<uint8_t>& body);
    bool Transact(int32_t a, int32_t b, const uint8_t* data, int32_t length, std::vector<uint8_t>& answer);
    // The station's answer becomes the item's ID.
    bool PostItem(StationItem& item);
    bool GetObjectImages(const std::string& filter, RecordList<CMS_ObjectImageData>& list);
    bool GetObjectSchedules(int32_t objectId, RecordList<CMS_ObjectScheduleData>& list);
    bool GetShifts(RecordList<CMS_ShiftData>& list);
    bool GetDeviceTests(const std::string& filter, RecordList<CMS_DeviceTest>& list);

    // The whole answer becomes the container's documents.
    bool LoadConstDevices(CMS_ConstDevices& container);
    bool LoadConstAdapters(CMS_ConstAdapters& container);
    bool LoadConstDictionaries(CMS_ConstDictionaries& container);

    // ---- Caches ------------------------------------------------------------------

    // Lookups copy the first match out; `index` (may be null) gets its position.
    bool FindObjectByID(int32_t id, CMS_ObjectData& out, int32_t* index = nullptr);
    bool FindObjectByNumber(int32_t number, CMS_ObjectData& out, int32_t* index = nullptr);
    bool FindObjectByDeviceID(int32_t deviceId, CMS_ObjectData& out, int32_t* index = nullptr);
    bool FindDeviceByID(int32_t id, CMS_DeviceData& out, int32_t* index = nullptr);
    bool FindDeviceByNumber(int32_t number, CMS_DeviceData& out, int32_t* index = nullptr);
    bool FindGroupByID(int32_t id, CMS_ObjectGroupData& out, int32_t* index = nullptr);
    bool FindGroupByNumber(int32_t number, CMS_ObjectGroupData& out, int32_t* index = nullptr);
    bool GetObjectAt(int32_t index, CMS_ObjectData& out);
    bool GetPinAt(int32_t index, CMS_ObjectPinData& out);
    bool GetItemAt(int32_t index, StationItem& out);
    // Copies of the cached object's event history, newest first.
    bool GetObjectHistory(int32_t objectId, RecordList<CMS_SimpleEventData>& out);

    // The IDs in cache order as int32 into `buffer`; the count, or -1 (nothing
    // written) when `size` bytes cannot hold them all.
    int32_t GetObjectIDs(void* buffer, int32_t size);
    int32_t GetDeviceIDs(void* buffer, int32_t size);
    int32_t GetGroupIDs(void* buffer, int32_t size);

    int32_t GetObjectCount();
    int32_t GetPinCount();
    int32_t GetDeviceCount();
    int32_t GetGroupCount();
    int32_t GetItemCount();
    int32_t GetUserCount();
    int32_t GetPersonCount();

    // The first word of the last successful login's answer; 0 before.
    int32_t GetLoginValue() const { return m_loginValueA; }

    void ClearObjects();
    void ClearPins();
    void ClearDevices();
    void ClearGroups();
    void ClearUsers();
    void ClearPersons();
    void ClearItems();

    // Station notifications. Added: a copy goes in key order, after equal keys.
    bool AddCachedObject(const CMS_ObjectData& object, int32_t* index);
    bool AddCachedPin(const CMS_ObjectPinData& pin, int32_t* index);
    bool AddCachedDevice(const CMS_DeviceData& device, int32_t* index);
    bool AddCachedGroup(const CMS_ObjectGroupData& group, int32_t* index);
    bool AddCachedItem(const StationItem& item, int32_t* index);

    // Removed: an object takes its pins along, a group its objects (not their
    // pins); an item goes only in state 2, yet its removal counts as done.
    bool RemoveCachedObject(const CMS_ObjectData& object, int32_t* index);
    bool RemoveCachedPin(const CMS_ObjectPinData& pin, int32_t* index);
    bool RemoveCachedDevice(const CMS_DeviceData& device, int32_t* index);
    bool RemoveCachedGroup(const CMS_ObjectGroupData& group, int32_t* index);
    bool RemoveCachedItem(const StationItem& item, int32_t* index);
    // The count of objects deleted.
    int32_t RemoveCachedObjectsOfGroup(int32_t groupId);

    // Changed: the first record with the key takes every field; none, no change.
    bool UpdateCachedObject(const CMS_ObjectData& object, int32_t* index);
    bool UpdateCachedPin(const CMS_ObjectPinData& pin, int32_t* index);
    bool UpdateCachedDevice(const CMS_DeviceData& device, int32_t* index);
    bool UpdateCachedGroup(const CMS_ObjectGroupData& group, int32_t* index);
    bool UpdateCachedItem(const StationItem& item, int32_t* index);

    bool SetObjectGroup(int32_t objectId, int32_t groupId, int32_t* index);

    // The event's effects on its cached object: coordinates, state, extended
    // state, capture time, guard state, guard block, key and history (at most
    // `historyLength` events, at least 1).
    bool ApplyEventToObject(const CMS_SimpleEventData& event, int historyLength, int32_t* index);
    // The pin command `subType` on the cached pin of the object with that Index
    // and the Flags the command is meant for.
    bool ApplyPinEvent(int32_t objectId, int32_t pinIndex, int32_t subType);

protected:
    // Station notifications, on the receive thread: unscrambled and handed to the owner.
    int32_t OnMessage(CLanPacket& message, CMS_HelperServer* owner, CByteStream& data) override;

private:
    template <class T>
    bool LoadIntoCache(int32_t code, RecordCache<T>& cache);
    template <class T, class Read>
    bool ReadIntoCache(CByteStream& answer, RecordCache<T>& cache, Read read);
    bool ReadUsers(CByteStream& answer, RecordList<CMS_UserData>& list);
    template <class T>
    bool AddRecord(int32_t code, const T& record, int32_t& newId);
    template <class T>
    bool SendRecord(int32_t code, const T& record);
    template <class T>
    bool SendObjectPart(int32_t code, int32_t objectId, bool withCount, const T& record);
    bool SendWords(int32_t code, std::initializer_list<int32_t> words);
    bool SendFilter(int32_t code, const std::string& filter, CByteStream& answer, uint32_t timeoutMs);

    std::atomic<uint32_t> m_keyWord{0};
    std::atomic<int32_t> m_loginValueA{0};
    std::atomic<int32_t> m_loginValueB{0};
    CCritSect m_loginTextLock;  // held only while the text is replaced
    std::string m_loginText;

    RecordCache<CMS_ObjectPinData> m_pins;
    RecordCache<StationItem> m_items;
    RecordCache<CMS_DeviceData> m_devices;
    RecordCache<CMS_ObjectGroupData> m_groups;
    RecordCache<CMS_ObjectData> m_objects;
    RecordCache<CMS_UserData> m_users;
    RecordCache<CMS_PersonData> m_persons;
};

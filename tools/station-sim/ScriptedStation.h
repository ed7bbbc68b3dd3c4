#pragma once

#include "StationSimulator.h"

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

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace stationsim {

// A station with a world of records behind a StationSimulator: it logs users in
// by name and password, serves its lists in the station's byte form, gives
// additions new identifiers and keeps what it is told to add, change or remove,
// and sends notifications when asked. Requests other than the login are refused
// on a connection that has not logged in. The simulator's request log holds
// every request taken in.
//
// The station's tables hold copies; a record handed in stays the caller's.
class ScriptedStation
{
public:
    template <class T>
    using Rows = std::vector<std::shared_ptr<const T>>;

    // Installs the station's handlers on the simulator, which must outlive it.
    explicit ScriptedStation(StationSimulator& simulator);
    // Stops the simulator: a request still being served would run its handler
    // on a station that is gone.
    ~ScriptedStation();
    ScriptedStation(const ScriptedStation&) = delete;
    ScriptedStation& operator=(const ScriptedStation&) = delete;

    // A user the login accepts.
    void AddAccount(const std::string& userName, const std::string& password);
    // The two words and the text of a successful login's answer.
    void SetLoginAnswer(int32_t valueA, int32_t valueB, const std::string& text);

    // The world. Sensors, clients, pins, schedules and images belong to the
    // object named by their ObjectID.
    void AddObject(const CMS_ObjectData& object);
    void AddSensor(const CMS_ObjectSensorData& sensor);
    void AddClient(const CMS_ObjectClientData& client);
    void AddPin(const CMS_ObjectPinData& pin);
    void AddSchedule(const CMS_ObjectScheduleData& schedule);
    void AddImage(const CMS_ObjectImageData& image);
    void AddDevice(const CMS_DeviceData& device);
    void AddGroup(const CMS_ObjectGroupData& group);
    void AddUser(const CMS_UserData& user);
    void AddPerson(const CMS_PersonData& person);
    void AddShift(const CMS_ShiftData& shift);
    void AddDeviceTest(const CMS_DeviceTest& test);
    void AddEvent(const CMS_SimpleEventData& event);
    // The documents of request 190, 191 or 194, as texts.
    void SetConstDocuments(int32_t code, const std::vector<std::string>& documents);

    // Changes to the world that the station does not announce; clients learn
    // of them when they load the lists again. False when no such record exists.
    bool SetObjectState(int32_t objectId, int32_t state);
    bool SetSensorState(int32_t objectId, int32_t sensorNumber, uint8_t state);
    // The sensor request for that object is refused with the text (in clear,
    // as the station sends it); an empty text serves it again.
    void RefuseSensorsOf(int32_t objectId, const std::string& text);

    // What the station holds now.
    Rows<CMS_ObjectData> GetObjects() const;
    Rows<CMS_ObjectSensorData> GetSensors() const;
    Rows<CMS_ObjectClientData> GetClients() const;
    Rows<CMS_ObjectPinData> GetPins() const;
    Rows<CMS_DeviceData> GetDevices() const;
    Rows<CMS_ObjectGroupData> GetGroups() const;
    std::vector<StationItem> GetItems() const;
    // The control words of every request 104, in order.
    std::vector<std::vector<int32_t>> GetControls() const;

    // Notifications to every open connection; each returns how many it reached.
    int NotifyObject(int32_t code, const CMS_ObjectData& object);
    int NotifyDevice(int32_t code, const CMS_DeviceData& device);
    int NotifyGroup(int32_t code, const CMS_ObjectGroupData& group);
    int NotifyPin(int32_t code, const CMS_ObjectPinData& pin);
    int NotifyItem(int32_t code, const StationItem& item);
    int NotifyEvent(const CMS_SimpleEventData& event);
    int NotifyObjectMoved(int32_t objectId, int32_t groupId);
    // The bytes NotifyEvent sends, for a link cut inside them.
    std::vector<uint8_t> EventFrames(const CMS_SimpleEventData& event) const;

    // The station form of a user: its fields without StructVer.
    static std::vector<uint8_t> UserStationForm(const CMS_UserData& user);

private:
    StationReply Serve(const StationRequest& request);
    StationReply Login(const StationRequest& request);
    StationReply ServeLoggedIn(const StationRequest& request);
    int NotifyRecord(int32_t code, const CObjectStoreXmlHelper& record);
    static std::vector<uint8_t> RecordBytes(const CObjectStoreXmlHelper& record);

    StationSimulator& m_simulator;

    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_accounts;
    std::set<int> m_loggedIn;
    int32_t m_loginValueA = 1;
    int32_t m_loginValueB = 0;
    std::string m_loginText;

    Rows<CMS_ObjectData> m_objects;
    Rows<CMS_ObjectSensorData> m_sensors;
    Rows<CMS_ObjectClientData> m_clients;
    Rows<CMS_ObjectPinData> m_pins;
    Rows<CMS_ObjectScheduleData> m_schedules;
    Rows<CMS_ObjectImageData> m_images;
    Rows<CMS_DeviceData> m_devices;
    Rows<CMS_ObjectGroupData> m_groups;
    Rows<CMS_UserData> m_users;
    Rows<CMS_PersonData> m_persons;
    Rows<CMS_ShiftData> m_shifts;
    Rows<CMS_DeviceTest> m_deviceTests;
    Rows<CMS_SimpleEventData> m_events;
    std::vector<StationItem> m_items;
    std::map<int32_t, std::vector<std::string>> m_constDocuments;
    std::vector<std::vector<int32_t>> m_controls;
    std::map<int32_t, std::string> m_refusedSensors;
};

} // namespace stationsim

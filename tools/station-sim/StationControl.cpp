#include "StationControl.h"

#include "base/StringHelpers.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace stationsim {
namespace {

// A line taken apart: leading words one by one, then the rest as one text.
class CommandLine
{
public:
    explicit CommandLine(const std::string& line) : m_in(line) {}

    bool Word(std::string& word) { return static_cast<bool>(m_in >> word); }

    template <class T>
    bool Number(T& value)
    {
        std::string word;
        if (!Word(word))
            return false;
        errno = 0;
        char* end = nullptr;
        const long long parsed = std::strtoll(word.c_str(), &end, 0);
        if (errno != 0 || *end != '\0' || parsed < std::numeric_limits<T>::min() ||
            parsed > std::numeric_limits<T>::max())
            return false;
        value = static_cast<T>(parsed);
        return true;
    }

    // What is left after the blanks that follow the last word.
    std::string Rest()
    {
        std::string rest;
        std::getline(m_in >> std::ws, rest);
        return rest;
    }

    bool AtEnd() { return Rest().empty(); }

private:
    std::istringstream m_in;
};

std::string ansi(std::string utf8)
{
    utf8_to_ansi(utf8);
    return utf8;
}

const std::string kOk = "ok";

std::string ok(long long count)
{
    return kOk + " " + std::to_string(count);
}

std::string usage_error(const std::string& command)
{
    return "error: usage of " + command;
}

} // namespace

StationControl::StationControl(StationSimulator& simulator, ScriptedStation& station)
    : m_simulator(simulator), m_station(station)
{
}

std::string StationControl::Execute(const std::string& line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CommandLine in(line);
    std::string command;
    if (!in.Word(command))
        return "error: empty command";

    if (command == "account") {
        std::string login, password;
        if (!in.Word(login) || !in.Word(password) || !in.AtEnd())
            return usage_error(command);
        m_station.AddAccount(login, password);
        return kOk;
    }
    if (command == "group") {
        CMS_ObjectGroupData group;
        if (!in.Number(group.ID))
            return usage_error(command);
        group.Number = group.ID;
        group.Name = ansi(in.Rest());
        m_station.AddGroup(group);
        return kOk;
    }
    if (command == "object") {
        CMS_ObjectData object;
        uint32_t state = 0;
        if (!in.Number(object.ID) || !in.Number(object.Group) || !in.Number(state))
            return usage_error(command);
        object.Number = object.ID;
        object.State = static_cast<int32_t>(state);
        object.Name = ansi(in.Rest());
        m_station.AddObject(object);
        return kOk;
    }
    if (command == "sensor") {
        CMS_ObjectSensorData sensor;
        if (!in.Number(sensor.ObjectID) || !in.Number(sensor.ID) || !in.Number(sensor.Number) ||
            !in.Number(sensor.Type) || !in.Number(sensor.State))
            return usage_error(command);
        sensor.Name = ansi(in.Rest());
        m_station.AddSensor(sensor);
        return kOk;
    }
    if (command == "object-state") {
        int32_t objectId = 0;
        uint32_t state = 0;
        if (!in.Number(objectId) || !in.Number(state) || !in.AtEnd())
            return usage_error(command);
        return m_station.SetObjectState(objectId, static_cast<int32_t>(state)) ? kOk : "error: no such object";
    }
    if (command == "sensor-state") {
        int32_t objectId = 0;
        int32_t number = 0;
        uint8_t state = 0;
        if (!in.Number(objectId) || !in.Number(number) || !in.Number(state) || !in.AtEnd())
            return usage_error(command);
        return m_station.SetSensorState(objectId, number, state) ? kOk : "error: no such sensor";
    }
    if (command == "refuse-sensors") {
        int32_t objectId = 0;
        if (!in.Number(objectId))
            return usage_error(command);
        m_station.RefuseSensorsOf(objectId, ansi(in.Rest()));
        return kOk;
    }
    if (command == "event") {
        int16_t type = 0;
        int16_t subType = 0;
        int32_t objectId = 0;
        int16_t sensorNumber = 0;
        if (!in.Number(type) || !in.Number(subType) || !in.Number(objectId) || !in.Number(sensorNumber) ||
            !in.AtEnd())
            return usage_error(command);
        return SendEvent(type, subType, objectId, sensorNumber);
    }
    if (command == "drop") {
        if (!in.AtEnd())
            return usage_error(command);
        m_simulator.CloseConnections();
        return kOk;
    }
    if (command == "mute") {
        if (!in.AtEnd())
            return usage_error(command);
        m_simulator.SetMuted(true);
        return kOk;
    }
    if (command == "connections") {
        if (!in.AtEnd())
            return usage_error(command);
        return ok(static_cast<long long>(m_simulator.GetOpenConnections()));
    }
    return "error: unknown command " + command;
}

// The event carries what a station fills in for an object: its group, number,
// device and state.
std::string StationControl::SendEvent(int16_t type, int16_t subType, int32_t objectId, int16_t sensorNumber)
{
    for (const auto& object : m_station.GetObjects()) {
        if (object->ID != objectId)
            continue;
        CMS_SimpleEventData event;
        event.ID = m_nextEventId++;
        event.Type = type;
        event.SubType = subType;
        event.ObjectID = objectId;
        event.ObjectGroupID = object->Group;
        event.ObjectNumber = object->Number;
        event.DeviceID = object->DeviceID;
        event.ObjectState = object->State;
        event.SensorNumber = sensorNumber;
        return ok(m_station.NotifyEvent(event));
    }
    return "error: no such object";
}

} // namespace stationsim

#include "BenchWorld.h"

#include "base/StringHelpers.h"
#include "records/CMS_ObjectData.h"
#include "records/CMS_ObjectGroupData.h"
#include "records/CMS_ObjectSensorData.h"

namespace eventpath {
namespace {

constexpr int32_t kFirstObjectId = 1000;
constexpr int32_t kFirstSensorId = 100000;
// An object state under guard: its level is 1.
constexpr int32_t kGuardedObjectState = 1;

std::string ansi(std::string utf8)
{
    utf8_to_ansi(utf8);
    return utf8;
}

} // namespace

BenchWorld::BenchWorld(const WorldShape& shape) : m_shape(shape)
{
    int32_t objectId = kFirstObjectId;
    int32_t sensorId = kFirstSensorId;
    for (int g = 0; g < shape.groups; ++g) {
        for (int o = 0; o < shape.objectsPerGroup; ++o, ++objectId) {
            for (int s = 0; s < shape.sensorsPerObject; ++s, ++sensorId) {
                BenchSensor sensor;
                sensor.id = sensorId;
                sensor.objectId = objectId;
                sensor.groupId = g + 1;
                sensor.number = static_cast<int16_t>(s + 1);
                m_indexById.emplace(sensor.id, m_sensors.size());
                m_sensors.push_back(sensor);
            }
        }
    }
}

void BenchWorld::Populate(stationsim::ScriptedStation& station, const std::string& login,
                          const std::string& password) const
{
    station.AddAccount(login, password);
    int32_t objectId = kFirstObjectId;
    for (int g = 0; g < m_shape.groups; ++g) {
        CMS_ObjectGroupData group;
        group.ID = g + 1;
        group.Number = group.ID;
        group.Name = ansi("Район " + std::to_string(group.ID));
        station.AddGroup(group);
        for (int o = 0; o < m_shape.objectsPerGroup; ++o, ++objectId) {
            CMS_ObjectData object;
            object.ID = objectId;
            object.Number = objectId;
            object.Group = group.ID;
            object.State = kGuardedObjectState;
            object.Name = ansi("Объект " + std::to_string(objectId));
            station.AddObject(object);
        }
    }
    for (const BenchSensor& entry : m_sensors) {
        CMS_ObjectSensorData sensor;
        sensor.ID = entry.id;
        sensor.ObjectID = entry.objectId;
        sensor.Number = entry.number;
        sensor.Type = 1;
        sensor.State = 0;  // at rest: level 1
        sensor.Name = ansi("Датчик " + std::to_string(entry.number));
        station.AddSensor(sensor);
    }
}

size_t BenchWorld::ElementCount() const
{
    return static_cast<size_t>(m_shape.groups) * (1 + static_cast<size_t>(m_shape.objectsPerGroup)) +
           m_sensors.size();
}

long BenchWorld::SensorIndexOf(int32_t sensorId) const
{
    const auto found = m_indexById.find(sensorId);
    return found == m_indexById.end() ? -1 : static_cast<long>(found->second);
}

int32_t BenchWorld::LevelOfEvent(uint64_t k) const
{
    // The sensor's own events alternate, its first one an alarm.
    return (k / m_sensors.size()) % 2 == 0 ? kLevelInAlarm : kLevelAtRest;
}

int32_t BenchWorld::LevelBefore(size_t sensor, uint64_t k) const
{
    const uint64_t count = m_sensors.size();
    const uint64_t seen = k > sensor ? (k - sensor + count - 1) / count : 0;
    return seen % 2 == 1 ? kLevelInAlarm : kLevelAtRest;
}

uint64_t BenchWorld::FirstEventOf(size_t sensor, uint64_t k) const
{
    const uint64_t count = m_sensors.size();
    const uint64_t rounds = k > sensor ? (k - sensor + count - 1) / count : 0;
    return sensor + rounds * count;
}

CMS_SimpleEventData BenchWorld::MakeEvent(uint64_t k) const
{
    const BenchSensor& sensor = m_sensors[SensorOfEvent(k)];
    CMS_SimpleEventData event;
    event.ID = static_cast<int32_t>(k % 0x7FFFFFFF) + 1;
    event.Type = kSensorEvent;
    event.SubType = LevelOfEvent(k) == kLevelInAlarm ? kAlarmSubType : kRestoreSubType;
    event.ObjectID = sensor.objectId;
    event.ObjectGroupID = sensor.groupId;
    event.ObjectNumber = sensor.objectId;
    event.ObjectState = kGuardedObjectState;
    event.SensorNumber = sensor.number;
    return event;
}

std::string BenchWorld::CheckState(const std::vector<ElementRecord>& records, uint64_t eventsSent) const
{
    if (records.size() != ElementCount())
        return "the state holds " + std::to_string(records.size()) + " elements instead of " +
               std::to_string(ElementCount());
    std::vector<bool> seen(m_sensors.size(), false);
    for (const ElementRecord& record : records) {
        if (record.level != LEVEL_SENSOR)
            continue;
        const long index = SensorIndexOf(record.ID);
        if (index < 0 || seen[static_cast<size_t>(index)])
            return "the state holds sensor " + std::to_string(record.ID) + " twice or unknown";
        seen[static_cast<size_t>(index)] = true;
        const int32_t expected = LevelBefore(static_cast<size_t>(index), eventsSent);
        if (record.StateLevel != expected)
            return "sensor " + std::to_string(record.ID) + " is at level " + std::to_string(record.StateLevel) +
                   " instead of " + std::to_string(expected);
    }
    return {};
}

std::string BenchWorld::Dictionary()
{
    return R"(<?xml version="1.0" encoding="utf-8"?>
<Root>
  <Template>
    <Param id="3">
      <Param id="1" text="Восстановление датчика"/>
      <Param id="2" text="Тревога датчика"/>
    </Param>
  </Template>
</Root>
)";
}

} // namespace eventpath

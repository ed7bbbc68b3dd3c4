#pragma once

// The station world the event-path benchmark runs on, and the events it sends:
// groups of objects of sensors, every sensor at rest (level 1) at the start.
// Events go round the sensors in turn; each sensor alternates alarm and restore,
// so every event moves exactly one sensor's level and yields one update.

#include "ScriptedStation.h"

#include "model/ElementRecord.h"
#include "records/CMS_SimpleEventData.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace eventpath {

struct WorldShape
{
    int groups = 10;
    int objectsPerGroup = 10;
    int sensorsPerObject = 10;
};

struct BenchSensor
{
    int32_t id = 0;
    int32_t objectId = 0;
    int32_t groupId = 0;
    int16_t number = 0;
};

class BenchWorld
{
public:
    // Event types the events use: sensor alarm and sensor restore.
    static constexpr int16_t kSensorEvent = 3;
    static constexpr int16_t kAlarmSubType = 2;
    static constexpr int16_t kRestoreSubType = 1;
    static constexpr int32_t kLevelAtRest = 1;
    static constexpr int32_t kLevelInAlarm = 2;

    explicit BenchWorld(const WorldShape& shape);

    // Puts the groups, objects, sensors and the account into the station.
    void Populate(stationsim::ScriptedStation& station, const std::string& login,
                  const std::string& password) const;

    size_t SensorCount() const { return m_sensors.size(); }
    // Groups, objects and sensors: the records of a full state.
    size_t ElementCount() const;
    const BenchSensor& Sensor(size_t index) const { return m_sensors[index]; }
    // The index of the sensor with that id; -1 for none.
    long SensorIndexOf(int32_t sensorId) const;

    // Event k of the run (k counts from 0 over the whole run).
    size_t SensorOfEvent(uint64_t k) const { return static_cast<size_t>(k % m_sensors.size()); }
    // The level event k gives its sensor.
    int32_t LevelOfEvent(uint64_t k) const;
    // The level of the sensor once events 0 .. k-1 are applied.
    int32_t LevelBefore(size_t sensor, uint64_t k) const;
    // The first event at or after k that concerns the sensor.
    uint64_t FirstEventOf(size_t sensor, uint64_t k) const;
    CMS_SimpleEventData MakeEvent(uint64_t k) const;

    // Whether a full state holds every element once, each sensor at the level
    // that events 0 .. eventsSent-1 give it; what is wrong, or "" when nothing.
    std::string CheckState(const std::vector<ElementRecord>& records, uint64_t eventsSent) const;

    // The text of "dictionary_events_system.xml" naming both event types.
    static std::string Dictionary();

private:
    WorldShape m_shape;
    std::vector<BenchSensor> m_sensors;
    std::unordered_map<int32_t, size_t> m_indexById;
};

} // namespace eventpath

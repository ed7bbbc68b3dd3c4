#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Event types the bridge acts on; other types are read and ignored.
constexpr int32_t EVENT_TYPE_OBJECT = 2;
constexpr int32_t EVENT_TYPE_SENSOR = 3;
// SensorNumber of a sensor event that concerns every sensor of its object.
constexpr int32_t ALL_SENSORS = 0xFFFF;

// One event read from the station's "eventlist" document. Fields its record
// does not carry stay -1.
struct KorvelEvent
{
    int32_t ID = -1;
    int32_t Type = -1;
    int32_t SubType = -1;
    int32_t DeviceID = -1;
    int32_t ObjectID = -1;
    int32_t SensorNumber = -1;
    int32_t ObjectGroupID = -1;
    int32_t ObjectState = -1;
    // From the events dictionary; empty when it has no entry.
    std::string Text;
};

using KorvelEventPtr = std::shared_ptr<KorvelEvent>;
using KorvelEventList = std::vector<KorvelEventPtr>;

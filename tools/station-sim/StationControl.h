#pragma once

#include "ScriptedStation.h"
#include "StationSimulator.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace stationsim {

// Text commands that build a station's world and act on it while clients are
// connected: the control channel that tests running station-sim as a separate
// process speak over its standard input. One command a line, one answer a line:
// "ok", "ok N" or "error: ...". Names are UTF-8 and go out in Windows-1251.
//
//   account LOGIN PASSWORD
//   group ID NAME
//   object ID GROUP STATE NAME
//   sensor OBJECT ID NUMBER TYPE STATE NAME
//   object-state OBJECT STATE          (changed silently)
//   sensor-state OBJECT NUMBER STATE   (changed silently)
//   refuse-sensors OBJECT TEXT         (the sensor request for OBJECT fails)
//   event TYPE SUBTYPE OBJECT SENSOR   (SENSOR -1: every sensor; "ok N": connections reached)
//   drop                               (closes every station connection)
//   connections                        ("ok N": connections open)
//   mute                               (from now on no request or ping is answered)
//
// Numbers are decimal or 0x-prefixed hexadecimal.
class StationControl
{
public:
    StationControl(StationSimulator& simulator, ScriptedStation& station);

    // Safe to call from several threads.
    std::string Execute(const std::string& line);

private:
    std::string SendEvent(int16_t type, int16_t subType, int32_t objectId, int16_t sensorNumber);

    StationSimulator& m_simulator;
    ScriptedStation& m_station;
    std::mutex m_mutex;
    int32_t m_nextEventId = 1;
};

} // namespace stationsim

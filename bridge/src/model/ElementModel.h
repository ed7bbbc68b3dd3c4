#pragma once

#include "model/KorvelElement.h"
#include "model/KorvelEvent.h"

#include <mutex>
#include <vector>

// The station's object groups by id, each with its objects and their sensors.
extern ElementMap g_group_map;
// Guards the group map, every element's children and every element's state
// level. Never held together with the list of video-system connections.
extern std::mutex g_model_mutex;

// Finds the object an event concerns and stores it in `changed`. With `apply`,
// also sets the object's level from the event; true only when that level
// changed. False when the group or object is unknown.
bool apply_object_event(const KorvelEvent& event, KorvelElementPtr& changed, bool apply);

// Sets the level of the sensors a sensor event concerns (the numbered one, or
// every sensor for ALL_SENSORS) and appends each sensor whose level changed.
void apply_sensor_event(const KorvelEventPtr& e, std::vector<KorvelElementPtr>& changed);

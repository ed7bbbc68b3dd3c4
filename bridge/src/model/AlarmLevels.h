#pragma once

#include <cstdint>

// The fixed tables that turn the station's state words and event subtypes into
// the alarm level the video system shows: 0, 1 or 2, or -1 for "no change".

// Level of a sensor from its state word when it is loaded (low four bits count).
int level_from_state(int32_t state);
// Level of an object from its state word when it is loaded.
int object_level_from_state(int32_t state);
// Level an object event sets, or -1 when the subtype changes nothing.
int object_event_level(int32_t sub_type);
// Level a sensor event sets.
int sensor_event_level(int32_t sub_type);
// Level an event of the given type sets: objects and sensors by their tables,
// any other type 1.
int level_for_event(int32_t type, int32_t sub_type);

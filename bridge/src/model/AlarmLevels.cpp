#include "model/AlarmLevels.h"

#include "model/KorvelEvent.h"

#include <algorithm>
#include <initializer_list>

namespace {

bool one_of(int32_t value, std::initializer_list<int32_t> values)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

// Object states in which the object counts as not guarded.
constexpr int32_t kObjectUnguardedBits = 0x700000;

} // namespace

int level_from_state(int32_t state)
{
    const int32_t nibble = state & 0xF;
    if (one_of(nibble, {0, 3, 9, 14}))
        return 1;
    if (nibble == 13)
        return 0;
    return 2;
}

int object_level_from_state(int32_t state)
{
    return (state != 0 && (state & kObjectUnguardedBits) == 0) ? 1 : 0;
}

int object_event_level(int32_t sub_type)
{
    if (one_of(sub_type, {4, 10, 12, 21}))
        return 1;
    if (one_of(sub_type, {5, 9, 11, 20, 28}))
        return 0;
    if (sub_type == 22)
        return 2;
    return -1;
}

int sensor_event_level(int32_t sub_type)
{
    if (one_of(sub_type, {1, 7, 9, 11, 13, 14, 15, 26, 29, 31, 35, 37, 39, 42, 44, 46, 48, 93, 94}))
        return 1;
    if (one_of(sub_type, {5, 6, 25, 41, 43, 45, 47}))
        return 0;
    return 2;
}

int level_for_event(int32_t type, int32_t sub_type)
{
    switch (type)
    {
    case EVENT_TYPE_OBJECT:
        return object_event_level(sub_type);
    case EVENT_TYPE_SENSOR:
        return sensor_event_level(sub_type);
    default:
        return 1;
    }
}

#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

struct KorvelElement;

using KorvelElementPtr = std::shared_ptr<KorvelElement>;
// Elements by station id, ascending.
using ElementMap = std::map<int32_t, KorvelElementPtr>;

// One object group, object or sensor of the station's guard structure.
// Station fields start at -1 so nothing goes out undefined before the station's
// record (or, for groups created while loading objects, their group document)
// fills them.
struct KorvelElement
{
    int32_t ID = -1;
    int32_t Group = -1;
    int32_t ObjectID = -1;
    int32_t Type = -1;
    std::string Name; // UTF-8
    // Alarm level shown to the video system (0, 1 or 2); set by the bridge,
    // guarded by the model mutex.
    int32_t StateLevel = 0;
    int32_t State = -1; // the station's raw state word
    int32_t Number = -1; // for sensors: the number that events refer to
    // Objects of a group, sensors of an object; guarded by the model mutex.
    ElementMap children;
};

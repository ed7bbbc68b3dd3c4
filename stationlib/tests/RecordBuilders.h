#pragma once

// Records as the tests hand them to a station or a cache: the fields a test
// looks at, everything else at its default.

#include "records/CMS_DeviceData.h"
#include "records/CMS_ObjectData.h"
#include "records/CMS_ObjectGroupData.h"
#include "records/CMS_ObjectPinData.h"
#include "records/CMS_SimpleEventData.h"
#include "records/StationItem.h"

#include <cstdint>
#include <string>

// Every list document the library hands out starts with this line.
constexpr char kListDeclaration[] = "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\r\n";

inline CMS_ObjectData make_object(int32_t id, const std::string& name = "object", int32_t group = 1)
{
    CMS_ObjectData object;
    object.ID = id;
    object.Number = id;
    object.Group = group;
    object.Name = name;
    return object;
}

inline CMS_ObjectPinData make_pin(int32_t id, int32_t objectId, int32_t index = 0, int32_t flags = 2,
                                  int32_t state = 0)
{
    CMS_ObjectPinData pin;
    pin.ID = id;
    pin.ObjectID = objectId;
    pin.Index = index;
    pin.Flags = flags;
    pin.State = state;
    return pin;
}

inline CMS_DeviceData make_device(int32_t id, const std::string& name = "device")
{
    CMS_DeviceData device;
    device.ID = id;
    device.Number = id;
    device.Name = name;
    return device;
}

inline CMS_ObjectGroupData make_group(int32_t id, const std::string& name = "group")
{
    CMS_ObjectGroupData group;
    group.ID = id;
    group.Number = id;
    group.Name = name;
    return group;
}

inline StationItem make_item(int32_t id, int32_t state = 2, const std::string& text = "item")
{
    StationItem item;
    item.ID = id;
    item.State = state;
    item.Text1 = text;
    return item;
}

inline CMS_SimpleEventData make_event(int16_t type, int16_t subType, int32_t objectId, int32_t objectState = 0)
{
    CMS_SimpleEventData event;
    event.Type = type;
    event.SubType = subType;
    event.ObjectID = objectId;
    event.ObjectState = objectState;
    return event;
}

// An object event that changes no object and is queued for the host.
inline CMS_SimpleEventData make_queued_event(int32_t id, int32_t objectId = 1)
{
    CMS_SimpleEventData event = make_event(2, 6, objectId);
    event.ID = id;
    return event;
}

#pragma once

#include <cstdint>

// The first int32 of an unsolicited station message, scrambled with the rest of
// its data; the records of the change follow it.
enum StationNotifyCode : int32_t
{
    kNotifyObjectAdded = 1000,
    kNotifyObjectRemoved = 1001,
    kNotifyObjectChanged = 1002,
    kNotifyDeviceAdded = 1003,
    kNotifyDeviceRemoved = 1004,
    kNotifyDeviceChanged = 1005,
    kNotifyGroupAdded = 1006,
    kNotifyGroupRemoved = 1007,
    kNotifyGroupChanged = 1008,
    kNotifyPinAdded = 1009,
    kNotifyPinRemoved = 1010,
    kNotifyPinChanged = 1011,
    kNotifyItemAdded = 1012,
    kNotifyItemRemoved = 1013,
    kNotifyItemChanged = 1014,
    kNotifyReserved = 1015,        // carries nothing the library uses
    kNotifyEvent = 1016,
    kNotifyObjectGroupMoved = 1017,  // five int32: object ID, -, group ID, -, -
};

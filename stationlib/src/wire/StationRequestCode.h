#pragma once

#include <cstdint>

// The code in front of every request body sent to the station. The numbers in
// between are not used by the library.
enum StationRequestCode : int32_t
{
    kRequestLogin = 1,

    kRequestLoadObjects = 100,
    kRequestAddObject = 101,
    kRequestRemoveObject = 102,
    kRequestUpdateObject = 103,
    kRequestSendControl = 104,

    kRequestGetObjectSensors = 105,
    kRequestAddSensor = 106,
    kRequestRemoveSensor = 107,
    kRequestUpdateSensor = 108,

    kRequestGetObjectClients = 109,
    kRequestAddClient = 110,
    kRequestRemoveClient = 111,
    kRequestUpdateClient = 112,

    kRequestLoadAllPins = 113,
    kRequestGetObjectPins = 114,
    kRequestAddPin = 115,
    kRequestRemovePin = 116,
    kRequestUpdatePin = 117,

    kRequestLoadDevices = 119,
    kRequestAddDevice = 120,
    kRequestRemoveDevice = 121,
    kRequestUpdateDevice = 122,

    kRequestLoadGroups = 123,
    kRequestAddGroup = 124,
    kRequestRemoveGroup = 125,
    kRequestUpdateGroup = 126,

    kRequestLoadUsers = 127,
    kRequestGetEvents = 134,
    kRequestTransact = 135,
    kRequestPostItem = 136,
    kRequestLoadPersons = 147,
    kRequestGetObjectImages = 155,
    kRequestGetObjectSchedules = 161,
    kRequestGetShifts = 185,

    kRequestLoadConstDevices = 190,
    kRequestLoadConstAdapters = 191,
    kRequestLoadConstDictionaries = 194,
    kRequestGetDeviceTests = 196,
};

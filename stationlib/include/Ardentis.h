/* Station client library: the C interface of libArdentis.so. */
#ifndef ARDENTIS_H
#define ARDENTIS_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define MSC_CALL __stdcall
#else
#define MSC_CALL
#endif

#if defined(ARDENTIS_BUILD)
#define MSC_EXPORT __attribute__((visibility("default")))
#else
#define MSC_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result of every export. 5 is never returned. */
enum MscResult
{
    MSC_OK = 0,
    MSC_ERROR = 1,
    MSC_BAD_ARGUMENT = 2,
    MSC_WAIT_TIMEOUT = 3,
    MSC_NOT_CONNECTED = 4,
    MSC_NO_EVENT = 6,
    MSC_USER_HANDLE_SIGNALED = 7,
    MSC_BAD_HANDLE = 8
};

/* Code argument of the notification callback. */
enum MscNotifyCode
{
    MSC_NOTIFY_OBJECT_ADDED = 0,
    MSC_NOTIFY_OBJECT_REMOVED = 1,
    MSC_NOTIFY_OBJECT_CHANGED = 2,
    MSC_NOTIFY_PIN_ADDED = 3,
    MSC_NOTIFY_PIN_REMOVED = 4,
    MSC_NOTIFY_PIN_CHANGED = 5,
    MSC_NOTIFY_ITEM_ADDED = 6,
    MSC_NOTIFY_ITEM_REMOVED = 7,
    MSC_NOTIFY_ITEM_CHANGED = 8,
    MSC_NOTIFY_DEVICE_ADDED = 9,
    MSC_NOTIFY_DEVICE_REMOVED = 10,
    MSC_NOTIFY_DEVICE_CHANGED = 11,
    MSC_NOTIFY_GROUP_ADDED = 12,
    MSC_NOTIFY_GROUP_REMOVED = 13,
    MSC_NOTIFY_GROUP_CHANGED = 14,
    MSC_NOTIFY_OBJECT_GROUP_MOVED = 15,
    MSC_NOTIFY_CONNECTED = 16,
    MSC_NOTIFY_DISCONNECTED = 17
};

/* Command number of msc_IOCtrl. Blocks 100, 200 and 300 share one order of kinds:
   object, device, sensor, client, pin, object group. */
enum MscIoCtrlCommand
{
    MSC_IOCTL_GET_OBJECT_IDS = 0,
    MSC_IOCTL_GET_DEVICE_IDS = 1,
    MSC_IOCTL_GET_OBJECT_BY_ID = 2,
    MSC_IOCTL_GET_OBJECT_BY_NUMBER = 3,
    MSC_IOCTL_GET_OBJECT_BY_DEVICE = 4,
    MSC_IOCTL_GET_DEVICE_BY_ID = 5,
    MSC_IOCTL_GET_DEVICE_BY_NUMBER = 6,
    MSC_IOCTL_TRANSACT = 7,
    MSC_IOCTL_GET_OBJECT_SENSORS = 8,
    MSC_IOCTL_GET_OBJECT_CLIENTS = 9,
    MSC_IOCTL_GET_OBJECT_PINS = 10,
    MSC_IOCTL_GET_OBJECT_SCHEDULES = 11,
    MSC_IOCTL_GET_LOGIN_VALUE = 12,
    MSC_IOCTL_GET_OBJECT_IMAGES = 13,
    MSC_IOCTL_GET_GROUP_IDS = 14,
    MSC_IOCTL_GET_GROUP_BY_ID = 15,
    MSC_IOCTL_GET_GROUP_BY_NUMBER = 16,
    MSC_IOCTL_GET_EVENTS = 17,
    MSC_IOCTL_GET_DICTIONARY_TEXT = 18,
    MSC_IOCTL_SET_CLIENT_TYPE = 19,
    MSC_IOCTL_GET_DEVICE_TESTS = 20,
    MSC_IOCTL_GET_USERS = 21,
    MSC_IOCTL_GET_DEVICE_TYPES = 22,
    MSC_IOCTL_GET_SHIFTS = 23,
    MSC_IOCTL_GET_EVENTS_RAW = 24,
    MSC_IOCTL_ADD_OBJECT = 100,
    MSC_IOCTL_ADD_DEVICE = 101,
    MSC_IOCTL_ADD_SENSOR = 102,
    MSC_IOCTL_ADD_CLIENT = 103,
    MSC_IOCTL_ADD_PIN = 104,
    MSC_IOCTL_ADD_GROUP = 105,
    MSC_IOCTL_CHANGE_OBJECT = 200,
    MSC_IOCTL_CHANGE_DEVICE = 201,
    MSC_IOCTL_CHANGE_SENSOR = 202,
    MSC_IOCTL_CHANGE_CLIENT = 203,
    MSC_IOCTL_CHANGE_PIN = 204,
    MSC_IOCTL_CHANGE_GROUP = 205,
    MSC_IOCTL_REMOVE_OBJECT = 300,
    MSC_IOCTL_REMOVE_DEVICE = 301,
    MSC_IOCTL_REMOVE_SENSOR = 302,
    MSC_IOCTL_REMOVE_CLIENT = 303,
    MSC_IOCTL_REMOVE_PIN = 304,
    MSC_IOCTL_REMOVE_GROUP = 305,
    MSC_IOCTL_SEND_CONTROL = 400,
    MSC_IOCTL_SEND_CONTROL_BY_ID = 401,
    MSC_IOCTL_POST_ITEM = 402
};

/* Called on an instance's worker thread: the user value given to msc_Create, the
   notification code, the record's XML text (Windows-1251) or null, its length, and
   three integers that are always 0. The result is ignored. */
typedef int32_t(MSC_CALL* MscNotifyCallback)(intptr_t user, int32_t code, const char* text, int32_t length,
                                             int32_t reserved1, int32_t reserved2, int32_t reserved3);

/* A wait handle is a file descriptor that polls readable while signalled; 0 is none. */
MSC_EXPORT int32_t MSC_CALL msc_Initialize(MscNotifyCallback callback);
MSC_EXPORT int32_t MSC_CALL msc_Finalize(void);
MSC_EXPORT int32_t MSC_CALL msc_Create(intptr_t user, int32_t* handle);
MSC_EXPORT int32_t MSC_CALL msc_Open(int32_t handle, const char* host, int32_t port, const char* user,
                                     const char* password);
MSC_EXPORT int32_t MSC_CALL msc_Close(int32_t handle);
MSC_EXPORT int32_t MSC_CALL msc_IsConnected(int32_t handle);
MSC_EXPORT int32_t MSC_CALL msc_WaitEvent(int32_t handle, uint32_t timeout, intptr_t extraHandle);
MSC_EXPORT int32_t MSC_CALL msc_ReadEvent(int32_t handle, char* buffer, int32_t size);
MSC_EXPORT int32_t MSC_CALL msc_ResetEventQueue(int32_t handle);
MSC_EXPORT int32_t MSC_CALL msc_GetLastError(int32_t handle, char* buffer, int32_t length);
MSC_EXPORT int32_t MSC_CALL msc_GetInfo(char* buffer, int32_t size);
MSC_EXPORT int32_t MSC_CALL msc_IOCtrl(int32_t handle, int32_t command, const void* input, int32_t inputSize,
                                       void* output, int32_t outputSize, int32_t* outLength);

/* Pointer types of the exports, for hosts that bind them by name. */
typedef int32_t(MSC_CALL* msc_Initialize_t)(MscNotifyCallback);
typedef int32_t(MSC_CALL* msc_Finalize_t)(void);
typedef int32_t(MSC_CALL* msc_Create_t)(intptr_t, int32_t*);
typedef int32_t(MSC_CALL* msc_Open_t)(int32_t, const char*, int32_t, const char*, const char*);
typedef int32_t(MSC_CALL* msc_Close_t)(int32_t);
typedef int32_t(MSC_CALL* msc_IsConnected_t)(int32_t);
typedef int32_t(MSC_CALL* msc_WaitEvent_t)(int32_t, uint32_t, intptr_t);
typedef int32_t(MSC_CALL* msc_ReadEvent_t)(int32_t, char*, int32_t);
typedef int32_t(MSC_CALL* msc_ResetEventQueue_t)(int32_t);
typedef int32_t(MSC_CALL* msc_GetLastError_t)(int32_t, char*, int32_t);
typedef int32_t(MSC_CALL* msc_GetInfo_t)(char*, int32_t);
typedef int32_t(MSC_CALL* msc_IOCtrl_t)(int32_t, int32_t, const void*, int32_t, void*, int32_t, int32_t*);

#ifdef __cplusplus
}
#endif

#endif

// The twelve exports of libArdentis.so. Compiled into the shared library only,
// where ARDENTIS_BUILD makes them its visible symbols.
//
// Every per-instance export holds its instance for the length of the call, so
// msc_Finalize never deletes an instance that another thread is still using, and
// no exception ever reaches the host.

#include "Ardentis.h"

#include "client/CMS_HelperClientLib.h"
#include "config/CConfig.h"
#include "exports/HandleTable.h"
#include "exports/LibraryInfo.h"
#include "exports/LibraryStartup.h"

#include "platform/Event.h"

#include <atomic>
#include <climits>
#include <memory>
#include <new>
#include <string>

namespace {

using InstanceTable = HandleTable<CMS_HelperClientLib>;
using InstanceHold = InstanceTable::Hold;

constexpr int32_t kClientType = 6;
constexpr char kLibrarySettingsFile[] = "Ardentis.ini";

std::atomic<MscNotifyCallback> g_callback{nullptr};

InstanceTable& instances()
{
    return library_instances();
}

// Runs an export's body after the attach step; any exception becomes `failure`.
template <class Body>
int32_t guarded(int32_t failure, Body body) noexcept
{
    try {
        library_attach();
        return body();
    } catch (...) {
        return failure;
    }
}

// At most size - 1 characters, terminated after them and at size - 1.
void copy_cut(char* buffer, int32_t size, const std::string& text)
{
    int32_t written = 0;
    int32_t room = size - 1;
    CMS_HelperClientLib::CopyToBuffer(buffer, written, room, text);
    buffer[size - 1] = '\0';
}

// A new started instance in the table; its handle, or -1.
int32_t CreateClientLib(intptr_t user)
{
    std::unique_ptr<CMS_HelperClientLib> instance(new (std::nothrow) CMS_HelperClientLib());
    if (!instance)
        return -1;
    instance->Start(g_callback.load(), user, kClientType);
    return instances().Add(std::move(instance));
}

} // namespace

extern "C" {

MSC_EXPORT int32_t MSC_CALL msc_Initialize(MscNotifyCallback callback)
{
    return guarded(MSC_ERROR, [&] {
        // Sockets need no start-up here. Nothing reads these settings; the file
        // is opened as the library always did.
        library_settings().Open(kLibrarySettingsFile);
        g_callback.store(callback);
        return MSC_OK;
    });
}

MSC_EXPORT int32_t MSC_CALL msc_Finalize(void)
{
    return guarded(MSC_ERROR, [] {
        instances().Clear();
        return MSC_OK;
    });
}

MSC_EXPORT int32_t MSC_CALL msc_Create(intptr_t user, int32_t* handle)
{
    return guarded(MSC_ERROR, [&] {
        const int32_t created = CreateClientLib(user);
        if (created < 0)
            return MSC_ERROR;
        if (handle != nullptr)
            *handle = created;
        return MSC_OK;
    });
}

MSC_EXPORT int32_t MSC_CALL msc_Open(int32_t handle, const char* host, int32_t port, const char* user,
                                     const char* password)
{
    return guarded(MSC_NOT_CONNECTED, [&] {
        InstanceHold instance = instances().Acquire(handle);
        if (!instance)
            return MSC_BAD_HANDLE;
        if (host == nullptr || host[0] == '\0' || port <= 0)
            return MSC_BAD_ARGUMENT;
        const bool opened = instance->Open(host, port, user != nullptr ? user : "",
                                           password != nullptr ? password : "");
        return opened ? MSC_OK : MSC_NOT_CONNECTED;
    });
}

MSC_EXPORT int32_t MSC_CALL msc_Close(int32_t handle)
{
    return guarded(MSC_ERROR, [&] {
        InstanceHold instance = instances().Acquire(handle);
        if (!instance)
            return MSC_BAD_HANDLE;
        instance->Close();
        return MSC_OK;
    });
}

MSC_EXPORT int32_t MSC_CALL msc_IsConnected(int32_t handle)
{
    return guarded(MSC_NOT_CONNECTED, [&] {
        InstanceHold instance = instances().Acquire(handle);
        if (!instance)
            return MSC_BAD_HANDLE;
        return instance->GetServerClient().IsConnected() ? MSC_OK : MSC_NOT_CONNECTED;
    });
}

MSC_EXPORT int32_t MSC_CALL msc_WaitEvent(int32_t handle, uint32_t timeout, intptr_t extraHandle)
{
    return guarded(MSC_WAIT_TIMEOUT, [&] {
        InstanceHold instance = instances().Acquire(handle);
        if (!instance)
            return MSC_BAD_HANDLE;
        // The closing event comes first: once msc_Finalize has begun, the
        // instance is gone for the host, whatever else is signalled.
        platform::WaitHandle handles[3] = {instance->GetClosingHandle(), instance->GetEventHandle(),
                                           platform::kInvalidWaitHandle};
        uint32_t count = 2;
        if (extraHandle != 0) {
            // A value that is no descriptor makes the wait fail, as an invalid
            // handle does.
            handles[2] = extraHandle > 0 && extraHandle <= INT_MAX ? static_cast<platform::WaitHandle>(extraHandle)
                                                                   : platform::kInvalidWaitHandle;
            count = 3;
        }
        switch (platform::wait_for_multiple(handles, count, timeout)) {
        case platform::kWaitObject0:
            return MSC_BAD_HANDLE;
        case platform::kWaitObject0 + 1:
            return MSC_OK;
        case platform::kWaitObject0 + 2:
            return MSC_USER_HANDLE_SIGNALED;
        default:
            return MSC_WAIT_TIMEOUT;
        }
    });
}

MSC_EXPORT int32_t MSC_CALL msc_ReadEvent(int32_t handle, char* buffer, int32_t size)
{
    return guarded(MSC_NO_EVENT, [&] {
        InstanceHold instance = instances().Acquire(handle);
        if (!instance)
            return MSC_BAD_HANDLE;
        if (buffer == nullptr || size == 0)
            return MSC_BAD_ARGUMENT;
        return instance->ReadEvent(buffer, size) ? MSC_OK : MSC_NO_EVENT;
    });
}

MSC_EXPORT int32_t MSC_CALL msc_ResetEventQueue(int32_t handle)
{
    return guarded(MSC_ERROR, [&] {
        InstanceHold instance = instances().Acquire(handle);
        if (!instance)
            return MSC_BAD_HANDLE;
        instance->ResetEventQueue();
        return MSC_OK;
    });
}

MSC_EXPORT int32_t MSC_CALL msc_GetLastError(int32_t handle, char* buffer, int32_t length)
{
    return guarded(MSC_ERROR, [&] {
        if (buffer == nullptr || length < 1)
            return MSC_BAD_ARGUMENT;
        InstanceHold instance = instances().Acquire(handle);
        if (!instance) {
            // An empty text rather than whatever the buffer held before.
            buffer[0] = '\0';
            return MSC_BAD_HANDLE;
        }
        copy_cut(buffer, length, instance->GetServerClient().GetLastErrorText());
        return MSC_OK;
    });
}

MSC_EXPORT int32_t MSC_CALL msc_GetInfo(char* buffer, int32_t size)
{
    return guarded(MSC_ERROR, [&] {
        if (buffer == nullptr || size < 1)
            return MSC_ERROR;
        const std::string document = build_info_document();
        if (document.empty())
            return MSC_ERROR;
        copy_cut(buffer, size, document);
        return MSC_OK;
    });
}

MSC_EXPORT int32_t MSC_CALL msc_IOCtrl(int32_t handle, int32_t command, const void* input, int32_t inputSize,
                                       void* output, int32_t outputSize, int32_t* outLength)
{
    return guarded(MSC_ERROR, [&] {
        InstanceHold instance = instances().Acquire(handle);
        if (!instance)
            return MSC_BAD_HANDLE;
        return instance->IOCtrl(command, input, inputSize, output, outputSize, outLength) ? MSC_OK : MSC_ERROR;
    });
}

} // extern "C"

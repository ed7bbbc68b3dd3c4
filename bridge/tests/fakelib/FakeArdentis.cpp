// The exports of the stand-in library; a variant leaves one of them out.

#include "FakeArdentis.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

FakeArdentisState* state()
{
    const char* address = std::getenv(kFakeArdentisStateVariable);
    if (address == nullptr)
        return nullptr;
    return reinterpret_cast<FakeArdentisState*>(static_cast<uintptr_t>(std::strtoull(address, nullptr, 16)));
}

__attribute__((constructor)) void on_load()
{
    if (FakeArdentisState* s = state())
        ++s->loads;
}

__attribute__((destructor)) void on_unload()
{
    if (FakeArdentisState* s = state())
        ++s->unloads;
}

FakeArdentisCall& record(FakeArdentisState& s, const char* name, int32_t handle = 0)
{
    std::lock_guard<std::mutex> lock(s.callsMutex);
    FakeArdentisCall& call = s.calls.emplace_back();
    call.name = name;
    call.handle = handle;
    return call;
}

bool is_instance(const FakeArdentisState& s, int32_t handle)
{
    return handle >= 0 && static_cast<size_t>(handle) < s.instances.size();
}

// At most size - 1 characters and a terminating 0 at size - 1, as the library copies.
void copy_text(char* buffer, int32_t size, const std::string& text)
{
    const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    buffer[size - 1] = '\0';
}

} // namespace

extern "C" {

#ifndef FAKE_ARDENTIS_WITHOUT_msc_Initialize
MSC_EXPORT int32_t MSC_CALL msc_Initialize(MscNotifyCallback callback)
{
    FakeArdentisState* s = state();
    if (s == nullptr)
        return MSC_ERROR;
    record(*s, "msc_Initialize").value = reinterpret_cast<intptr_t>(callback);
    s->callback = callback;
    return MSC_OK;
}
#endif

#ifndef FAKE_ARDENTIS_WITHOUT_msc_Finalize
MSC_EXPORT int32_t MSC_CALL msc_Finalize(void)
{
    FakeArdentisState* s = state();
    if (s == nullptr)
        return MSC_ERROR;
    record(*s, "msc_Finalize");
    s->instances.clear();
    return MSC_OK;
}
#endif

MSC_EXPORT int32_t MSC_CALL msc_Create(intptr_t user, int32_t* handle)
{
    FakeArdentisState* s = state();
    if (s == nullptr)
        return MSC_ERROR;
    record(*s, "msc_Create").value = user;
    if (s->createResult != MSC_OK)
        return s->createResult;
    s->instances.push_back(user);
    if (handle != nullptr)
        *handle = static_cast<int32_t>(s->instances.size() - 1);
    return MSC_OK;
}

MSC_EXPORT int32_t MSC_CALL msc_Open(int32_t handle, const char* host, int32_t port, const char* user,
                                     const char* password)
{
    FakeArdentisState* s = state();
    if (s == nullptr)
        return MSC_ERROR;
    FakeArdentisCall& call = record(*s, "msc_Open", handle);
    call.number = port;
    call.texts = {host ? host : "(null)", user ? user : "(null)", password ? password : "(null)"};
    return is_instance(*s, handle) ? s->openResult : MSC_BAD_HANDLE;
}

MSC_EXPORT int32_t MSC_CALL msc_Close(int32_t handle)
{
    FakeArdentisState* s = state();
    if (s == nullptr)
        return MSC_ERROR;
    record(*s, "msc_Close", handle);
    return is_instance(*s, handle) ? s->closeResult : MSC_BAD_HANDLE;
}

MSC_EXPORT int32_t MSC_CALL msc_IsConnected(int32_t handle)
{
    FakeArdentisState* s = state();
    if (s == nullptr)
        return MSC_ERROR;
    record(*s, "msc_IsConnected", handle);
    return is_instance(*s, handle) ? s->isConnectedResult : MSC_BAD_HANDLE;
}

MSC_EXPORT int32_t MSC_CALL msc_WaitEvent(int32_t handle, uint32_t timeout, intptr_t extraHandle)
{
    FakeArdentisState* s = state();
    if (s == nullptr)
        return MSC_ERROR;
    FakeArdentisCall& call = record(*s, "msc_WaitEvent", handle);
    call.number = timeout;
    call.value = extraHandle;
    if (!is_instance(*s, handle))
        return MSC_BAD_HANDLE;
    return s->waitEvent ? s->waitEvent(timeout, extraHandle) : s->waitResult;
}

MSC_EXPORT int32_t MSC_CALL msc_ReadEvent(int32_t handle, char* buffer, int32_t size)
{
    FakeArdentisState* s = state();
    if (s == nullptr)
        return MSC_ERROR;
    record(*s, "msc_ReadEvent", handle).number = size;
    if (!is_instance(*s, handle))
        return MSC_BAD_HANDLE;
    if (buffer == nullptr || size == 0)
        return MSC_BAD_ARGUMENT;
    return s->readEvent ? s->readEvent(buffer, size) : MSC_NO_EVENT;
}

MSC_EXPORT int32_t MSC_CALL msc_ResetEventQueue(int32_t handle)
{
    FakeArdentisState* s = state();
    if (s == nullptr)
        return MSC_ERROR;
    record(*s, "msc_ResetEventQueue", handle);
    return is_instance(*s, handle) ? s->resetResult : MSC_BAD_HANDLE;
}

MSC_EXPORT int32_t MSC_CALL msc_GetLastError(int32_t handle, char* buffer, int32_t length)
{
    FakeArdentisState* s = state();
    if (s == nullptr)
        return MSC_ERROR;
    record(*s, "msc_GetLastError", handle).number = length;
    if (buffer == nullptr || length < 1)
        return MSC_BAD_ARGUMENT;
    if (!is_instance(*s, handle))
        return MSC_OK;
    if (s->lastErrorResult != MSC_OK)
        return s->lastErrorResult;
    copy_text(buffer, length, s->lastError);
    return MSC_OK;
}

#ifndef FAKE_ARDENTIS_WITHOUT_msc_GetInfo
MSC_EXPORT int32_t MSC_CALL msc_GetInfo(char* buffer, int32_t size)
{
    FakeArdentisState* s = state();
    if (s == nullptr)
        return MSC_ERROR;
    record(*s, "msc_GetInfo").number = size;
    if (buffer == nullptr || size < 1)
        return MSC_ERROR;
    if (s->infoResult != MSC_OK)
        return s->infoResult;
    copy_text(buffer, size, s->info);
    return MSC_OK;
}
#endif

MSC_EXPORT int32_t MSC_CALL msc_IOCtrl(int32_t handle, int32_t command, const void* input, int32_t inputSize,
                                       void* output, int32_t outputSize, int32_t* outLength)
{
    FakeArdentisState* s = state();
    if (s == nullptr)
        return MSC_ERROR;
    FakeArdentisCall& call = record(*s, "msc_IOCtrl", handle);
    call.command = command;
    call.hasInput = input != nullptr;
    call.inputSize = inputSize;
    if (input != nullptr && inputSize > 0)
        call.input.assign(static_cast<const char*>(input), static_cast<size_t>(inputSize));
    call.hasOutput = output != nullptr;
    call.outputSize = outputSize;
    // Only blocks that carry a document in are kept whole; a large output buffer is not copied.
    if (output != nullptr && outputSize > 0 && outputSize <= 4096)
        call.output.assign(static_cast<const char*>(output), static_cast<size_t>(outputSize));
    call.hasOutLength = outLength != nullptr;
    if (!is_instance(*s, handle))
        return MSC_BAD_HANDLE;
    if (outLength != nullptr)
        *outLength = 0;
    return s->ioctrl ? s->ioctrl(command, input, inputSize, output, outputSize, outLength) : MSC_ERROR;
}

} // extern "C"

#pragma once

// A stand-in for the station library in the binding tests. It records every call
// and answers as the test scripts it. The script lives in the test, which hands its
// address over in the environment, so it outlives the library and sees it unloaded.

#include "Ardentis.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

constexpr char kFakeArdentisStateVariable[] = "KORVEL_FAKE_ARDENTIS_STATE";

struct FakeArdentisCall
{
    std::string name;
    int32_t handle = 0;
    int32_t command = 0;         // msc_IOCtrl
    intptr_t value = 0;          // msc_Create's user value, msc_WaitEvent's extra handle
    int64_t number = 0;          // port, time-out, size or length
    std::vector<std::string> texts; // msc_Open: host, user name, password
    // msc_IOCtrl: its blocks as they came (the output block before any answer).
    bool hasInput = false;
    std::string input;
    int32_t inputSize = 0;
    bool hasOutput = false;
    std::string output;
    int32_t outputSize = 0;
    bool hasOutLength = false;
};

struct FakeArdentisState
{
    // Library loads and unloads seen (its constructor and destructor).
    int loads = 0;
    int unloads = 0;
    // A deque, so a call being filled in stays where it is while another
    // thread's call is added (under the mutex).
    std::deque<FakeArdentisCall> calls;
    std::mutex callsMutex;

    // What the library holds: the callback of msc_Initialize and its instances.
    MscNotifyCallback callback = nullptr;
    std::vector<intptr_t> instances; // user values by handle; emptied by msc_Finalize

    // Answers. Per-instance exports give 8 for a handle that is not an instance,
    // as the library does, before these are consulted.
    int32_t createResult = MSC_OK;
    int32_t openResult = MSC_OK;
    int32_t closeResult = MSC_OK;
    int32_t isConnectedResult = MSC_OK;
    int32_t waitResult = MSC_OK;
    int32_t resetResult = MSC_OK;
    int32_t lastErrorResult = MSC_OK;
    int32_t infoResult = MSC_OK;
    std::string lastError;
    std::string info;
    // When set, msc_WaitEvent answers through it instead of waitResult.
    std::function<int32_t(uint32_t timeout, intptr_t extraHandle)> waitEvent;
    std::function<int32_t(char* buffer, int32_t size)> readEvent;
    std::function<int32_t(int32_t command, const void* input, int32_t inputSize, void* output, int32_t outputSize,
                          int32_t* outLength)>
        ioctrl;

    std::vector<std::string> callNames() const
    {
        std::vector<std::string> names;
        for (const FakeArdentisCall& call : calls)
            names.push_back(call.name);
        return names;
    }
};

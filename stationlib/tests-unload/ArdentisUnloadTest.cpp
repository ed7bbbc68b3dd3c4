// A host that unloads libArdentis.so without msc_Finalize while its instances are
// open. CTest runs each test in a process of its own and nothing else here loads
// the library, so it really goes: its instances must be deleted, their threads
// joined, while the containers, dictionaries and log they use still stand.

#include "Ardentis.h"
#include "ArdentisHost.h"
#include "RecordBuilders.h"
#include "ScriptedStation.h"
#include "testsupport/TestFolder.h"

#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

int32_t MSC_CALL ignore_notification(intptr_t, int32_t, const char*, int32_t, int32_t, int32_t, int32_t)
{
    return 0;
}

TEST(ArdentisUnloadTest, UnloadWithoutFinalizeDeletesOpenInstancesFirst)
{
    TestFolder folder;
    ::setenv("ARDENTIS_TEST_EXECUTABLE_FOLDER", folder.Folder().c_str(), 1);
    ::setenv("ARDENTIS_TEST_LIBRARY_FOLDER", folder.Folder().c_str(), 1);
    ::setenv("ARDENTIS_TEST_TIME_SCALE", std::to_string(kArdentisTimeScale).c_str(), 1);
    stationsim::StationSimulator simulator;
    stationsim::ScriptedStation station{simulator};
    station.AddAccount("operator", "secret");
    station.AddGroup(make_group(1));
    station.AddObject(make_object(1));
    ASSERT_TRUE(simulator.Start());

    platform::LibraryHandle library = platform::load_library(ARDENTIS_LIBRARY_PATH);
    ASSERT_NE(library, nullptr);
    auto find = [library](const char* name) { return platform::find_library_symbol(library, name); };
    const auto initialize = reinterpret_cast<msc_Initialize_t>(find("msc_Initialize"));
    const auto create = reinterpret_cast<msc_Create_t>(find("msc_Create"));
    const auto open = reinterpret_cast<msc_Open_t>(find("msc_Open"));
    ASSERT_TRUE(initialize && create && open);
    // A thread that ran the library's code holds the library through its
    // thread-local converters until it ends; the host's calls run on one that does.
    std::thread([&] {
        ASSERT_EQ(initialize(ignore_notification), MSC_OK);
        int32_t handles[3] = {-1, -1, -1};
        for (int32_t& handle : handles)
            ASSERT_EQ(create(0, &handle), MSC_OK);
        // The last one stays closed; its worker thread runs all the same.
        EXPECT_EQ(open(handles[0], "127.0.0.1", simulator.GetPort(), "operator", "secret"), MSC_OK);
        EXPECT_EQ(open(handles[1], "127.0.0.1", simulator.GetPort(), "operator", "secret"), MSC_OK);
    }).join();

    // Sensor events keep the workers applying them, through the state dictionary,
    // while the library goes.
    std::atomic<bool> unloaded{false};
    std::thread events([&] {
        while (!unloaded)
            station.NotifyEvent(make_event(3, 2, 1));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(platform::free_library(library));
    unloaded = true;
    events.join();
    EXPECT_EQ(dlopen(ARDENTIS_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library stayed loaded";
    simulator.Stop();
}

} // namespace

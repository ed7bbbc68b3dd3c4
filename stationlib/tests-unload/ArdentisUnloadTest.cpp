// A host that unloads libArdentis.so without msc_Finalize while its instances are
// open. CTest runs each test in a process of its own and nothing else here loads
// the library, so it really goes: its instances must be deleted, their threads
// joined, while the containers, dictionaries and log they use still stand.

#include "Ardentis.h"
#include "ArdentisHost.h"
#include "RecordBuilders.h"
#include "ScriptedStation.h"
#include "wire/StationNotifyCode.h"
#include "testsupport/TestFolder.h"
#include "testsupport/WaitUntil.h"

#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

// What the host's callback saw of the object documents.
std::atomic<int> g_documents{0}, g_bad{0};

// One "objectlist" holding one "object", of the length given.
bool is_object_document(const char* text, int32_t length)
{
    if (text == nullptr || std::strlen(text) != static_cast<size_t>(length)
        || std::strncmp(text, kListDeclaration, std::strlen(kListDeclaration)) != 0)
        return false;
    TiXmlDocument document;
    document.Parse(text);
    const TiXmlElement* root = document.RootElement();
    return !document.Error() && root != nullptr && root->ValueStr() == "objectlist"
        && root->FirstChildElement("object") != nullptr;
}

int32_t MSC_CALL check_notification(intptr_t, int32_t code, const char* text, int32_t length, int32_t, int32_t,
                                    int32_t)
{
    if (code != MSC_NOTIFY_OBJECT_CHANGED)
        return 0;
    ++g_documents;
    g_bad += is_object_document(text, length) ? 0 : 1;
    // A slow host: the station's notifications pile up behind the workers, so a
    // batch of them is still queued when the library goes, and is dropped.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
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
    ASSERT_EQ(initialize(check_notification), MSC_OK);
    int32_t handles[3] = {-1, -1, -1};
    for (int32_t& handle : handles)
        ASSERT_EQ(create(0, &handle), MSC_OK);
    // The last one stays closed; its worker thread runs all the same.
    EXPECT_EQ(open(handles[0], "127.0.0.1", simulator.GetPort(), "operator", "secret"), MSC_OK);
    EXPECT_EQ(open(handles[1], "127.0.0.1", simulator.GetPort(), "operator", "secret"), MSC_OK);

    // Object changes, rendered as documents, and sensor events, applied through
    // the state dictionary, far more than the host takes in before the library goes.
    for (int32_t round = 0; round < 1500; ++round) {
        CMS_ObjectData object = make_object(1, "объект");
        object.State = round;
        station.NotifyObject(kNotifyObjectChanged, object);
        station.NotifyEvent(make_event(3, 2, 1));
    }
    ASSERT_TRUE(wait_until([] { return g_documents > 100; }));
    EXPECT_TRUE(platform::free_library(library));
    EXPECT_EQ(dlopen(ARDENTIS_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library stayed loaded";
    EXPECT_EQ(g_bad, 0) << "of " << g_documents << " documents";
    simulator.Stop();
}

} // namespace

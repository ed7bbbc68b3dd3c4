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
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr int32_t kObjectCount = 20;
// Object changes the station sends, far more than the slow host below takes in
// before the library goes.
constexpr int32_t kChangeCount = 1500;

// What the host's callback saw: every object document is checked as it comes.
struct CallbackLog
{
    std::atomic<bool> unloading{false};
    std::atomic<int> documents{0};
    std::atomic<int> duringUnload{0};
    std::atomic<int> bad{0};
};
CallbackLog g_log;

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
    if (g_log.unloading)
        ++g_log.duringUnload;
    ++g_log.documents;
    if (!is_object_document(text, length))
        ++g_log.bad;
    // A slow host, so the station's notifications pile up behind the worker and
    // a batch of them is still to render when the library goes.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    return 0;
}

// A host with two open instances and one closed, and a station that sends
// object changes, far more than the host takes in, and sensor events, which the
// workers apply through the state dictionary.
class BusyHost
{
public:
    BusyHost() : m_station(m_simulator)
    {
        g_log.unloading = false;
        g_log.documents = g_log.duringUnload = g_log.bad = 0;
        ::setenv("ARDENTIS_TEST_EXECUTABLE_FOLDER", m_folder.Folder().c_str(), 1);
        ::setenv("ARDENTIS_TEST_LIBRARY_FOLDER", m_folder.Folder().c_str(), 1);
        ::setenv("ARDENTIS_TEST_TIME_SCALE", std::to_string(kArdentisTimeScale).c_str(), 1);
        m_station.AddAccount("operator", "secret");
        m_station.AddGroup(make_group(1));
        for (int32_t id = 1; id <= kObjectCount; ++id)
            m_station.AddObject(make_object(id, "объект " + std::to_string(id)));
    }
    ~BusyHost()
    {
        if (m_changes.joinable())
            m_changes.join();
        m_simulator.Stop();
    }

    // Loads the library, opens the instances and has the station send; true once
    // the host's callback sees documents coming.
    bool Start()
    {
        if (!m_simulator.Start())
            return false;
        m_library = platform::load_library(ARDENTIS_LIBRARY_PATH);
        if (m_library == nullptr)
            return false;
        auto find = [this](const char* name) { return platform::find_library_symbol(m_library, name); };
        const auto initialize = reinterpret_cast<msc_Initialize_t>(find("msc_Initialize"));
        const auto create = reinterpret_cast<msc_Create_t>(find("msc_Create"));
        const auto open = reinterpret_cast<msc_Open_t>(find("msc_Open"));
        if (!initialize || !create || !open || initialize(check_notification) != MSC_OK)
            return false;
        int32_t handles[3] = {-1, -1, -1};
        for (int32_t& handle : handles)
            if (create(0, &handle) != MSC_OK)
                return false;
        // The last one stays closed; its worker thread runs all the same.
        for (int i = 0; i < 2; ++i)
            if (open(handles[i], "127.0.0.1", m_simulator.GetPort(), "operator", "secret") != MSC_OK)
                return false;
        m_changes = std::thread([this] {
            for (int32_t round = 0; round < kChangeCount; ++round) {
                CMS_ObjectData object = make_object(round % kObjectCount + 1, "объект");
                object.State = round;
                m_station.NotifyObject(kNotifyObjectChanged, object);
                m_station.NotifyEvent(make_event(3, 2, object.ID));
            }
        });
        return wait_until([] { return g_log.documents > 100; });
    }

    // Everything is sent; the workers still have most of it to render.
    void FinishSending() { m_changes.join(); }

    platform::LibraryHandle Library() const { return m_library; }

private:
    TestFolder m_folder;
    stationsim::StationSimulator m_simulator;
    stationsim::ScriptedStation m_station;
    platform::LibraryHandle m_library = nullptr;
    std::thread m_changes;
};

// Every document the host saw was whole, and some came while the library went.
bool only_whole_documents()
{
    return g_log.bad == 0 && g_log.duringUnload > 0;
}

TEST(ArdentisUnloadTest, UnloadWithoutFinalizeDeletesOpenInstancesFirst)
{
    BusyHost host;
    ASSERT_TRUE(host.Start());
    host.FinishSending();
    g_log.unloading = true;
    EXPECT_TRUE(platform::free_library(host.Library()));
    EXPECT_EQ(dlopen(ARDENTIS_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library stayed loaded";
    EXPECT_TRUE(only_whole_documents()) << g_log.bad << " bad of " << g_log.duringUnload
                                        << " documents rendered during the unload";
}

// A host left standing at exit, as a host's globals.
BusyHost* g_standingHost = nullptr;

// Registered before the library loads, so it runs after the library's globals
// are gone at exit: the exit code tells what the host saw meanwhile. Only then
// is the standing host deleted, its station's threads joined and its folder removed.
void report_documents_at_exit()
{
    const bool whole = only_whole_documents();
    delete g_standingHost;
    ::_exit(whole ? 0 : 1);
}

TEST(ArdentisUnloadTest, ExitWithoutFinalizeDeletesOpenInstancesFirst)
{
    EXPECT_EXIT(
        {
            std::atexit(report_documents_at_exit);
            g_standingHost = new BusyHost;
            if (!g_standingHost->Start())
                ::_exit(2);
            g_standingHost->FinishSending();
            g_log.unloading = true;
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace

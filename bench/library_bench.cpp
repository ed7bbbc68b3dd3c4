// libArdentis.so alone, loaded as a host loads it, against the station
// simulator in this process: request round trips per second (the sensors of
// one object) and station events per second through msc_WaitEvent and
// msc_ReadEvent. The library's folders point into a temporary folder.
#include "BenchWorld.h"

#include "Ardentis.h"
#include "ScriptedStation.h"
#include "StationSimulator.h"

#include "platform/DynamicLibrary.h"

#include "BenchmarkMain.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kLogin[] = "bench";
constexpr char kPassword[] = "bench-pass";
constexpr int32_t kEventBufferSize = 32000;
constexpr int32_t kListBufferSize = 65536;

int32_t MSC_CALL ignore_notification(intptr_t, int32_t, const char*, int32_t, int32_t, int32_t, int32_t)
{
    return 0;
}

// One client instance, open on the simulated station, for the whole program.
class LibraryHost
{
public:
    static LibraryHost& Instance()
    {
        static LibraryHost host;
        return host;
    }

    const eventpath::BenchWorld& World() const { return m_world; }
    stationsim::ScriptedStation& Station() { return m_station; }
    int32_t Handle() const { return m_handle; }

    msc_WaitEvent_t WaitEvent = nullptr;
    msc_ReadEvent_t ReadEvent = nullptr;
    msc_IOCtrl_t IOCtrl = nullptr;

private:
    LibraryHost() : m_world(eventpath::WorldShape{}), m_station(m_simulator)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvel-library-bench-XXXXXX").string();
        if (::mkdtemp(&pattern[0]) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_folder = pattern;
        // The library writes its settings beside the host and reads the
        // working folder; both stay in the temporary folder.
        ::setenv("ARDENTIS_TEST_EXECUTABLE_FOLDER", m_folder.c_str(), 1);
        ::setenv("ARDENTIS_TEST_LIBRARY_FOLDER", m_folder.c_str(), 1);
        std::filesystem::current_path(m_folder);

        m_world.Populate(m_station, kLogin, kPassword);
        if (!m_simulator.Start())
            throw std::runtime_error("the station simulator did not start");

        m_library = platform::load_library(ARDENTIS_LIBRARY_PATH);
        if (m_library == nullptr)
            throw std::runtime_error(std::string("cannot load ") + ARDENTIS_LIBRARY_PATH);
        Bind(m_initialize, "msc_Initialize");
        Bind(m_finalize, "msc_Finalize");
        Bind(m_create, "msc_Create");
        Bind(m_open, "msc_Open");
        Bind(WaitEvent, "msc_WaitEvent");
        Bind(ReadEvent, "msc_ReadEvent");
        Bind(IOCtrl, "msc_IOCtrl");
        if (m_initialize(ignore_notification) != MSC_OK || m_create(0, &m_handle) != MSC_OK ||
            m_open(m_handle, "127.0.0.1", m_simulator.GetPort(), kLogin, kPassword) != MSC_OK)
            throw std::runtime_error("the library did not log into the station");
    }

    ~LibraryHost()
    {
        m_finalize();
        platform::free_library(m_library);
        m_simulator.Stop();
        std::error_code ignored;
        std::filesystem::current_path("/", ignored);
        std::filesystem::remove_all(m_folder, ignored);
    }

    template <class F>
    void Bind(F& function, const char* name)
    {
        function = reinterpret_cast<F>(platform::find_library_symbol(m_library, name));
        if (function == nullptr)
            throw std::runtime_error(std::string("no export ") + name);
    }

    std::string m_folder;
    eventpath::BenchWorld m_world;
    stationsim::StationSimulator m_simulator;
    stationsim::ScriptedStation m_station;
    platform::LibraryHandle m_library = nullptr;
    msc_Initialize_t m_initialize = nullptr;
    msc_Finalize_t m_finalize = nullptr;
    msc_Create_t m_create = nullptr;
    msc_Open_t m_open = nullptr;
    int32_t m_handle = -1;
};

// One request and its answer: the sensor list of an object, as XML.
void BM_SensorListRoundTrip(benchmark::State& state)
{
    LibraryHost& host = LibraryHost::Instance();
    const int32_t objectId = host.World().Sensor(0).objectId;
    std::vector<char> buffer(kListBufferSize);
    for (auto _ : state) {
        int32_t length = 0;
        if (host.IOCtrl(host.Handle(), MSC_IOCTL_GET_OBJECT_SENSORS, &objectId, sizeof(objectId), buffer.data(),
                        kListBufferSize, &length) != MSC_OK) {
            state.SkipWithError("the sensor request failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SensorListRoundTrip)->UseRealTime()->Unit(benchmark::kMicrosecond);

// A batch of station events, sent by another thread while this one waits for
// and reads them one by one, as the bridge does.
void BM_EventsThroughWaitAndRead(benchmark::State& state)
{
    LibraryHost& host = LibraryHost::Instance();
    const uint64_t batch = static_cast<uint64_t>(state.range(0));
    std::vector<char> buffer(kEventBufferSize);
    uint64_t next = 0;
    for (auto _ : state) {
        const uint64_t first = next;
        next += batch;
        std::thread feeder([&host, first, batch] {
            for (uint64_t k = first; k < first + batch; ++k)
                host.Station().NotifyEvent(host.World().MakeEvent(k));
        });
        uint64_t read = 0;
        bool failed = false;
        while (read < batch && !failed) {
            const int32_t waited = host.WaitEvent(host.Handle(), 5000, 0);
            if (waited != MSC_OK) {
                failed = true;
                break;
            }
            while (host.ReadEvent(host.Handle(), buffer.data(), kEventBufferSize) == MSC_OK)
                ++read;
        }
        feeder.join();
        if (failed) {
            state.SkipWithError("the events stopped coming");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_EventsThroughWaitAndRead)->Arg(10000)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

KORVEL_BENCHMARK_MAIN("usage: library_bench [--benchmark_* flags]\n"
                      "libArdentis.so alone, loaded as a host loads it, against the station simulator in\n"
                      "this process: request round trips per second and station events per second\n"
                      "through msc_WaitEvent and msc_ReadEvent.")

// The station worker's own cost per event, without the library or the server:
// reading event documents as the library renders them (parse_event_list), a
// sensor list of one object (parse_element_list), and the whole application of
// one event document to the tree of the event-path benchmark's world, with no
// video-system client connected.
#include "BenchWorld.h"

#include "client/CMS_HelperClientLib.h"
#include "records/CMS_ObjectSensorData.h"

#include "model/ElementModel.h"
#include "model/EventDictionary.h"
#include "model/StationListReader.h"
#include "station/StationWorker.h"

#include "BenchmarkMain.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Enough distinct documents that every sensor of the world sees alarm and
// restore in turn.
std::vector<std::string> event_documents(const eventpath::BenchWorld& world)
{
    std::vector<std::string> documents;
    for (uint64_t k = 0; k < 2 * world.SensorCount(); ++k)
        documents.push_back(CMS_HelperClientLib::RecordToXml(world.MakeEvent(k), "event"));
    return documents;
}

// The tree the worker loads for the world, every sensor at rest.
void load_world(const eventpath::BenchWorld& world)
{
    std::lock_guard<std::mutex> lock(g_model_mutex);
    g_group_map.clear();
    for (size_t i = 0; i < world.SensorCount(); ++i) {
        const eventpath::BenchSensor& s = world.Sensor(i);
        KorvelElementPtr& group = g_group_map[s.groupId];
        if (!group) {
            group = std::make_shared<KorvelElement>();
            group->ID = s.groupId;
        }
        KorvelElementPtr& object = group->children[s.objectId];
        if (!object) {
            object = std::make_shared<KorvelElement>();
            object->ID = s.objectId;
            object->Group = s.groupId;
        }
        auto sensor = std::make_shared<KorvelElement>();
        sensor->ID = s.id;
        sensor->Group = s.groupId;
        sensor->ObjectID = s.objectId;
        sensor->Number = s.number;
        sensor->StateLevel = eventpath::BenchWorld::kLevelAtRest;
        object->children[s.id] = sensor;
    }
    EventsDictionary[eventpath::BenchWorld::kSensorEvent][eventpath::BenchWorld::kAlarmSubType] = "alarm";
    EventsDictionary[eventpath::BenchWorld::kSensorEvent][eventpath::BenchWorld::kRestoreSubType] = "restore";
}

void BM_ParseEventList(benchmark::State& state)
{
    const eventpath::BenchWorld world{eventpath::WorldShape{}};
    const std::vector<std::string> documents = event_documents(world);
    size_t next = 0;
    for (auto _ : state) {
        KorvelEventList events;
        if (!parse_event_list(documents[next], events))
            state.SkipWithError("an event document did not read");
        benchmark::DoNotOptimize(events.data());
        next = (next + 1) % documents.size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_ParseEventList);

void BM_ParseSensorList(benchmark::State& state)
{
    const eventpath::BenchWorld world{eventpath::WorldShape{}};
    std::vector<CMS_ObjectSensorData> sensors(static_cast<size_t>(eventpath::WorldShape{}.sensorsPerObject));
    std::vector<const CObjectStoreXmlHelper*> records;
    for (size_t i = 0; i < sensors.size(); ++i) {
        const eventpath::BenchSensor& s = world.Sensor(i);
        sensors[i].ID = s.id;
        sensors[i].ObjectID = s.objectId;
        sensors[i].Number = s.number;
        sensors[i].Type = 1;
        sensors[i].Name = "\xC4\xE0\xF2\xF7\xE8\xEA " + std::to_string(s.number);
        records.push_back(&sensors[i]);
    }
    const std::string document = CMS_HelperClientLib::BuildListXml(records, "sensor");
    for (auto _ : state) {
        ElementMap elements;
        if (!parse_element_list(document, "sensorlist", elements))
            state.SkipWithError("the sensor list did not read");
        benchmark::DoNotOptimize(elements.size());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * records.size()));
}
BENCHMARK(BM_ParseSensorList);

// What the worker does with each document it reads: parse, name, apply, hand
// the changed sensor to the (empty) list of connections.
void BM_ApplyEventDocument(benchmark::State& state)
{
    const eventpath::BenchWorld world{eventpath::WorldShape{}};
    const std::vector<std::string> documents = event_documents(world);
    load_world(world);
    size_t next = 0;
    for (auto _ : state) {
        apply_event_document(documents[next]);
        next = (next + 1) % documents.size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_ApplyEventDocument);

} // namespace

KORVEL_BENCHMARK_MAIN("usage: bridge_reader_bench [--benchmark_* flags]\n"
                      "The station worker alone: event and sensor list documents read, and one event\n"
                      "document applied to the tree, with no video-system client.")

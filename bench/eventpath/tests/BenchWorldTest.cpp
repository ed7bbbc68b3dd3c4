// The benchmark's world and event schedule: every event must move exactly one
// sensor's level, by the bridge's own tables, or the figures count the wrong
// thing.

#include "BenchWorld.h"

#include "model/AlarmLevels.h"
#include "model/KorvelEvent.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace eventpath {
namespace {

const WorldShape kSmall{2, 2, 3};  // 4 objects, 12 sensors

TEST(BenchWorld, LayoutHasUniqueSensorsNumberedWithinTheirObject)
{
    const BenchWorld world(kSmall);
    ASSERT_EQ(world.SensorCount(), 12u);
    EXPECT_EQ(world.ElementCount(), 2u + 4u + 12u);
    std::set<int32_t> ids;
    std::map<int32_t, std::set<int16_t>> numbersByObject;
    for (size_t s = 0; s < world.SensorCount(); ++s) {
        const BenchSensor& sensor = world.Sensor(s);
        EXPECT_TRUE(ids.insert(sensor.id).second) << sensor.id;
        EXPECT_TRUE(numbersByObject[sensor.objectId].insert(sensor.number).second);
        EXPECT_EQ(world.SensorIndexOf(sensor.id), static_cast<long>(s));
    }
    EXPECT_EQ(numbersByObject.size(), 4u);
    EXPECT_EQ(world.SensorIndexOf(-5), -1);
}

TEST(BenchWorld, EventsGoThroughTheBridgeTablesAsIntended)
{
    // Sensors start at rest: state 0 loads as level 1.
    EXPECT_EQ(level_from_state(0), BenchWorld::kLevelAtRest);
    EXPECT_EQ(level_for_event(EVENT_TYPE_SENSOR, BenchWorld::kAlarmSubType), BenchWorld::kLevelInAlarm);
    EXPECT_EQ(level_for_event(EVENT_TYPE_SENSOR, BenchWorld::kRestoreSubType), BenchWorld::kLevelAtRest);
    EXPECT_EQ(BenchWorld::kSensorEvent, EVENT_TYPE_SENSOR);
}

TEST(BenchWorld, EveryEventChangesExactlyOneLevelAndTheScheduleAgreesWithItself)
{
    const BenchWorld world(kSmall);
    std::vector<int32_t> levels(world.SensorCount(), BenchWorld::kLevelAtRest);
    for (uint64_t k = 0; k < 100; ++k) {
        for (size_t s = 0; s < world.SensorCount(); ++s) {
            ASSERT_EQ(world.LevelBefore(s, k), levels[s]) << "sensor " << s << " before event " << k;
            const uint64_t first = world.FirstEventOf(s, k);
            EXPECT_GE(first, k);
            EXPECT_LT(first, k + world.SensorCount());
            EXPECT_EQ(world.SensorOfEvent(first), s);
        }
        const size_t sensor = world.SensorOfEvent(k);
        const int32_t level = world.LevelOfEvent(k);
        ASSERT_NE(level, levels[sensor]) << "event " << k << " changes nothing";
        levels[sensor] = level;

        const CMS_SimpleEventData event = world.MakeEvent(k);
        EXPECT_EQ(event.Type, BenchWorld::kSensorEvent);
        EXPECT_EQ(level_for_event(event.Type, event.SubType), level);
        EXPECT_EQ(event.ObjectID, world.Sensor(sensor).objectId);
        EXPECT_EQ(event.ObjectGroupID, world.Sensor(sensor).groupId);
        EXPECT_EQ(event.SensorNumber, world.Sensor(sensor).number);
        EXPECT_NE(event.SensorNumber, static_cast<int16_t>(ALL_SENSORS));
    }
}

std::vector<ElementRecord> state_after(const BenchWorld& world, uint64_t events)
{
    std::vector<ElementRecord> records;
    std::set<int32_t> groups;
    std::set<int32_t> objects;
    for (size_t s = 0; s < world.SensorCount(); ++s) {
        const BenchSensor& sensor = world.Sensor(s);
        if (groups.insert(sensor.groupId).second) {
            ElementRecord group;
            group.level = LEVEL_GROUP;
            group.ID = sensor.groupId;
            records.push_back(group);
        }
        if (objects.insert(sensor.objectId).second) {
            ElementRecord object;
            object.level = LEVEL_OBJECT;
            object.ID = sensor.objectId;
            records.push_back(object);
        }
        ElementRecord record;
        record.level = LEVEL_SENSOR;
        record.ID = sensor.id;
        record.StateLevel = world.LevelBefore(s, events);
        records.push_back(record);
    }
    return records;
}

TEST(BenchWorld, CheckStateFindsWhatIsWrongWithAState)
{
    const BenchWorld world(kSmall);
    const uint64_t events = 17;
    EXPECT_EQ(world.CheckState(state_after(world, events), events), "");
    // Taken before the last event: one sensor is a level behind.
    EXPECT_NE(world.CheckState(state_after(world, events - 1), events), "");

    std::vector<ElementRecord> missing = state_after(world, events);
    missing.pop_back();
    EXPECT_NE(world.CheckState(missing, events), "");

    std::vector<ElementRecord> twice = state_after(world, events);
    twice[0] = twice.back();  // a group replaced by a second copy of a sensor
    EXPECT_NE(world.CheckState(twice, events), "");

    std::vector<ElementRecord> unknown = state_after(world, events);
    unknown.back().ID = 7;
    EXPECT_NE(world.CheckState(unknown, events), "");
}

} // namespace
} // namespace eventpath

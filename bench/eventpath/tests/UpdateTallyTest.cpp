// Matching updates to their events: the counts the throughput figures rest on
// and the pairs the latency figure is taken from.

#include "UpdateTally.h"

#include <gtest/gtest.h>

namespace eventpath {
namespace {

const WorldShape kShape{1, 2, 2};  // 4 sensors

ElementRecord update_for(const BenchWorld& world, uint64_t k)
{
    ElementRecord record;
    record.level = LEVEL_SENSOR;
    record.ID = world.Sensor(world.SensorOfEvent(k)).id;
    record.StateLevel = world.LevelOfEvent(k);
    return record;
}

TEST(UpdateTally, EachUpdateIsMatchedToItsEventWithItsLatency)
{
    const BenchWorld world(kShape);
    SendLog log(0, 10);
    UpdateTally tally(world, log, true);
    for (uint64_t k = 0; k < 10; ++k)
        log.Record(k, 1000 + static_cast<int64_t>(k) * 100);
    for (uint64_t k = 0; k < 10; ++k)
        tally.Take(update_for(world, k), 1500 + static_cast<int64_t>(k) * 100 + static_cast<int64_t>(k));
    EXPECT_EQ(tally.Matched(), 10u);
    EXPECT_EQ(tally.Unexpected(), 0u);
    ASSERT_EQ(tally.Latencies().size(), 10u);
    for (uint64_t k = 0; k < 10; ++k)
        EXPECT_EQ(tally.Latencies()[k], 500 + static_cast<int64_t>(k));
}

TEST(UpdateTally, SensorsMayInterleaveButEachSensorKeepsItsOwnOrder)
{
    const BenchWorld world(kShape);
    SendLog log(0, 8);
    UpdateTally tally(world, log, false);
    for (uint64_t k = 0; k < 8; ++k)
        log.Record(k, 1);
    // Sensors' updates in another order across sensors: 3, 1, 7, 0, 5, 2, 6, 4.
    for (uint64_t k : {3u, 1u, 7u, 0u, 5u, 2u, 6u, 4u})
        tally.Take(update_for(world, k), 2);
    EXPECT_EQ(tally.Matched(), 8u);
    EXPECT_EQ(tally.Unexpected(), 0u);
    EXPECT_TRUE(tally.Latencies().empty());
}

TEST(UpdateTally, UpdatesThatAnswerNoEventAreCountedApart)
{
    const BenchWorld world(kShape);
    SendLog log(0, 8);
    UpdateTally tally(world, log, true);
    log.Record(0, 10);
    log.Record(1, 10);

    ElementRecord wrongLevel = update_for(world, 0);
    wrongLevel.StateLevel = BenchWorld::kLevelAtRest;
    ElementRecord notSent = update_for(world, 2);
    ElementRecord unknown = update_for(world, 1);
    unknown.ID = 99;
    ElementRecord object = update_for(world, 1);
    object.level = LEVEL_OBJECT;
    for (const ElementRecord& record : {wrongLevel, notSent, unknown, object})
        tally.Take(record, 20);
    tally.TakeOtherFrame();
    EXPECT_EQ(tally.Unexpected(), 5u);
    EXPECT_EQ(tally.Matched(), 0u);

    // Nothing was used up: the right updates still match.
    tally.Take(update_for(world, 0), 30);
    tally.Take(update_for(world, 1), 40);
    EXPECT_EQ(tally.Matched(), 2u);
    EXPECT_EQ(tally.Latencies(), (std::vector<int64_t>{20, 30}));
    // Beyond the phase's events nothing matches.
    for (uint64_t k = 2; k < 8; ++k)
        log.Record(k, 50);
    for (uint64_t k = 2; k < 8; ++k)
        tally.Take(update_for(world, k), 60);
    tally.Take(update_for(world, 8), 70);
    EXPECT_EQ(tally.Matched(), 8u);
    EXPECT_EQ(tally.Unexpected(), 6u);
}

TEST(UpdateTally, APhaseInTheMiddleOfTheRunStartsAtItsOwnFirstEvents)
{
    const BenchWorld world(kShape);
    const uint64_t first = 6;  // sensors 2 and 3 come first, then 0 and 1
    SendLog log(first, 8);
    UpdateTally tally(world, log, false);
    for (uint64_t k = first; k < first + 8; ++k)
        log.Record(k, 1);
    // An update of an event before the phase is not one of its own.
    tally.Take(update_for(world, first - 1), 2);
    EXPECT_EQ(tally.Unexpected(), 1u);
    for (uint64_t k = first; k < first + 8; ++k)
        tally.Take(update_for(world, k), 2);
    EXPECT_EQ(tally.Matched(), 8u);
    EXPECT_EQ(tally.Unexpected(), 1u);
}

} // namespace
} // namespace eventpath

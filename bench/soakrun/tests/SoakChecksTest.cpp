// The soak's own judgements: when a footprint has not come back, and when the
// station's request log shows a whole reload of the bridge's tree.

#include "FootprintLog.h"
#include "ReloadTracker.h"

#include "wire/StationRequestCode.h"

#include <gtest/gtest.h>

namespace soak {
namespace {

eventpath::ProcessFootprint footprint(long rssKib, long threads, long descriptors)
{
    eventpath::ProcessFootprint f;
    f.known = true;
    f.rssKib = rssKib;
    f.threads = threads;
    f.descriptors = descriptors;
    return f;
}

TEST(FootprintExcess, MemoryMayOnlyGrowByItsMarginThreadsAndDescriptorsNeitherWay)
{
    FootprintMargins margins;
    margins.rssKib = 1000;
    margins.threads = 0;
    margins.descriptors = 2;
    const eventpath::ProcessFootprint begin = footprint(10000, 6, 10);
    const struct
    {
        eventpath::ProcessFootprint end;
        size_t excess;
    } cases[] = {
        {footprint(11000, 6, 12), 0},  // at every margin
        {footprint(5000, 6, 8), 0},    // memory given back
        {footprint(11001, 6, 10), 1},
        {footprint(10000, 7, 10), 1},
        {footprint(10000, 5, 10), 1},  // a thread gone is as wrong as one more
        {footprint(10000, 6, 7), 1},
        {footprint(20000, 9, 20), 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(footprint_excess(begin, c.end, margins).size(), c.excess)
            << c.end.rssKib << " KiB, " << c.end.threads << " threads, " << c.end.descriptors << " fds";
    EXPECT_EQ(footprint_excess(begin, eventpath::ProcessFootprint(), margins).size(), 1u);
}

TEST(ReloadTracker, AWholeReloadIsEveryObjectsSensorsOnOneLaterConnection)
{
    ReloadTracker tracker(3);
    const auto take = [&tracker](int32_t code, int connection) {
        stationsim::StationRequest request;
        request.code = code;
        request.connection = connection;
        tracker.Take(request);
    };
    take(kRequestGetObjectSensors, 1);
    take(kRequestGetObjectSensors, 1);
    take(kRequestGetObjectSensors, 1);
    EXPECT_EQ(tracker.Reloads(), 1u);
    EXPECT_FALSE(tracker.ReloadedAfter(1));

    // Cut after two objects; the library's own reconnect asks for lists only;
    // the rest of the cut reload on it is not a whole one.
    take(kRequestGetObjectSensors, 2);
    take(kRequestGetObjectSensors, 2);
    take(kRequestLoadObjects, 3);
    take(kRequestGetObjectSensors, 3);
    EXPECT_EQ(tracker.SensorRequestsAfter(1), 2u);
    EXPECT_FALSE(tracker.ReloadedAfter(1));

    for (int i = 0; i < 3; ++i)
        take(kRequestGetObjectSensors, 4);
    EXPECT_TRUE(tracker.ReloadedAfter(1));
    EXPECT_TRUE(tracker.ReloadedAfter(3));
    EXPECT_FALSE(tracker.ReloadedAfter(4));
    EXPECT_EQ(tracker.Reloads(), 2u);
}

} // namespace
} // namespace soak

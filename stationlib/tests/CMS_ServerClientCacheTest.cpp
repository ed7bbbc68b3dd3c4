// The caches of a station connection, filled and changed directly, without a
// station behind them.

#include "client/CMS_ServerClient.h"
#include "client/RecordCache.h"

#include "DictionaryDocuments.h"
#include "RecordBuilders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

void set_data(CMS_SimpleEventData& event, const void* data, size_t size)
{
    ASSERT_TRUE(event.SetDataSize(static_cast<int32_t>(size)));
    std::memcpy(event.Data.data(), data, size);
}

void set_coordinates(CMS_SimpleEventData& event, double lat, double lon, size_t size = 16)
{
    uint8_t bytes[16];
    std::memcpy(bytes, &lat, 8);
    std::memcpy(bytes + 8, &lon, 8);
    set_data(event, bytes, size);
}

std::vector<std::string> object_names(CMS_ServerClient& client)
{
    std::vector<std::string> names;
    CMS_ObjectData object;
    for (int32_t i = 0; client.GetObjectAt(i, object); ++i)
        names.push_back(object.Name);
    return names;
}

std::vector<int32_t> pin_ids(CMS_ServerClient& client)
{
    std::vector<int32_t> ids;
    CMS_ObjectPinData pin;
    for (int32_t i = 0; client.GetPinAt(i, pin); ++i)
        ids.push_back(pin.ID);
    return ids;
}

CMS_ObjectData cached_object(CMS_ServerClient& client, int32_t id)
{
    CMS_ObjectData object;
    EXPECT_TRUE(client.FindObjectByID(id, object));
    return object;
}

// ---- Pin commands --------------------------------------------------------------

TEST(ApplyStateCommandTest, WorksOnTheTwoLowBits)
{
    struct Case
    {
        uint16_t command;
        int32_t state;
        int32_t expected;
    };
    const Case cases[] = {
        {0, 2, 1}, {0, 3, 1}, {4, 0, 1}, {4, 0x70, 0x71},       // on: bit 1 off, bit 0 on
        {1, 7, 4}, {5, 3, 0}, {1, -1, -4},                      // off: both bits cleared
        {2, 1, 3}, {6, 0, 2}, {2, 0x100, 0x102},                // bit 1 on
        {3, 5, 5}, {7, 5, 5}, {65535, 6, 6}, {1000, -1, -1},    // no change
    };
    for (const Case& c : cases)
        EXPECT_EQ(ApplyStateCommand(c.command, c.state), c.expected) << c.command << " on " << c.state;
}

// ---- Adding by key -------------------------------------------------------------

TEST(ServerClientCacheTest, AddedObjectsGoInKeyOrderAfterTheirEquals)
{
    CMS_ServerClient client;
    int32_t index = -1;
    ASSERT_TRUE(client.AddCachedObject(make_object(3, "three"), &index));
    EXPECT_EQ(index, 0);
    ASSERT_TRUE(client.AddCachedObject(make_object(7, "seven"), &index));
    EXPECT_EQ(index, 1);
    ASSERT_TRUE(client.AddCachedObject(make_object(5, "five"), &index));
    EXPECT_EQ(index, 1);
    ASSERT_TRUE(client.AddCachedObject(make_object(5, "five again"), &index));
    EXPECT_EQ(index, 2);
    ASSERT_TRUE(client.AddCachedObject(make_object(1, "one"), &index));
    EXPECT_EQ(index, 0);

    EXPECT_EQ(object_names(client), (std::vector<std::string>{"one", "three", "five", "five again", "seven"}));
    // The lookup finds the first of the equals.
    EXPECT_EQ(cached_object(client, 5).Name, "five");
}

TEST(ServerClientCacheTest, EveryKindIsKeptInKeyOrder)
{
    CMS_ServerClient client;
    for (int32_t id : {30, 10, 20, 10}) {
        ASSERT_TRUE(client.AddCachedDevice(make_device(id), nullptr));
        ASSERT_TRUE(client.AddCachedGroup(make_group(id), nullptr));
        ASSERT_TRUE(client.AddCachedPin(make_pin(id, 1), nullptr));
        ASSERT_TRUE(client.AddCachedItem(make_item(id, 0, "item " + std::to_string(id)), nullptr));
    }
    int32_t ids[4] = {};
    ASSERT_EQ(client.GetDeviceIDs(ids, sizeof ids), 4);
    EXPECT_EQ(std::vector<int32_t>(ids, ids + 4), (std::vector<int32_t>{10, 10, 20, 30}));
    ASSERT_EQ(client.GetGroupIDs(ids, sizeof ids), 4);
    EXPECT_EQ(std::vector<int32_t>(ids, ids + 4), (std::vector<int32_t>{10, 10, 20, 30}));
    EXPECT_EQ(pin_ids(client), (std::vector<int32_t>{10, 10, 20, 30}));

    StationItem item;
    ASSERT_TRUE(client.GetItemAt(3, item));
    EXPECT_EQ(item.ID, 30);
    EXPECT_EQ(item.Text1, "item 30");
    EXPECT_FALSE(client.GetItemAt(4, item));
}

// ---- Lookups and identifier arrays ---------------------------------------------

TEST(ServerClientCacheTest, LookupsCopyTheFirstMatchAndItsIndex)
{
    CMS_ServerClient client;
    for (int32_t id : {1, 2, 3}) {
        CMS_ObjectData object = make_object(id, std::string(1, static_cast<char>('a' + id - 1)));
        object.Number = id * 10;
        object.DeviceID = id == 1 ? 100 : 200;  // objects 2 and 3 share a device
        client.AddCachedObject(object, nullptr);
    }

    CMS_ObjectData found;
    int32_t index = -1;
    ASSERT_TRUE(client.FindObjectByNumber(20, found, &index));
    EXPECT_EQ(found.Name, "b");
    EXPECT_EQ(index, 1);
    ASSERT_TRUE(client.FindObjectByDeviceID(200, found, &index));
    EXPECT_EQ(found.ID, 2);
    EXPECT_FALSE(client.FindObjectByID(4, found));
    EXPECT_FALSE(client.GetObjectAt(3, found));
    EXPECT_FALSE(client.GetObjectAt(-1, found));

    CMS_DeviceData panel = make_device(5, "panel");
    panel.Number = 55;
    client.AddCachedDevice(panel, nullptr);
    CMS_DeviceData device;
    ASSERT_TRUE(client.FindDeviceByNumber(55, device, &index));
    EXPECT_EQ(device.Name, "panel");
    EXPECT_FALSE(client.FindDeviceByID(55, device));

    CMS_ObjectGroupData east = make_group(8, "east");
    east.Number = 1008;
    client.AddCachedGroup(east, nullptr);
    CMS_ObjectGroupData group;
    ASSERT_TRUE(client.FindGroupByNumber(1008, group));
    EXPECT_EQ(group.Name, "east");
    EXPECT_TRUE(client.FindGroupByID(8, group));
    EXPECT_FALSE(client.FindGroupByID(1008, group));
}

TEST(ServerClientCacheTest, IdentifierArraysThatDoNotFitAreNotWritten)
{
    CMS_ServerClient client;
    for (int32_t id : {4, 2, 9})
        client.AddCachedObject(make_object(id), nullptr);

    struct Case
    {
        int32_t size;
        int32_t expected;
    };
    for (const Case& c : {Case{0, -1}, Case{8, -1}, Case{11, -1}, Case{-4, -1}, Case{12, 3}, Case{16, 3}}) {
        uint8_t buffer[17];
        std::memset(buffer, 0xAB, sizeof buffer);
        // One byte in, so the words are unaligned.
        EXPECT_EQ(client.GetObjectIDs(buffer + 1, c.size), c.expected) << c.size;
        if (c.expected < 0) {
            for (uint8_t b : buffer)
                ASSERT_EQ(b, 0xAB) << "size " << c.size;
        } else {
            int32_t ids[3];
            std::memcpy(ids, buffer + 1, sizeof ids);
            EXPECT_EQ(std::vector<int32_t>(ids, ids + 3), (std::vector<int32_t>{2, 4, 9}));
            EXPECT_EQ(buffer[13], 0xAB);  // nothing past the identifiers
        }
    }
    CMS_ServerClient empty;
    EXPECT_EQ(empty.GetGroupIDs(nullptr, 0), 0);
}

// ---- Removing ------------------------------------------------------------------

TEST(ServerClientCacheTest, RemovingAnObjectTakesAllOfItsCopiesAndPins)
{
    CMS_ServerClient client;
    client.AddCachedObject(make_object(1), nullptr);
    client.AddCachedObject(make_object(2, "first"), nullptr);
    client.AddCachedObject(make_object(2, "second"), nullptr);
    client.AddCachedObject(make_object(3), nullptr);
    for (auto [id, objectId] : {std::pair{10, 2}, {11, 1}, {12, 2}, {13, 3}})
        client.AddCachedPin(make_pin(id, objectId), nullptr);

    int32_t index = -1;
    ASSERT_TRUE(client.RemoveCachedObject(make_object(2), &index));
    EXPECT_EQ(index, 1);  // where the last one was when it went
    EXPECT_EQ(client.GetObjectCount(), 2);
    EXPECT_EQ(pin_ids(client), (std::vector<int32_t>{11, 13}));

    // An object that is not cached: its pins go all the same, and the removal
    // reports that no object went.
    client.AddCachedPin(make_pin(14, 2), nullptr);
    EXPECT_FALSE(client.RemoveCachedObject(make_object(2), &index));
    EXPECT_EQ(pin_ids(client), (std::vector<int32_t>{11, 13}));
}

TEST(RecordCacheTest, RemovingAllKeepsTheRestInOrderAndTellsWhereTheLastOneWent)
{
    struct Case
    {
        std::vector<int32_t> groups;  // of the cached objects, in cache order
        int32_t removed;              // count
        int32_t lastIndex;            // as if they had gone one by one; -1: untouched
        std::vector<int32_t> kept;    // object IDs left
    };
    const Case cases[] = {
        {{5, 6, 5, 7, 5}, 3, 2, {2, 4}},
        {{6, 5, 5}, 2, 1, {1}},
        {{6, 7}, 0, -1, {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.groups));
        RecordCache<CMS_ObjectData> cache;
        for (size_t i = 0; i < c.groups.size(); ++i)
            cache.Records().push_back(std::make_unique<CMS_ObjectData>(
                make_object(static_cast<int32_t>(i + 1), "object", c.groups[i])));
        int32_t lastIndex = -1;
        EXPECT_EQ(cache.RemoveAll([](const CMS_ObjectData& o) { return o.Group == 5; }, &lastIndex), c.removed);
        EXPECT_EQ(lastIndex, c.lastIndex);
        std::vector<int32_t> kept;
        for (const auto& object : cache.Records())
            kept.push_back(object->ID);
        EXPECT_EQ(kept, c.kept);
    }
}

TEST(ServerClientCacheTest, RemovingAGroupTakesItsObjectsButNotTheirPins)
{
    CMS_ServerClient client;
    client.AddCachedGroup(make_group(5), nullptr);
    client.AddCachedGroup(make_group(6), nullptr);
    client.AddCachedObject(make_object(1, "in 5", 5), nullptr);
    client.AddCachedObject(make_object(2, "in 6", 6), nullptr);
    client.AddCachedObject(make_object(3, "in 5 too", 5), nullptr);
    client.AddCachedPin(make_pin(10, 1), nullptr);
    client.AddCachedPin(make_pin(11, 3), nullptr);

    int32_t index = -1;
    ASSERT_TRUE(client.RemoveCachedGroup(make_group(5), &index));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(object_names(client), (std::vector<std::string>{"in 6"}));
    EXPECT_EQ(client.GetPinCount(), 2);
    EXPECT_EQ(client.GetGroupCount(), 1);

    // A group that is not cached still takes its objects.
    client.AddCachedObject(make_object(4, "in 9", 9), nullptr);
    EXPECT_FALSE(client.RemoveCachedGroup(make_group(9), nullptr));
    EXPECT_EQ(object_names(client), (std::vector<std::string>{"in 6"}));
}

TEST(ServerClientCacheTest, PinsAndDevicesGoOneAtATime)
{
    CMS_ServerClient client;
    client.AddCachedPin(make_pin(4, 1), nullptr);
    client.AddCachedPin(make_pin(4, 2), nullptr);
    client.AddCachedDevice(make_device(6), nullptr);

    int32_t index = -1;
    EXPECT_TRUE(client.RemoveCachedPin(make_pin(4, 0), &index));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(client.GetPinCount(), 1);
    CMS_DeviceData renumbered = make_device(6);
    renumbered.Number = 0;  // removal goes by identifier alone
    EXPECT_TRUE(client.RemoveCachedDevice(renumbered, &index));
    EXPECT_FALSE(client.RemoveCachedDevice(renumbered, &index));
}

TEST(ServerClientCacheTest, AnItemGoesOnlyInStateTwoYetItsRemovalSucceeds)
{
    CMS_ServerClient client;
    client.AddCachedItem(make_item(1, 0), nullptr);
    client.AddCachedItem(make_item(2, 1), nullptr);

    int32_t index = -1;
    // The state that counts is the cached item's.
    EXPECT_TRUE(client.RemoveCachedItem(make_item(2, 2), &index));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(client.GetItemCount(), 2);

    ASSERT_TRUE(client.UpdateCachedItem(make_item(2, 2), nullptr));
    EXPECT_TRUE(client.RemoveCachedItem(make_item(2, 0), &index));
    EXPECT_EQ(client.GetItemCount(), 1);
    EXPECT_FALSE(client.RemoveCachedItem(make_item(3, 2), &index));
}

// ---- Changing ------------------------------------------------------------------

TEST(ServerClientCacheTest, AChangeForAnUnknownIdAddsNothing)
{
    CMS_ServerClient client;
    client.AddCachedPin(make_pin(1, 1), nullptr);
    client.AddCachedObject(make_object(1), nullptr);
    int32_t index = 7;
    EXPECT_FALSE(client.UpdateCachedPin(make_pin(2, 1), &index));
    EXPECT_FALSE(client.UpdateCachedObject(make_object(2), &index));
    EXPECT_FALSE(client.UpdateCachedDevice(make_device(2), &index));
    EXPECT_FALSE(client.UpdateCachedGroup(make_group(2), &index));
    EXPECT_FALSE(client.UpdateCachedItem(make_item(2, 0), &index));
    EXPECT_EQ(index, 7);
    EXPECT_EQ(pin_ids(client), (std::vector<int32_t>{1}));
    EXPECT_EQ(client.GetObjectCount(), 1);
    EXPECT_EQ(client.GetDeviceCount(), 0);
    EXPECT_EQ(client.GetGroupCount(), 0);
    EXPECT_EQ(client.GetItemCount(), 0);
}

TEST(ServerClientCacheTest, AChangeReplacesEveryFieldOfTheFirstMatch)
{
    CMS_ServerClient client;
    client.AddCachedObject(make_object(1, "old"), nullptr);
    client.AddCachedObject(make_object(1, "twin"), nullptr);
    CMS_ObjectData changed = make_object(1, "new", 4);
    changed.State = 0x23;
    changed.Settings = "CanMove=1\r\n";
    int32_t index = -1;
    ASSERT_TRUE(client.UpdateCachedObject(changed, &index));
    EXPECT_EQ(index, 0);

    const CMS_ObjectData object = cached_object(client, 1);
    EXPECT_EQ(object.Name, "new");
    EXPECT_EQ(object.Group, 4);
    EXPECT_EQ(object.State, 0x23);
    EXPECT_TRUE(object.CanMove);
    EXPECT_EQ(object_names(client), (std::vector<std::string>{"new", "twin"}));

    // A change that cannot be copied whole (a data block shorter than its size)
    // is reported as no change.
    client.AddCachedDevice(make_device(2), nullptr);
    CMS_DeviceData broken = make_device(2, "broken");
    broken.DataSize = 4;
    EXPECT_FALSE(client.UpdateCachedDevice(broken, nullptr));
}

TEST(ServerClientCacheTest, ADeviceIsMarkedChangedWhenTypeNumberOrNameDiffer)
{
    struct Case
    {
        const char* what;
        CMS_DeviceData change;
        uint8_t expected;
    };
    const CMS_DeviceData panel = make_device(1, "panel");
    CMS_DeviceData sameButDescr = panel;
    sameButDescr.Descr = "moved to the hall";
    CMS_DeviceData otherType = panel;
    otherType.Type = 2000;
    CMS_DeviceData otherNumber = panel;
    otherNumber.Number = 11;
    const Case cases[] = {
        {"only the description", sameButDescr, 0},
        {"type", otherType, 1},
        {"number", otherNumber, 1},
        {"name", make_device(1, "gate"), 1},
    };
    for (const Case& c : cases) {
        CMS_ServerClient client;
        client.AddCachedDevice(panel, nullptr);
        ASSERT_TRUE(client.UpdateCachedDevice(c.change, nullptr)) << c.what;
        CMS_DeviceData device;
        ASSERT_TRUE(client.FindDeviceByID(1, device));
        EXPECT_EQ(device.Changed, c.expected) << c.what;
        EXPECT_EQ(device.Descr, c.change.Descr) << c.what;
        // A later change that differs in nothing keeps the mark.
        ASSERT_TRUE(client.UpdateCachedDevice(c.change, nullptr));
        ASSERT_TRUE(client.FindDeviceByID(1, device));
        EXPECT_EQ(device.Changed, c.expected) << c.what;
    }
}

TEST(ServerClientCacheTest, MovingAnObjectSetsItsGroup)
{
    CMS_ServerClient client;
    client.AddCachedObject(make_object(1, "", 3), nullptr);
    client.AddCachedObject(make_object(2, "", 3), nullptr);
    int32_t index = -1;
    ASSERT_TRUE(client.SetObjectGroup(2, 8, &index));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(cached_object(client, 2).Group, 8);
    EXPECT_EQ(cached_object(client, 1).Group, 3);
    EXPECT_FALSE(client.SetObjectGroup(5, 8, &index));
}

// ---- Events on objects ---------------------------------------------------------

class ObjectEventTest : public ::testing::Test
{
protected:
    static constexpr int32_t kId = 42;

    void SetUp() override
    {
        CMS_ObjectData object = make_object(kId, "shop");
        object.State = 0x0101;
        object.StateMask = 0x7;
        object.Lat = 55.75;
        object.Lon = 37.62;
        object.Settings = "Lat=55.750000\r\nLon=37.620000\r\n";
        ASSERT_TRUE(client.AddCachedObject(object, nullptr));
    }

    bool Apply(const CMS_SimpleEventData& event, int historyLength = 10)
    {
        int32_t index = -1;
        const bool applied = client.ApplyEventToObject(event, historyLength, &index);
        if (applied) {
            EXPECT_EQ(index, 0);
        }
        return applied;
    }

    CMS_ObjectData Object() { return cached_object(client, kId); }

    size_t HistorySize()
    {
        RecordList<CMS_SimpleEventData> history;
        EXPECT_TRUE(client.GetObjectHistory(kId, history));
        return history.size();
    }

    CMS_ServerClient client;
};

TEST_F(ObjectEventTest, AnEventForAnObjectNotCachedChangesNothing)
{
    CMS_SimpleEventData event = make_event(2, 6, kId + 1, 5);
    int32_t index = -1;
    EXPECT_FALSE(client.ApplyEventToObject(event, 10, &index));
    EXPECT_EQ(index, -1);
    EXPECT_EQ(Object().State, 0x0101);
}

TEST_F(ObjectEventTest, CoordinateEventsTouchOnlyTheCoordinates)
{
    struct Case
    {
        const char* what;
        int16_t subType;
        int32_t deviceNumber;
        double lat;
        double lon;
        size_t dataSize;
        double expectedLat;
        double expectedLon;
    };
    const Case cases[] = {
        {"the object's own coordinates", 88, 1, 55.75, 37.62, 16, 55.75, 37.62},
        {"new coordinates", 89, 3, 59.9375, 30.3086, 16, 59.9375, 30.3086},
        {"a longitude of its own", 88, 1, 55.75, 10.5, 16, 55.75, 10.5},
        {"a block too short for both", 88, 1, 1.0, 2.0, 12, 55.75, 37.62},
        {"subtype 90 carries none", 90, 1, 1.0, 2.0, 16, 55.75, 37.62},
    };
    for (const Case& c : cases) {
        client.ClearObjects();
        SetUp();
        const std::string settingsBefore = Object().Settings;
        CMS_SimpleEventData event = make_event(3, c.subType, kId, 0x0202);
        event.DeviceNumber = c.deviceNumber;
        set_coordinates(event, c.lat, c.lon, c.dataSize);

        EXPECT_TRUE(Apply(event)) << c.what;
        const CMS_ObjectData object = Object();
        EXPECT_DOUBLE_EQ(object.Lat, c.expectedLat) << c.what;
        EXPECT_DOUBLE_EQ(object.Lon, c.expectedLon) << c.what;
        EXPECT_EQ(object.State, 0x0101) << c.what;
        EXPECT_EQ(object.StateMask, 0x7) << c.what;
        EXPECT_EQ(HistorySize(), 0u) << c.what;
        if (c.expectedLat == 55.75 && c.expectedLon == 37.62) {
            EXPECT_EQ(object.Settings, settingsBefore) << c.what;
        }
    }
}

TEST_F(ObjectEventTest, NewCoordinatesAreWrittenIntoTheSettings)
{
    CMS_SimpleEventData event = make_event(3, 89, kId);
    event.DeviceNumber = 2;
    set_coordinates(event, 59.9375, 30.3086);
    ASSERT_TRUE(Apply(event));
    // The settings are read back on every copy out, so the texts must agree.
    const CMS_ObjectData object = Object();
    EXPECT_NE(object.Settings.find("Lat=59.937500"), std::string::npos) << object.Settings;
    EXPECT_NE(object.Settings.find("Lon=30.308600"), std::string::npos) << object.Settings;
    EXPECT_EQ(object.Settings.find("55.75"), std::string::npos) << object.Settings;
}

TEST_F(ObjectEventTest, ACoordinateSubtypeWithoutADeviceNumberIsAnOrdinaryEvent)
{
    CMS_SimpleEventData event = make_event(3, 88, kId, 0x0303);
    event.DeviceNumber = 0;
    set_coordinates(event, 1.0, 2.0);
    ASSERT_TRUE(Apply(event));
    const CMS_ObjectData object = Object();
    EXPECT_EQ(object.State, 0x0303);
    EXPECT_DOUBLE_EQ(object.Lat, 55.75);
    EXPECT_EQ(HistorySize(), 0u);  // subtype 88 stays out of the history all the same
}

TEST_F(ObjectEventTest, StateAndMaskComeFromTheEventExceptForSubtypes43And44)
{
    CMS_SimpleEventData event = make_event(2, 6, kId, 0x0010002);
    event.ObjectStateChange = 0x10000;
    ASSERT_TRUE(Apply(event));
    EXPECT_EQ(Object().State, 0x0010002);
    EXPECT_EQ(Object().StateMask, 0x10000);

    for (int16_t subType : {43, 44}) {
        CMS_SimpleEventData kept = make_event(2, subType, kId, 0x5);
        kept.ObjectStateChange = 0x1;
        ASSERT_TRUE(Apply(kept));
        EXPECT_EQ(Object().State, 0x0010002) << subType;
        EXPECT_EQ(Object().StateMask, 0x10000) << subType;
    }
}

TEST_F(ObjectEventTest, AGuardChangeSetsTheCaptureTimeAndWho)
{
    CMS_SimpleEventData event = make_event(3, 13, kId, 0x0101 ^ 0x10000);
    event.DeviceNumber = 0;
    event.DateTime = PackedDateTime{{5, 4, 3, 2, 1, 0xE8, 0x07, 0}};
    const char who[] = "Ivanov";
    set_data(event, who, sizeof who);
    ASSERT_TRUE(Apply(event));
    const CMS_ObjectData first = Object();
    EXPECT_EQ(first.CaptureDateTime, event.DateTime);
    EXPECT_NE(first.Settings.find("who=Ivanov"), std::string::npos) << first.Settings;

    // No change of bit 16: the time stays; data without its terminator gives an empty who.
    CMS_SimpleEventData again = make_event(3, 31, kId, first.State);
    again.DeviceNumber = 1;
    again.DateTime = PackedDateTime{{9, 9, 9, 9, 9, 0xE8, 0x07, 0}};
    set_data(again, "abc", 3);
    ASSERT_TRUE(Apply(again));
    const CMS_ObjectData second = Object();
    EXPECT_EQ(second.CaptureDateTime, event.DateTime);
    EXPECT_NE(second.Settings.find("who=\r\n"), std::string::npos) << second.Settings;
    EXPECT_EQ(second.Settings.find("Ivanov"), std::string::npos) << second.Settings;
}

TEST_F(ObjectEventTest, GuardSubtypesMoveTheGuardStateOnlyWithCanMove)
{
    struct Case
    {
        bool canMove;
        int16_t type;
        int16_t subType;
        int32_t expectedState;
    };
    const Case cases[] = {
        {true, 2, 29, 0x10003},   // guard state 3 with its change flag
        {true, 3, 27, 0x10001},   // whatever the type
        {true, 2, 34, 0x00000},   // not a guard subtype: the event's state
        {false, 2, 29, 0x00000},
    };
    for (const Case& c : cases) {
        client.ClearObjects();
        CMS_ObjectData object = make_object(kId);
        object.Settings = c.canMove ? "CanMove=1\r\n" : "";
        object.CanMove = c.canMove;
        ASSERT_TRUE(client.AddCachedObject(object, nullptr));

        CMS_SimpleEventData event = make_event(c.type, c.subType, kId, 0);
        ASSERT_TRUE(Apply(event));
        EXPECT_EQ(Object().State, c.expectedState) << c.type << "/" << c.subType << " CanMove " << c.canMove;
        EXPECT_EQ(Object().StateMask, c.expectedState) << c.type << "/" << c.subType;
    }
}

TEST_F(ObjectEventTest, SensorEventsApplyTheDictionaryMasksAfterTheState)
{
    // Sensor subtype 5 clears extended-state bit 1 and sets bit 3.
    StateDictionaryScope states("<e id=\"3\" text=\"Sensor\"><sub id=\"5\" text=\"Alarm\" s0=\"2\" s1=\"4\"/></e>");
    constexpr int32_t kExtendedChange = 0x10000000;  // State's mark of a changed extended state

    client.ClearObjects();
    CMS_ObjectData object = make_object(kId);
    object.Settings = "StEx=2\r\n";
    object.StEx = 2;
    ASSERT_TRUE(client.AddCachedObject(object, nullptr));

    ASSERT_TRUE(Apply(make_event(3, 5, kId, 0x0202)));
    const CMS_ObjectData masked = Object();
    EXPECT_EQ(masked.StEx, 0x8);
    EXPECT_EQ(masked.StExMask, 0xA);
    // The event's state first, then the mark of the extended change on top.
    EXPECT_EQ(masked.State, 0x0202 | kExtendedChange);
    EXPECT_NE(masked.Settings.find("StEx=8"), std::string::npos) << masked.Settings;

    // An object event of the same subtype takes no masks.
    ASSERT_TRUE(Apply(make_event(2, 5, kId, 0x0303)));
    const CMS_ObjectData unmasked = Object();
    EXPECT_EQ(unmasked.StEx, 0x8);
    EXPECT_EQ(unmasked.State, 0x0303);
}

TEST_F(ObjectEventTest, GuardBlockIsSetAndClearedWithItsSetting)
{
    ASSERT_TRUE(Apply(make_event(2, 37, kId)));
    const CMS_ObjectData blocked = Object();
    EXPECT_TRUE(blocked.GuardBlk);
    EXPECT_NE(blocked.Settings.find("GuardBlk=1"), std::string::npos);

    ASSERT_TRUE(Apply(make_event(2, 38, kId)));
    const CMS_ObjectData freed = Object();
    EXPECT_FALSE(freed.GuardBlk);
    EXPECT_NE(freed.Settings.find("GuardBlk=\r\n"), std::string::npos) << freed.Settings;
    // A sensor event of the same subtype leaves the block alone.
    ASSERT_TRUE(Apply(make_event(3, 37, kId)));
    EXPECT_FALSE(Object().GuardBlk);
}

TEST_F(ObjectEventTest, SourceBitTwoBecomesDynamicStateBit21)
{
    CMS_SimpleEventData event = make_event(2, 25, kId);
    event.SourceID = 0x4;
    ASSERT_TRUE(Apply(event));
    EXPECT_EQ(Object().DynamicState, 1 << 21);
    event.SubType = 26;
    event.SourceID = 0x3;
    ASSERT_TRUE(Apply(event));
    EXPECT_EQ(Object().DynamicState, 0);
}

TEST_F(ObjectEventTest, KeyIsTakenWhenNotNegative)
{
    CMS_SimpleEventData event = make_event(2, 6, kId);
    event.KeyNumber = 17;
    ASSERT_TRUE(Apply(event));
    EXPECT_EQ(Object().Key, 17);
    event.KeyNumber = -1;
    ASSERT_TRUE(Apply(event));
    EXPECT_EQ(Object().Key, 17);
}

// How the history keeps and trims its events is the object's own; here, that
// events reach it with the given length and that some kinds stay out.
TEST_F(ObjectEventTest, TheHistoryKeepsTheNewestUpToItsLength)
{
    for (int32_t id = 1; id <= 3; ++id) {
        CMS_SimpleEventData event = make_event(2, 6, kId);
        event.ID = id;
        ASSERT_TRUE(Apply(event, 2));
    }
    // Kinds the history skips.
    ASSERT_TRUE(Apply(make_event(2, 4, kId)));
    ASSERT_TRUE(Apply(make_event(3, 20, kId)));

    RecordList<CMS_SimpleEventData> history;
    ASSERT_TRUE(client.GetObjectHistory(kId, history));
    std::vector<int32_t> ids;
    for (const auto& event : history)
        ids.push_back(event->ID);
    EXPECT_EQ(ids, (std::vector<int32_t>{3, 2}));
}

// ---- Events on pins ------------------------------------------------------------

TEST(ServerClientCacheTest, PinEventsReachThePinOfTheirFlags)
{
    CMS_ServerClient client;
    client.AddCachedPin(make_pin(1, 7, 2, 1, 2), nullptr);  // flagged 1: commands 0 to 3
    client.AddCachedPin(make_pin(2, 7, 2, 2, 0), nullptr);  // flagged 2: the others
    client.AddCachedPin(make_pin(3, 8, 2, 1, 0), nullptr);

    EXPECT_TRUE(client.ApplyPinEvent(7, 2, 0));
    EXPECT_TRUE(client.ApplyPinEvent(7, 2, 6));
    EXPECT_FALSE(client.ApplyPinEvent(7, 3, 0));   // no pin with that index
    EXPECT_FALSE(client.ApplyPinEvent(9, 2, 0));   // no pin of that object

    CMS_ObjectPinData pin;
    ASSERT_TRUE(client.GetPinAt(0, pin));
    EXPECT_EQ(pin.State, 1);
    ASSERT_TRUE(client.GetPinAt(1, pin));
    EXPECT_EQ(pin.State, 2);
    ASSERT_TRUE(client.GetPinAt(2, pin));
    EXPECT_EQ(pin.State, 0);
}

} // namespace

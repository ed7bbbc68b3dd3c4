#include "records/CMS_ObjectData.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/XmlHelpers.h"
#include "DictionaryDocuments.h"
#include "StationRecordSupport.h"

namespace {

using namespace record_test;

CMS_ObjectData object_with_settings(const std::string& settings)
{
    CMS_ObjectData source;
    source.Settings = settings;
    CMS_ObjectData object;
    EXPECT_TRUE(load_bytes(object, bytes_of(source)));
    return object;
}

TEST(CMS_ObjectData, ValuesTakenFromSettings)
{
    struct SettingsCase
    {
        const char* settings;
        double lat;
        double lon;
        bool can_move;
        bool livi;
        bool guard_blk;
        int32_t sub_label;
        int32_t st_ex;
        int32_t st_ex_mask;
    };
    const SettingsCase cases[] = {
        // A present key with an empty value parses as 0, a missing one takes its default.
        {"Lat=55,75\nCanMove=1\nSubLabel=", 55.75, 0.0, true, false, false, 0, 0, 0},
        {"", 0.0, 0.0, false, false, false, -1, 0, 0},
        {"Lat=-12.5\r\nLon= 37,25 \r\nLivi=1\r\nGuardBlk=1\r\nSubLabel=7\r\n", -12.5, 37.25, false, true, true, 7, 0, 0},
        {"StEx=-2\nStExMask=48\nCanMove=yes", 0.0, 0.0, false, false, false, -1, -2, 48},
        // Keys are found only at the start of a line.
        {"XCanMove=1\nMyLat=4", 0.0, 0.0, false, false, false, -1, 0, 0},
        {"SubLabel=12abc\nGuardBlk=0", 0.0, 0.0, false, false, false, 12, 0, 0},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.settings);
        CMS_ObjectData object = object_with_settings(c.settings);
        EXPECT_DOUBLE_EQ(object.Lat, c.lat);
        EXPECT_DOUBLE_EQ(object.Lon, c.lon);
        EXPECT_EQ(object.CanMove, c.can_move);
        EXPECT_EQ(object.Livi, c.livi);
        EXPECT_EQ(object.GuardBlk, c.guard_blk);
        EXPECT_EQ(object.SubLabel, c.sub_label);
        EXPECT_EQ(object.StEx, c.st_ex);
        EXPECT_EQ(object.StExMask, c.st_ex_mask);
    }
}

TEST(CMS_ObjectData, LoadFlagKeepsStateButTakesNameAndSettings)
{
    CMS_ObjectData source;
    fill(source, 1);
    source.Settings = "CanMove=1\nLat=1,5";

    CMS_ObjectData target;
    fill(target, 2);
    target.Settings = "Lat=9";
    target.RunTimeSlots = {{4, 5, 6}};
    ASSERT_TRUE(load_bytes(target, bytes_of(source), 1));

    EXPECT_EQ(target.State, 13);
    EXPECT_EQ(target.StateMask, 14);
    EXPECT_EQ(target.DynamicState, 15);
    EXPECT_EQ(target.MessageID, 16);
    EXPECT_EQ(target.Key, 17);
    EXPECT_EQ(target.CaptureDateTime, date_of(2));
    EXPECT_EQ(target.Name, source.Name);
    EXPECT_EQ(target.Settings, source.Settings);
    EXPECT_EQ(target.Data, source.Data);
    EXPECT_TRUE(target.CanMove);
    EXPECT_DOUBLE_EQ(target.Lat, 1.5);
    EXPECT_EQ(target.OriginServerId, source.OriginServerId);
    EXPECT_EQ(target.UserId, source.UserId);
    EXPECT_EQ(target.RunTimeSlots, (std::array<int32_t, 3>{{-1, -1, -1}}));

    // With flag 0 every field is taken.
    ASSERT_TRUE(load_bytes(target, bytes_of(source), 0));
    EXPECT_EQ(bytes_of(target), bytes_of(source));
}

TEST(CMS_ObjectData, RunTimeSlotsResetOnlyPastCaptureDateTime)
{
    CMS_ObjectData source;
    fill(source, 1);
    const std::string bytes = bytes_of(source);

    CMS_ObjectData object;
    object.RunTimeSlots = {{1, 2, 3}};
    // Cut inside OriginServerId, after CaptureDateTime: the slots are reset.
    EXPECT_FALSE(load_bytes(object, bytes.substr(0, bytes.size() - 6)));
    EXPECT_EQ(object.RunTimeSlots[0], -1);

    object.RunTimeSlots = {{1, 2, 3}};
    // Cut inside CaptureDateTime: they stay.
    EXPECT_FALSE(load_bytes(object, bytes.substr(0, bytes.size() - 12)));
    EXPECT_EQ(object.RunTimeSlots[0], 1);
}

TEST(CMS_ObjectData, AnEmptyElementLoadsZerosAndKeepsDates)
{
    RecordElement xml;
    CMS_ObjectData object;
    const PackedDateTime captured = object.CaptureDateTime;
    object.Name = "before";
    ASSERT_TRUE(load_xml(object, xml));
    EXPECT_EQ(object.Key, 0);
    EXPECT_EQ(object.OriginServerId, 0);
    EXPECT_EQ(object.Name, "");
    EXPECT_EQ(object.GUID, "");
    EXPECT_EQ(object.CaptureDateTime, captured);

    CMS_ObjectData defaults;
    RecordElement saved;
    save_xml(defaults, saved);
    EXPECT_EQ(saved.Var("Key"), "4294967295");
    EXPECT_EQ(saved.Var("Data"), "");
    EXPECT_EQ(saved.VarCount(), 27);
}

TEST(CMS_ObjectData, CopyIsMemberByMemberWithoutHistoryOrSlots)
{
    CMS_ObjectData object;
    fill(object, 3);
    object.Lat = 1.25;  // memory values travel as they stand, not from Settings
    object.Livi = true;
    object.SubLabel = 8;
    object.StEx = 3;
    object.RunTimeSlots = {{7, 8, 9}};
    object.ExtraValues = {{10, 11}};
    CMS_SimpleEventData event;
    ASSERT_TRUE(object.AddEvent(&event, 10));

    CMS_ObjectData copy(object);
    EXPECT_EQ(bytes_of(copy), bytes_of(object));
    EXPECT_DOUBLE_EQ(copy.Lat, 1.25);
    EXPECT_EQ(copy.SubLabel, 8);
    EXPECT_EQ(copy.StEx, 3);
    EXPECT_TRUE(copy.Livi);
    EXPECT_FALSE(copy.CanMove);
    EXPECT_EQ(copy.RunTimeSlots, (std::array<int32_t, 3>{{-1, -1, -1}}));
    EXPECT_EQ(copy.ExtraValues, (std::array<int32_t, 2>{{10, 11}}));
    EXPECT_TRUE(copy.GetEvents().empty());
    EXPECT_EQ(object.GetEvents().size(), 1u);
}

TEST(CMS_ObjectData, UpdateStEx)
{
    struct StExCase
    {
        int32_t st_ex;
        int32_t st_ex_mask;
        uint32_t keep;
        uint32_t set;
        int flag;
        bool changed;
        int32_t new_st_ex;
        int32_t new_mask;
        bool state_flag;
    };
    const StExCase cases[] = {
        {0, 0, 0xFFFFFFFF, 0, 1, false, 0, 0, false},
        {5, 0, 0xFFFFFFFF, 5, 1, false, 5, 0, false},
        {5, 0, 0xFFFFFFFE, 8, 1, true, 12, 9, true},
        {5, 0x100, 0xFFFFFFFE, 8, 0, true, 12, 0x100, false},
        {0, 0, 0xFFFFFFFF, 0x80000000, 1, true, INT32_MIN, INT32_MIN, true},
    };
    for (const StExCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.st_ex << " keep " << c.keep << " set " << c.set << " flag " << c.flag);
        CMS_ObjectData object;
        object.StEx = c.st_ex;
        object.StExMask = c.st_ex_mask;
        object.State = 3;
        object.Settings = "A=1";
        EXPECT_EQ(object.UpdateStEx(c.keep, c.set, c.flag), c.changed);
        EXPECT_EQ(object.StEx, c.new_st_ex);
        EXPECT_EQ(object.StExMask, c.new_mask);
        EXPECT_EQ(object.State, c.state_flag ? 0x10000003 : 3);
        if (c.changed) {
            EXPECT_EQ(object.Settings, "A=1\r\nStEx=" + std::to_string(c.new_st_ex) + "\r\nStExMask=" +
                                           std::to_string(c.new_mask) + "\r\n");
            // A reload reads the same values back.
            CMS_ObjectData reloaded;
            ASSERT_TRUE(load_bytes(reloaded, bytes_of(object)));
            EXPECT_EQ(reloaded.StEx, c.new_st_ex);
            EXPECT_EQ(reloaded.StExMask, c.new_mask);
        } else {
            EXPECT_EQ(object.Settings, "A=1");
        }
    }
}

TEST(CMS_ObjectData, ApplyGuardSubType)
{
    struct GuardCase
    {
        int32_t subtype;
        int32_t state;
        int32_t mask;
        int32_t new_state;
        int32_t new_mask;
    };
    const GuardCase cases[] = {
        {27, 0x00, 0x00, 0x10001, 0x10001},
        {33, 0x200, 0x300, 0x10207, 0x10307},
        {30, 0x04, 0x00, 0x04, 0x00},      // already in that guard state
        {26, 0x02, 0x00, 0x02, 0x00},      // not a guard subtype
        {34, 0x02, 0x00, 0x02, 0x00},
        {28, 0x1FF, 0xFF, 0x10102, 0x10002},
    };
    for (const GuardCase& c : cases) {
        SCOPED_TRACE(c.subtype);
        CMS_ObjectData object;
        object.State = c.state;
        object.StateMask = c.mask;
        EXPECT_TRUE(object.ApplyGuardSubType(c.subtype));
        EXPECT_EQ(object.State, c.new_state);
        EXPECT_EQ(object.StateMask, c.new_mask);
    }
}

CMS_SimpleEventData numbered_event(int32_t id)
{
    CMS_SimpleEventData event;
    event.ID = id;
    event.Type = 3;
    event.SubType = 1;
    event.LocalValues = {{id, id + 1, id + 2}};
    return event;
}

std::vector<int32_t> history_ids(const CMS_ObjectData& object)
{
    std::vector<int32_t> ids;
    for (const auto& event : object.GetEvents())
        ids.push_back(event->ID);
    return ids;
}

TEST(CMS_ObjectData, EventHistoryKeepsTheNewestFirst)
{
    CMS_ObjectData object;
    for (int32_t id = 1; id <= 11; ++id) {
        CMS_SimpleEventData event = numbered_event(id);
        ASSERT_TRUE(object.AddEvent(&event, 10));
    }
    EXPECT_EQ(history_ids(object), (std::vector<int32_t>{11, 10, 9, 8, 7, 6, 5, 4, 3, 2}));
    // The history holds copies, memory-only values included.
    EXPECT_EQ(object.GetEvents().front()->LocalValues, (std::array<int32_t, 3>{{11, 12, 13}}));

    // A smaller limit trims the history down to it.
    CMS_SimpleEventData event = numbered_event(12);
    ASSERT_TRUE(object.AddEvent(&event, 3));
    EXPECT_EQ(history_ids(object), (std::vector<int32_t>{12, 11, 10}));
    // A limit of 0 or less keeps one.
    event = numbered_event(13);
    ASSERT_TRUE(object.AddEvent(&event, 0));
    EXPECT_EQ(history_ids(object), (std::vector<int32_t>{13}));
    event = numbered_event(14);
    ASSERT_TRUE(object.AddEvent(&event, -4));
    EXPECT_EQ(history_ids(object), (std::vector<int32_t>{14}));

    EXPECT_FALSE(object.AddEvent(nullptr, 10));
    EXPECT_EQ(history_ids(object), (std::vector<int32_t>{14}));

    object.ClearEvents();
    EXPECT_TRUE(object.GetEvents().empty());
}

TEST(CMS_ObjectData, ApplyStateMasksFromTheDictionary)
{
    // Entry 3, sub-entry 5 clears bit 2 and sets bit 4.
    StateDictionaryScope states(
        "<e id=\"3\" text=\"Sensor\"><sub id=\"5\" text=\"Alarm\" s0=\"2\" s1=\"4\"/></e>");
    CMS_ObjectData object;
    object.StEx = 0x3;
    CMS_SimpleEventData event;
    event.Type = 3;
    event.SubType = 5;
    EXPECT_TRUE(object.ApplyStateMasks(&event));
    EXPECT_EQ(object.StEx, 0x9);
    EXPECT_EQ(object.StExMask, 0xA);
    EXPECT_EQ(object.State & 0x10000000, 0x10000000);
    // Applied again, nothing changes.
    EXPECT_FALSE(object.ApplyStateMasks(&event));

    // Only sensor events apply; a sub-entry the dictionary lacks changes nothing.
    event.Type = 2;
    object.StEx = 0x3;
    EXPECT_FALSE(object.ApplyStateMasks(&event));
    EXPECT_EQ(object.StEx, 0x3);
    event.Type = 3;
    event.SubType = 6;
    EXPECT_FALSE(object.ApplyStateMasks(&event));
    EXPECT_FALSE(object.ApplyStateMasks(nullptr));
}

} // namespace

#include "model/ElementModel.h"

#include "support/BridgeLog.h"
#include "support/ConnectionSettings.h"
#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

using testsupport::read_file;
using testsupport::TempFolder;

namespace {

KorvelElementPtr make_element(int32_t id, int32_t number, int32_t level, const std::string& name)
{
    auto e = std::make_shared<KorvelElement>();
    e->ID = id;
    e->Number = number;
    e->StateLevel = level;
    e->Name = name;
    return e;
}

KorvelEventPtr make_event(int32_t type, int32_t sub_type, int32_t group, int32_t object, int32_t sensor_number)
{
    auto e = std::make_shared<KorvelEvent>();
    e->Type = type;
    e->SubType = sub_type;
    e->ObjectGroupID = group;
    e->ObjectID = object;
    e->SensorNumber = sensor_number;
    return e;
}

// Group 10 holds object 100 ("Склад") with four sensors; two of them share
// number 1.
class ElementModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved_log = log_path();
        verbosity = kLogVerbose;
        restart();
    }
    void TearDown() override
    {
        {
            std::lock_guard<std::mutex> lock(g_model_mutex);
            g_group_map.clear();
        }
        verbosity = kLogInfo;
        set_log_path(m_saved_log);
    }

    // A fresh tree and an empty log.
    void restart()
    {
        std::remove(m_log.c_str());
        set_log_path(m_log);

        m_object = make_element(100, 0, 1, u8"Склад");
        m_object->Group = 10;
        for (const auto& sensor : {make_element(1, 2, 0, "door"), make_element(2, 1, 2, "window"),
                                   make_element(3, 1, 1, "hall"), make_element(5, 7, 2, "gate")})
            m_object->children[sensor->ID] = sensor;
        auto group = make_element(10, 0, 1, "group");
        group->children[m_object->ID] = m_object;

        std::lock_guard<std::mutex> lock(g_model_mutex);
        g_group_map.clear();
        g_group_map[group->ID] = group;
    }

    int32_t sensor_level(int32_t id) const { return m_object->children.at(id)->StateLevel; }
    static std::vector<int32_t> ids(const std::vector<KorvelElementPtr>& elements)
    {
        std::vector<int32_t> result;
        for (const auto& e : elements)
            result.push_back(e->ID);
        return result;
    }

    TempFolder m_folder;
    std::string m_log = m_folder / "korvel-orvanta-client.log";
    std::string m_saved_log;
    KorvelElementPtr m_object;
};

TEST_F(ElementModelTest, ObjectEventLevels)
{
    const struct
    {
        int32_t type;
        int32_t sub_type;
        int32_t level_before;
        bool changed;
        int32_t level_after;
    } cases[] = {
        {EVENT_TYPE_OBJECT, 22, 1, true, 2},  {EVENT_TYPE_OBJECT, 5, 1, true, 0},
        {EVENT_TYPE_OBJECT, 4, 0, true, 1},   {EVENT_TYPE_OBJECT, 4, 1, false, 1},
        {EVENT_TYPE_OBJECT, 6, 2, false, 2},  {EVENT_TYPE_OBJECT, 65535, 0, false, 0},
        {4, 6, 0, true, 1},                   {4, 6, 1, false, 1},
    };
    for (const auto& c : cases)
    {
        m_object->StateLevel = c.level_before;
        KorvelElementPtr changed;
        const auto event = make_event(c.type, c.sub_type, 10, 100, -1);
        EXPECT_EQ(c.changed, apply_object_event(*event, changed, true)) << c.type << "/" << c.sub_type;
        EXPECT_EQ(m_object, changed);
        EXPECT_EQ(c.level_after, m_object->StateLevel) << c.type << "/" << c.sub_type;
    }
    EXPECT_EQ("", read_file(m_log));
}

TEST_F(ElementModelTest, ObjectLookupWithoutApplyLeavesLevel)
{
    KorvelElementPtr changed;
    EXPECT_TRUE(apply_object_event(*make_event(EVENT_TYPE_OBJECT, 22, 10, 100, -1), changed, false));
    EXPECT_EQ(m_object, changed);
    EXPECT_EQ(1, m_object->StateLevel);
}

TEST_F(ElementModelTest, UnknownGroupOrObjectIsLogged)
{
    KorvelElementPtr changed;
    EXPECT_FALSE(apply_object_event(*make_event(EVENT_TYPE_OBJECT, 22, 11, 100, -1), changed, true));
    EXPECT_FALSE(apply_object_event(*make_event(EVENT_TYPE_OBJECT, 22, 10, 101, -1), changed, true));
    EXPECT_FALSE(changed);

    std::vector<KorvelElementPtr> sensors;
    apply_sensor_event(make_event(EVENT_TYPE_SENSOR, 9, -1, 100, ALL_SENSORS), sensors);
    EXPECT_TRUE(sensors.empty());

    // An empty slot in the map holds no objects.
    {
        std::lock_guard<std::mutex> lock(g_model_mutex);
        g_group_map[12] = nullptr;
    }
    EXPECT_FALSE(apply_object_event(*make_event(EVENT_TYPE_OBJECT, 22, 12, 100, -1), changed, true));
    EXPECT_EQ("event for unknown group id = 11\n"
              "event for unknown object 101 at group id 10\n"
              "event for unknown group id = -1\n"
              "event for unknown group id = 12\n",
              read_file(m_log));
}

TEST_F(ElementModelTest, EventForAllSensorsSkipsLevelZeroAndKeepsIdOrder)
{
    auto event = make_event(EVENT_TYPE_SENSOR, 9, 10, 100, ALL_SENSORS); // level 1
    event->Text = u8"Взятие";
    std::vector<KorvelElementPtr> changed;
    apply_sensor_event(event, changed);

    EXPECT_EQ((std::vector<int32_t>{2, 5}), ids(changed));
    EXPECT_EQ(0, sensor_level(1));
    EXPECT_EQ(1, sensor_level(2));
    EXPECT_EQ(1, sensor_level(3));
    EXPECT_EQ(1, sensor_level(5));
    EXPECT_EQ(u8"event for group id 10, object Склад (id 100), sensor door (2): Взятие\n"
              u8"event for group id 10, object Склад (id 100), sensor window (1): Взятие\n"
              u8"event for group id 10, object Склад (id 100), sensor hall (1): Взятие\n"
              "same state 1 for type 3, subtype 9\n"
              u8"event for group id 10, object Склад (id 100), sensor gate (7): Взятие\n",
              read_file(m_log));
}

TEST_F(ElementModelTest, NumberedSensorEvent)
{
    const struct
    {
        int32_t sub_type;
        int32_t sensor_number;
        std::vector<int32_t> changed;
        std::vector<int32_t> levels_after; // sensors 1, 2, 3, 5
        std::string log;
    } cases[] = {
        // The first sensor by id with that number is the one concerned.
        {9, 1, {2}, {0, 1, 1, 2}, "event for group id 10, object x (id 100), sensor window (1): \n"},
        // A numbered event does reach a sensor at level 0.
        {9, 2, {1}, {1, 2, 1, 2}, "event for group id 10, object x (id 100), sensor door (2): \n"},
        {22, 7, {}, {0, 2, 1, 2},
         "event for group id 10, object x (id 100), sensor gate (7): \nsame state 2 for type 3, subtype 22\n"},
        {9, 42, {}, {0, 2, 1, 2}, "unknown sensor num 42 for object id 100\n"},
    };
    for (const auto& c : cases)
    {
        restart();
        m_object->Name = "x";
        std::vector<KorvelElementPtr> changed;
        apply_sensor_event(make_event(EVENT_TYPE_SENSOR, c.sub_type, 10, 100, c.sensor_number), changed);
        EXPECT_EQ(c.changed, ids(changed)) << "number " << c.sensor_number;
        EXPECT_EQ(c.levels_after,
                  (std::vector<int32_t>{sensor_level(1), sensor_level(2), sensor_level(3), sensor_level(5)}))
            << "number " << c.sensor_number;
        EXPECT_EQ(c.log, read_file(m_log)) << "number " << c.sensor_number;
    }
}

} // namespace

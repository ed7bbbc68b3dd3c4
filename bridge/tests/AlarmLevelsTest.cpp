#include "model/AlarmLevels.h"
#include "model/KorvelEvent.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(AlarmLevels, SensorStateUsesLowNibbleOnly)
{
    // Expected level for each value of the low four bits.
    const int by_nibble[16] = {1, 2, 2, 1, 2, 2, 2, 2, 2, 1, 2, 2, 2, 0, 1, 2};
    for (int32_t nibble = 0; nibble < 16; ++nibble)
    {
        for (int32_t high : {0x0, 0x100, 0x700000, static_cast<int32_t>(0xFFFFFFF0)})
            EXPECT_EQ(by_nibble[nibble], level_from_state(high | nibble)) << "state " << (high | nibble);
    }
    EXPECT_EQ(0, level_from_state(0x10D));
    EXPECT_EQ(2, level_from_state(-1));
}

TEST(AlarmLevels, ObjectStateAtLoad)
{
    const struct
    {
        int32_t state;
        int level;
    } cases[] = {
        {0, 0},        {5, 1},        {1, 1},        {0x100000, 0}, {0x200001, 0}, {0x400000, 0},
        {0x700000, 0}, {0x800000, 1}, {0x0FFFFF, 1}, {-1, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.level, object_level_from_state(c.state)) << "state " << c.state;
}

// Each row: subtype, level of an object event, level of a sensor event.
struct SubTypeRow
{
    int32_t sub_type;
    int object_level;
    int sensor_level;
};

const SubTypeRow kSubTypes[] = {
    {-1, -1, 2},  {0, -1, 2},   {1, -1, 1},   {2, -1, 2},   {3, -1, 2},   {4, 1, 2},    {5, 0, 0},
    {6, -1, 0},   {7, -1, 1},   {8, -1, 2},   {9, 0, 1},    {10, 1, 2},   {11, 0, 1},   {12, 1, 2},
    {13, -1, 1},  {14, -1, 1},  {15, -1, 1},  {16, -1, 2},  {19, -1, 2},  {20, 0, 2},   {21, 1, 2},
    {22, 2, 2},   {23, -1, 2},  {25, -1, 0},  {26, -1, 1},  {27, -1, 2},  {28, 0, 2},   {29, -1, 1},
    {30, -1, 2},  {31, -1, 1},  {35, -1, 1},  {36, -1, 2},  {37, -1, 1},  {39, -1, 1},  {40, -1, 2},
    {41, -1, 0},  {42, -1, 1},  {43, -1, 0},  {44, -1, 1},  {45, -1, 0},  {46, -1, 1},  {47, -1, 0},
    {48, -1, 1},  {49, -1, 2},  {92, -1, 2},  {93, -1, 1},  {94, -1, 1},  {95, -1, 2},  {65535, -1, 2},
};

TEST(AlarmLevels, EventSubTypes)
{
    for (const SubTypeRow& row : kSubTypes)
    {
        EXPECT_EQ(row.object_level, object_event_level(row.sub_type)) << "subtype " << row.sub_type;
        EXPECT_EQ(row.sensor_level, sensor_event_level(row.sub_type)) << "subtype " << row.sub_type;
        EXPECT_EQ(row.object_level, level_for_event(EVENT_TYPE_OBJECT, row.sub_type)) << "subtype " << row.sub_type;
        EXPECT_EQ(row.sensor_level, level_for_event(EVENT_TYPE_SENSOR, row.sub_type)) << "subtype " << row.sub_type;
    }
}

TEST(AlarmLevels, OtherEventTypesGiveLevelOne)
{
    for (int32_t type : {-1, 0, 1, 4, 5, 65535})
    {
        for (int32_t sub_type : {-1, 5, 6, 22})
            EXPECT_EQ(1, level_for_event(type, sub_type)) << "type " << type << " subtype " << sub_type;
    }
}

} // namespace

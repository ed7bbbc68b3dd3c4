// The control commands of station-sim, seen through the station they build:
// records with their fields and Windows-1251 names, silent changes, and the
// answers to lines that do not parse.

#include "DemoStation.h"
#include "ScriptedStation.h"
#include "StationControl.h"
#include "StationSimulator.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using stationsim::DemoStation;
using stationsim::ScriptedStation;
using stationsim::StationControl;
using stationsim::StationSimulator;

std::string ansi(const std::string& utf8)
{
    std::string out;
    EXPECT_TRUE(platform::convert_code_page(utf8, platform::CodePage::Utf8, platform::CodePage::Ansi, out));
    return out;
}

class StationControlTest : public ::testing::Test
{
protected:
    StationSimulator m_simulator;
    ScriptedStation m_station{m_simulator};
    StationControl m_control{m_simulator, m_station};
};

TEST_F(StationControlTest, WorldCommandsAddRecordsWithTheirFieldsAndAnsiNames)
{
    for (const char* line : {"group 7 Северный район", "object 70 7 0x100001 Склад  «Тайга»",
                             "sensor 70 701 3 -1 13 Ворота №2", "account bridge s3cret"})
        EXPECT_EQ(m_control.Execute(line), "ok") << line;

    const auto groups = m_station.GetGroups();
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0]->ID, 7);
    EXPECT_EQ(groups[0]->Name, ansi("Северный район"));

    const auto objects = m_station.GetObjects();
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]->ID, 70);
    EXPECT_EQ(objects[0]->Group, 7);
    EXPECT_EQ(objects[0]->Number, 70);
    EXPECT_EQ(objects[0]->State, 0x100001);
    // Blanks inside a name are the name's own.
    EXPECT_EQ(objects[0]->Name, ansi("Склад  «Тайга»"));

    const auto sensors = m_station.GetSensors();
    ASSERT_EQ(sensors.size(), 1u);
    EXPECT_EQ(sensors[0]->ObjectID, 70);
    EXPECT_EQ(sensors[0]->ID, 701);
    EXPECT_EQ(sensors[0]->Number, 3);
    EXPECT_EQ(sensors[0]->Type, -1);
    EXPECT_EQ(sensors[0]->State, 13);
    EXPECT_EQ(sensors[0]->Name, ansi("Ворота №2"));
}

TEST_F(StationControlTest, SilentChangesReachOnlyExistingRecords)
{
    ASSERT_EQ(m_control.Execute("object 70 7 1 Склад"), "ok");
    ASSERT_EQ(m_control.Execute("sensor 70 701 3 1 0 Ворота"), "ok");

    EXPECT_EQ(m_control.Execute("sensor-state 70 3 0x2"), "ok");
    EXPECT_EQ(m_control.Execute("object-state 70 5"), "ok");
    EXPECT_EQ(m_station.GetSensors().at(0)->State, 2);
    EXPECT_EQ(m_station.GetSensors().at(0)->Name, ansi("Ворота"));
    EXPECT_EQ(m_station.GetObjects().at(0)->State, 5);

    EXPECT_EQ(m_control.Execute("sensor-state 70 4 2"), "error: no such sensor");
    EXPECT_EQ(m_control.Execute("sensor-state 71 3 2"), "error: no such sensor");
    EXPECT_EQ(m_control.Execute("object-state 71 5"), "error: no such object");
    EXPECT_EQ(m_control.Execute("event 3 2 71 1"), "error: no such object");
    // Nobody is connected.
    EXPECT_EQ(m_control.Execute("event 3 2 70 -1"), "ok 0");
    EXPECT_EQ(m_control.Execute("connections"), "ok 0");
    EXPECT_EQ(m_control.Execute("drop"), "ok");
}

TEST_F(StationControlTest, LinesThatDoNotParseAreAnsweredWithAnError)
{
    struct Case
    {
        const char* line;
        const char* answer;
    };
    const Case cases[] = {
        {"", "error: empty command"},
        {"   ", "error: empty command"},
        {"teleport 1", "error: unknown command teleport"},
        {"account bridge", "error: usage of account"},
        {"account bridge two words", "error: usage of account"},
        {"group x Name", "error: usage of group"},
        {"object 1 2", "error: usage of object"},
        {"object 1 2 0x1FFFFFFFF Name", "error: usage of object"},
        {"sensor 1 2 3 4", "error: usage of sensor"},
        {"sensor 1 2 3 4 256 Name", "error: usage of sensor"},
        {"sensor 1 2 3 4 -1 Name", "error: usage of sensor"},
        {"sensor-state 1 2", "error: usage of sensor-state"},
        {"object-state 1 2 3", "error: usage of object-state"},
        {"refuse-sensors", "error: usage of refuse-sensors"},
        {"event 3 2 10", "error: usage of event"},
        {"event 3 2 10 65535", "error: usage of event"},
        {"event 3 2 10 1 extra", "error: usage of event"},
        {"drop now", "error: usage of drop"},
        {"connections 1", "error: usage of connections"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(m_control.Execute(c.line), c.answer) << '"' << c.line << '"';
    EXPECT_TRUE(m_station.GetGroups().empty());
    EXPECT_TRUE(m_station.GetObjects().empty());
    EXPECT_TRUE(m_station.GetSensors().empty());
}

TEST_F(StationControlTest, TheDemoStationHasItsWorldAndCyclesThroughItsEvents)
{
    std::string error;
    ASSERT_TRUE(DemoStation::Populate(m_control, error)) << error;
    EXPECT_EQ(m_station.GetGroups().size(), 2u);
    EXPECT_EQ(m_station.GetObjects().size(), 3u);
    EXPECT_EQ(m_station.GetSensors().size(), 7u);
    // Every sensor belongs to an object of the station, and every object to a group.
    for (const auto& sensor : m_station.GetSensors()) {
        bool found = false;
        for (const auto& object : m_station.GetObjects())
            found = found || object->ID == sensor->ObjectID;
        EXPECT_TRUE(found) << sensor->ID;
    }
    for (const auto& object : m_station.GetObjects()) {
        bool found = false;
        for (const auto& group : m_station.GetGroups())
            found = found || group->ID == object->Group;
        EXPECT_TRUE(found) << object->ID;
    }

    // Every event of the cycle is one the station accepts, and the cycle repeats.
    DemoStation demo(m_control, nullptr);
    std::vector<std::string> cycle;
    for (int i = 0; i < 32; ++i) {
        const std::string line = demo.SendNextEvent();
        EXPECT_NE(line.find("-> 0 connection(s)"), std::string::npos) << line;
        if (i > 0 && line == cycle.front())
            break;
        cycle.push_back(line);
    }
    EXPECT_GE(cycle.size(), 2u);
    EXPECT_LT(cycle.size(), 32u);
}

} // namespace

#pragma once

#include "ConfigTestFolder.h"
#include "ScriptedStation.h"

#include <gtest/gtest.h>

// A scripted station on loopback that knows the account "operator"/"secret",
// and a temporary folder standing in for the host's and the library's folders.
class ScriptedStationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(simulator.Start());
        station.AddAccount("operator", "secret");
    }

    ConfigTestFolder folder;
    stationsim::StationSimulator simulator;
    stationsim::ScriptedStation station{simulator};
};

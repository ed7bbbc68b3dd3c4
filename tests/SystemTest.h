#pragma once

// The whole system over loopback: station-sim with a world the test builds,
// the bridge with the real station library beside it, and video-system clients.

#include "BridgeProcess.h"
#include "StationSimProcess.h"
#include "testsupport/ChildProcess.h"
#include "VmsLink.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

class SystemTest : public ::testing::Test
{
protected:
    static const char kLogin[];
    static const char kPassword[];
    // Texts for sensor alarms and restores and for objects put under and off guard.
    static const char kDictionary[];

    // Skips the test while the station library is not built; starts the station
    // with the test's account.
    void SetUp() override;

    // Starts the bridge against the station with the test's account and the
    // dictionary; the settings given override those.
    void StartBridge(BridgeSettings settings);
    void StartBridge();

    // A client logged into the bridge; null (and a failure) when refused.
    std::unique_ptr<VmsLink> Client();

    testsupport::TempFolder m_folder;
    StationSimProcess m_station{m_folder / "station.out"};
    BridgeProcess m_bridge{m_folder.path()};
};

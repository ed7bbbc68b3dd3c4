#pragma once

#include "StationSimulator.h"

#include <gtest/gtest.h>

#include <cstdint>

// A loopback port on which nothing listens any more.
inline uint16_t closed_port()
{
    stationsim::StationSimulator gone;
    EXPECT_TRUE(gone.Start());
    const uint16_t port = gone.GetPort();
    gone.Stop();
    return port;
}

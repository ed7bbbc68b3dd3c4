#pragma once

// Sends a phase's events through the station, each stamped in the send log
// just before it leaves: either as fast as the clients take them, with at most
// `window` events not yet received by every client, or at a fixed rate.

#include "BenchWorld.h"
#include "SendLog.h"
#include "VideoClients.h"

#include "ScriptedStation.h"

#include <cstdint>
#include <string>

namespace eventpath {

struct FeedPace
{
    uint64_t window = 2000;  // events in flight at most (0: no limit)
    double rate = 0;         // events per second (0: as fast as the window lets)
};

// False (with the reason) when an event reached no station connection or a
// client lost its connection.
bool feed_events(const BenchWorld& world, stationsim::ScriptedStation& station, SendLog& sendLog,
                 const VideoClients& clients, const FeedPace& pace, std::string& error);

} // namespace eventpath

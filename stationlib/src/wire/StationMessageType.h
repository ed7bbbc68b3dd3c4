#pragma once

#include <cstdint>

// Message type carried in every frame and packet of the station protocol.
enum StationMessageType : int32_t
{
    kMessageIgnored = 0,
    kMessagePing = 1,
    kMessageRequest = 2,      // request to the station, or a notification from it
    kMessageAnswer = 3,
    kMessageIgnored4 = 4,
};

// Types above 4 (and, read as unsigned, any negative one) are invalid.
inline bool IsValidMessageType(int32_t type)
{
    return static_cast<uint32_t>(type) <= 4u;
}

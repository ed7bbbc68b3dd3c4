#pragma once

#include <cstdint>

// Last error of a station connection; each has its text in CLanClient::GetLastErrorText.
enum LanClientError : int32_t
{
    kLanErrorNone = 1,
    kLanErrorNotConnected = 2,
    kLanErrorNoAnswer = 3,
    kLanErrorSocket = 4,
    kLanErrorAddress = 5,
    kLanErrorConnect = 6,
    kLanErrorSend = 7,
    kLanErrorAnswerType = 8,      // the detail holds the message type received
    kLanErrorAnswerStructure = 9,
    kLanErrorRefused = 10,        // the text is the station's
    kLanErrorPacket = 11,
};

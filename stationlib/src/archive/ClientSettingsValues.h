#pragma once

#include <cstdint>
#include <string>

// Values that client and person records take from their Settings text when they
// load, kept in memory only (the Settings text itself is saved unchanged).
struct ClientSettingsValues
{
    std::string CCAcc;   // "CCAcc" decoded by the client-field codec
    std::string Phone1;  // phone numbers reduced to their last ten digits
    std::string Phone2;
    // From the hexadecimal flag row "CCFl": 1 when flag 0 is set (as it is when
    // missing), else 2 when flag 2 is set, else 0.
    int32_t CCFlMode = 0;
    bool CCFlBit3 = false;
    bool CCFlBit4 = false;
    bool CCFlBit5 = false;
    bool CCFlBit6 = false;

    void ReadClientSettings(const std::string& settings);
};

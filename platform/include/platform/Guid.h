#pragma once

// Globally unique identifiers: random (version 4) ones, in the layout and text
// form Windows gives them.

#include <cstdint>
#include <string>

namespace platform {

struct Guid
{
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};
};

// A new random GUID; false when the system has no randomness to give.
bool create_guid(Guid& out);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
std::string guid_to_string(const Guid& guid);

} // namespace platform

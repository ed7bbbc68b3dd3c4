#include "platform/Guid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

bool create_guid(Guid& out)
{
    unsigned char bytes[16];
    size_t filled = 0;
    while (filled < sizeof(bytes)) {
        ssize_t n = ::getrandom(bytes + filled, sizeof(bytes) - filled, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        filled += static_cast<size_t>(n);
    }
    Guid guid;
    std::memcpy(&guid.data1, bytes, 4);
    std::memcpy(&guid.data2, bytes + 4, 2);
    std::memcpy(&guid.data3, bytes + 6, 2);
    std::memcpy(guid.data4, bytes + 8, 8);
    // Version 4 (random) and the standard variant.
    guid.data3 = static_cast<uint16_t>((guid.data3 & 0x0FFF) | 0x4000);
    guid.data4[0] = static_cast<uint8_t>((guid.data4[0] & 0x3F) | 0x80);
    out = guid;
    return true;
}

std::string guid_to_string(const Guid& guid)
{
    char text[40];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.data1,
                  static_cast<unsigned>(guid.data2), static_cast<unsigned>(guid.data3),
                  static_cast<unsigned>(guid.data4[0]), static_cast<unsigned>(guid.data4[1]),
                  static_cast<unsigned>(guid.data4[2]), static_cast<unsigned>(guid.data4[3]),
                  static_cast<unsigned>(guid.data4[4]), static_cast<unsigned>(guid.data4[5]),
                  static_cast<unsigned>(guid.data4[6]), static_cast<unsigned>(guid.data4[7]));
    return text;
}

} // namespace platform

#pragma once

// Entry attributes between the systems that create ZIP entries. System ids are the
// high byte of an entry's "version made by".

#include <cstdint>

namespace ZipCompatibility {

enum SystemId : int
{
    zcDosFat = 0,
    zcUnix = 3,
    zcOs2Hpfs = 6,
    zcMacintosh = 7,
    zcNtfs = 10,
};

bool IsPlatformSupported(int systemId);
// Raises 115 when either system has no converter.
uint32_t ConvertFileAttributes(uint32_t attributes, int fromSystem, int toSystem);

} // namespace ZipCompatibility

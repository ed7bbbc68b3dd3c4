#include "utils/PlatformStubs.h"

#include "utils/Assertion.h"

#include <cstdlib>

void read_sysfs_file(const std::string& /*path*/, std::string& /*text*/)
{
    KORVEL_ASSERT(!"Platform is not supported: Can use read_sysfs_file() only on Linux");
    std::abort(); // not reached: the check never holds
}

void get_model_and_serial_for_device(const std::string& /*device*/, std::string& /*model*/,
                                     std::string& /*serial*/)
{
    KORVEL_ASSERT(!"Platform is not supported: Can use get_model_and_serial_for_device() only on Linux");
    std::abort(); // not reached: the check never holds
}

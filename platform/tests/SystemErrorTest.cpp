#include "platform/SystemError.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(SystemError, KnownCodesHaveTheirText)
{
    struct Case
    {
        uint32_t code;
        const char* text;
    };
    const Case cases[] = {
        {ENOENT, "No such file or directory"},
        {EACCES, "Permission denied"},
        {platform::kErrorAlreadyExists, "File exists"},
        {platform::kErrorFailedServiceControllerConnect,
         "The service process could not connect to the service controller."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::system_error_text(c.code), c.text) << c.code;
}

TEST(SystemError, UnknownCodesHaveNoText)
{
    for (uint32_t code : {100000u, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(platform::system_error_text(code), "") << code;
}

} // namespace

#include "platform/Guid.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace {

TEST(Guid, TextHasTheWindowsLayout)
{
    platform::Guid guid;
    guid.data1 = 0x01234567;
    guid.data2 = 0x89AB;
    guid.data3 = 0x4DEF;
    const uint8_t tail[8] = {0x8a, 0xbc, 0x00, 0x01, 0x02, 0x03, 0xfe, 0xff};
    std::copy(tail, tail + 8, guid.data4);
    EXPECT_EQ(platform::guid_to_string(guid), "{01234567-89AB-4DEF-8ABC-00010203FEFF}");
}

TEST(Guid, NewGuidsAreRandomVersionFour)
{
    const std::regex form("\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\}");
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        platform::Guid guid;
        ASSERT_TRUE(platform::create_guid(guid));
        std::string text = platform::guid_to_string(guid);
        EXPECT_TRUE(std::regex_match(text, form)) << text;
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 200u);
}

} // namespace

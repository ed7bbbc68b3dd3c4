// The command line every loopback program shares: the world's shape and the
// bridge's settings, and the walk that hands the rest to the program.

#include "BenchSystem.h"

#include <gtest/gtest.h>

#include <vector>

namespace eventpath {
namespace {

TEST(SystemOptions, WorldShapesAreThreePositiveCountsAndSensorNumbersFitSixteenBits)
{
    const struct
    {
        const char* value;
        bool bad;
    } cases[] = {
        {"2,3,4", false}, {"1,1,32767", false}, {"1,1,32768", true}, {"0,3,4", true},
        {"2,3", true},    {"2,3,4,5", true},    {"2,3,4x", true},    {"a,b,c", true},
    };
    for (const auto& c : cases) {
        SystemSettings system;
        WorldShape shape;
        bool bad = false;
        EXPECT_TRUE(take_system_option("--sensors", c.value, system, shape, bad));
        EXPECT_EQ(bad, c.bad) << c.value;
    }
    SystemSettings system;
    WorldShape shape;
    bool bad = false;
    take_system_option("--sensors", "2,3,4", system, shape, bad);
    EXPECT_EQ(shape.groups * 100 + shape.objectsPerGroup * 10 + shape.sensorsPerObject, 234);
}

TEST(SystemOptions, TheWalkGivesFlagsProgramOptionsAndSystemOptionsEachTheirOwn)
{
    std::vector<const char*> args{"prog", "--keep", "--verbosity", "2", "--drops", "7", "--bridge", "/b"};
    SystemSettings system;
    WorldShape shape;
    bool keep = false;
    int drops = 0;
    const auto flag = [&keep](const std::string& name) { return name == "--keep" && (keep = true); };
    const auto option = [&drops](const std::string& name, const std::string& value) {
        drops = std::stoi(value);
        return name == "--drops";
    };
    const auto walk = [&] {
        return parse_arguments(static_cast<int>(args.size()), const_cast<char**>(args.data()), system, shape, flag,
                               option);
    };
    ASSERT_TRUE(walk());
    EXPECT_TRUE(keep);
    EXPECT_EQ(drops, 7);
    EXPECT_EQ(system.verbosity, 2);
    EXPECT_EQ(system.bridge, "/b");

    args.push_back("--verbosity");  // without its value
    EXPECT_FALSE(walk());
}

} // namespace
} // namespace eventpath

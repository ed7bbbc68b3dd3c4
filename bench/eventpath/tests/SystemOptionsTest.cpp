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

TEST(SystemOptions, TheWalkGivesFlagsProgramOptionsAndSystemOptionsEachTheirOwnAndNamesWhatItRefuses)
{
    struct Case
    {
        std::vector<const char*> args;
        CommandLine parsed;
        const char* error;
    };
    const Case cases[] = {
        {{"--keep", "--verbosity", "2", "--drops", "7", "--bridge", "/b"}, CommandLine::Run, ""},
        {{"--drops", "7", "-h", "--bogus"}, CommandLine::Usage, ""},
        {{"--keep", "--verbosity"}, CommandLine::Wrong, "--verbosity needs a value"},
        {{"--drops", "x"}, CommandLine::Wrong, "--drops does not take 'x'"},
        {{"--verbosity", "-1"}, CommandLine::Wrong, "--verbosity does not take '-1'"},
        {{"--bogus", "1"}, CommandLine::Wrong, "unknown option --bogus"},
        {{"--bogus"}, CommandLine::Wrong, "unknown option --bogus"},
        {{"7"}, CommandLine::Wrong, "unknown argument 7"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"prog"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        SystemSettings system;
        WorldShape shape;
        bool keep = false;
        long long drops = 0;
        const auto flag = [&keep](const std::string& name) { return name == "--keep" && (keep = true); };
        const auto option = [&drops](const std::string& name, const std::string& value, bool& bad) {
            bad = !whole_number(value, 0, drops);
            return name == "--drops";
        };
        std::string error;
        const CommandLine parsed = parse_arguments(static_cast<int>(argv.size()), const_cast<char**>(argv.data()),
                                                   system, shape, flag, option, error);
        EXPECT_EQ(parsed, c.parsed) << c.args.front();
        EXPECT_EQ(error, c.error) << c.args.front();
        if (parsed == CommandLine::Run) {
            EXPECT_TRUE(keep);
            EXPECT_EQ(drops, 7);
            EXPECT_EQ(system.verbosity, 2);
            EXPECT_EQ(system.bridge, "/b");
        }
    }
}

} // namespace
} // namespace eventpath

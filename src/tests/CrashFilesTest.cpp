#include "utils/CacheReaper.h"
#include "utils/CrashFiles.h"

#include "testsupport/TestFolder.h"

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <utime.h>

using ::testing::HasSubstr;
using ::testing::UnorderedElementsAreArray;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

std::string crash_name(int number, const std::string& stem, const char* extension = ".log")
{
    return (number < 10 ? "_crash0" : "_crash") + std::to_string(number) + "_" + stem + extension;
}

TEST(CrashFiles, NumbersFollowTheHighestLogAndPruningKeepsTheThreeLowestAndNineLogsForAnyStem)
{
    for (const std::string stem : {"app", "App", "my_app", "a.b"}) {
        TestFolder crash;
        std::vector<std::string> left = {crash_name(4, stem, ".dmp"), "other.log"};
        for (int i = 0; i < 13; ++i) {
            crash.Write(crash_name(i, stem), "");
            if (i == 4) {
                EXPECT_EQ(allocate_crash_filename(crash.Folder(), "logs/" + stem + ".log"),
                          crash.Folder() + "/_crash05_" + stem);
            }
            if (i < 3 || i > 6)
                left.push_back(crash_name(i, stem));
        }
        crash.Write(crash_name(3, stem, ".dmp"), "");
        ::mkdir(crash.Path(crash_name(4, stem, ".dmp")).c_str(), 0700); // fails to go, with a warning
        crash.Write("other.log", "");
        CaptureStderr();
        EXPECT_EQ(allocate_crash_filename(crash.Folder(), stem + ".log"), crash.Folder() + "/_crash13_" + stem);
        EXPECT_THAT(GetCapturedStderr(), HasSubstr("allocate_crash_filename failed to remove " + crash.Folder()));
        EXPECT_THAT(crash.Entries(), UnorderedElementsAreArray(left)) << stem;
    }
}

TEST(CrashFiles, NumbersNoIndexCanFollowArePassedOverAndNoExistingNameIsTaken)
{
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"_crash18446744073709551615_app.log"}, 0},
        {{"_crash2147483646_app.log", "_crash2147483647_app.log", "_crash00_app.dmp"}, 1}};
    for (const auto& c : cases) {
        TestFolder crash;
        for (const std::string& name : c.first)
            crash.Write(name, "");
        for (int next = c.second; next < c.second + 2; ++next) {
            EXPECT_EQ(allocate_crash_filename(crash.Folder(), "app.log"), crash.Path(crash_name(next, "app", "")));
            crash.Write(crash_name(next, "app"), "");
        }
    }
}

TEST(CrashFiles, UnreadableFolderIsLoggedAndInvalidExpressionThrown)
{
    TestFolder folder;
    CaptureStderr();
    EXPECT_TRUE(ls_regexp(folder.Path("missing"), "x").empty());
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("WARNING: ls_regexp('" + folder.Path("missing") + "', 'x') failed: "));
    EXPECT_ANY_THROW(ls_regexp(folder.Folder(), "(["));
}

TEST(CacheReaper, DeletesOldestRegularFilesOverTheBudget)
{
    constexpr off_t kFile = 200000000;
    TestFolder outside;
    outside.Write("big", "");
    ASSERT_EQ(::truncate(outside.Path("big").c_str(), 3 * kFile), 0);
    const std::pair<int, std::vector<std::string>> cases[] = {{10, {}}, {11, {"f00", "f01", "f02", "f03"}}};
    for (const auto& c : cases) {
        TestFolder cache;
        for (int i = 0; i < c.first; ++i) {
            const std::string name = "f0" + std::to_string(i);
            cache.Write(name, "");
            ASSERT_EQ(::truncate(cache.Path(name).c_str(), kFile), 0);
            const utimbuf times{1700000000 + std::max(i, 1), 1700000000 + std::max(i, 1)}; // f00, f01 alike
            ::utime(cache.Path(name).c_str(), &times);
        }
        ::mkdir(cache.Path("sub").c_str(), 0700);
        ASSERT_EQ(::symlink(outside.Path("big").c_str(), cache.Path("link").c_str()), 0);
        EXPECT_EQ(CacheReaper(cache.Folder()), c.second) << c.first;
        EXPECT_EQ(cache.Entries().size(), c.first + 2 - c.second.size());
    }
}

} // namespace

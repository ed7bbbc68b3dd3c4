#include "threadutils/ThreadUtils.h"

#include "utils/ProcessLogger.h"

#include "testsupport/TestFolder.h"

#include <gmock/gmock.h>

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <thread>

namespace {

using ::testing::HasSubstr;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

// Called by threads that are waited for before the list is read.
std::vector<std::string> g_hooked;

void record_name(const char* name)
{
    g_hooked.push_back(name);
}

class ThreadUtilsTest : public ::testing::Test
{
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    void TearDown() override { g_logger = nullptr; }
    TestFolder folder;
    // The death tests' children run the fixture too.
    testsupport::ChildFoldersInside child_folders{folder};
};

TEST_F(ThreadUtilsTest, NamesGoToTheProcessLoggersHookOrAWarning)
{
    Logger process(folder.Folder(), folder.Folder(), "", 0, 0, "");
    process.stop(); // its own watchdog has named itself then
    process.thread_hook = &record_name;
    g_logger = &process;
    Logger(folder.Folder(), folder.Folder(), "", 0, 0, "").stop();
    std::thread([] {
        set_current_thread_name("twenty-characters-ok");
        char name[16] = {};
        ::pthread_getname_np(::pthread_self(), name, sizeof name);
        EXPECT_STREQ(name, "twenty-characte");
    }).join();
    EXPECT_THAT(g_hooked, ::testing::ElementsAre("clock_screwup", "twenty-characters-ok"));

    process.thread_hook = nullptr;
    CaptureStderr();
    std::thread([] { set_current_thread_name("unhooked"); }).join();
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("WARNING: FIXME NO LOGGER OR set_unhandled_handler_again\n"));
}

TEST_F(ThreadUtilsTest, IdleLevelAndBackAsTheLimitsAllow)
{
    // On a thread of its own, so no scheduling change outlives the test.
    std::thread([] {
        const std::string thread = "thread " + std::to_string(::gettid());
        CaptureStderr();
        set_thread_priority(0);
        set_thread_priority(1);
        EXPECT_EQ(::sched_getscheduler(0), SCHED_IDLE);
        set_thread_priority(0);
        const std::string log = GetCapturedStderr();
        EXPECT_THAT(log, HasSubstr(thread + " priority is set to 0\n"));
        EXPECT_THAT(log, HasSubstr(thread + " priority is set to -15\n"));
        // Leaving the idle class takes a nice limit (or privilege) the runner may lack.
        if (::sched_getscheduler(0) == SCHED_OTHER)
            EXPECT_NE(log.find(" set to 0\n"), log.rfind(" set to 0\n")); // both level 0 calls
        else
            EXPECT_THAT(log, HasSubstr("cannot change priority for " + thread + ": (1) Operation not permitted\n"));
    }).join();
    EXPECT_DEATH(set_thread_priority(2), "priority_iter != windows_thread_priorities.end\\(\\)");
}

} // namespace

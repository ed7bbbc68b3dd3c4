#include "utils/Assertion.h"
#include "utils/FatalExit.h"
#include "utils/ProcessLogger.h"

#include "testsupport/TempFolder.h"

#include <boost/assert.hpp>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// Reports each logger call on standard error, so the dying child's output shows
// their order. Its watchdog is stopped at once, so that its start-up warning
// comes first.
class ReportingLogger : public Logger
{
public:
    ReportingLogger() : Logger(testing::TempDir(), testing::TempDir(), "", 0, 0, "") { Logger::stop(); }
    void save_crash_log() override { std::fputs("[crash]", stderr); }
    void notify_listeners(int level, const char* text) override { std::fprintf(stderr, "[notify %d]%s", level, text); }
    void write(const char* text) override { std::fprintf(stderr, "[write]%s", text); }
};

// A logger's watchdog names its thread as it starts; without a process logger
// that has a thread hook, that is one warning.
const std::string kWatchdogWarning = "^[^\n]*WARNING: FIXME NO LOGGER OR set_unhandled_handler_again\n";

class AssertionTest : public ::testing::Test
{
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(AssertionTest, PrintsFileLineAndExpressionAndExitsWithOne)
{
    EXPECT_EXIT(assertion_failed("!filename.empty()", "src/utils", 438), ::testing::ExitedWithCode(1),
                "^ASSERTION FAILED at src/utils\\(438\\): !filename\\.empty\\(\\)\n$");
}

TEST_F(AssertionTest, OverlongReportIsCutAndStillEndsItsLine)
{
    // The child must write where this process looks, so it is forked, not re-run.
    GTEST_FLAG_SET(death_test_style, "fast");
    testsupport::TempFolder folder;
    const std::string path = folder / "stderr.txt";
    const std::string expression(70000, 'x');

    EXPECT_EXIT(
        {
            int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, STDERR_FILENO);
            assertion_failed(expression.c_str(), "f.cpp", 1);
        },
        ::testing::ExitedWithCode(1), "");

    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string report = text.str();
    ASSERT_EQ(report.size(), 65535u);
    EXPECT_EQ(report.back(), '\n');
    EXPECT_EQ(report.compare(0, 24, "ASSERTION FAILED at f.cp"), 0);
    EXPECT_EQ(report[report.size() - 2], 'x');
}

TEST_F(AssertionTest, CheckMacroPassesTrueConditionsAndEvaluatesOnce)
{
    int calls = 0;
    KORVEL_ASSERT(++calls == 1);
    EXPECT_EQ(calls, 1);
}

TEST_F(AssertionTest, CheckMacroReportsConditionTextAndPlace)
{
    const int value = 2;
    EXPECT_EXIT(KORVEL_ASSERT(value + 1 == 4), ::testing::ExitedWithCode(1),
                "^ASSERTION FAILED at [^\n]*AssertionTest\\.cpp\\([0-9]+\\): value \\+ 1 == 4\n$");
}

TEST_F(AssertionTest, BoostChecksReachTheSameHandler)
{
    const int value = 2;
    EXPECT_EXIT(BOOST_ASSERT(value == 3), ::testing::ExitedWithCode(1),
                "^ASSERTION FAILED at [^\n]*AssertionTest\\.cpp\\([0-9]+\\): value == 3\n$");
    EXPECT_EXIT(BOOST_ASSERT_MSG(value == 4, "why"), ::testing::ExitedWithCode(1),
                "^ASSERTION FAILED at [^\n]*AssertionTest\\.cpp\\([0-9]+\\): value == 4\n$");
}

TEST_F(AssertionTest, LoggerGetsTheReportAsWriteThenCriticalNotificationThenCrashLog)
{
    EXPECT_EXIT(
        {
            static ReportingLogger logger;
            g_logger = &logger;
            assertion_failed("x", "f", 7);
        },
        ::testing::ExitedWithCode(1),
        kWatchdogWarning + "ASSERTION FAILED at f\\(7\\): x\n"
        "\\[write\\]ASSERTION FAILED at f\\(7\\): x\n"
        "\\[notify 2\\]ASSERTION FAILED at f\\(7\\): x\n"
        "\\[crash\\]$");
}

TEST_F(AssertionTest, FatalExitSavesCrashLogOnlyWithLogger)
{
    EXPECT_EXIT(fatal_exit(), ::testing::ExitedWithCode(1), "^$");
    EXPECT_EXIT(
        {
            static ReportingLogger logger;
            g_logger = &logger;
            fatal_exit();
        },
        ::testing::ExitedWithCode(1), kWatchdogWarning + "\\[crash\\]$");
}

TEST_F(AssertionTest, SaveCrashLogWithoutLoggerFailsTheCheck)
{
    ASSERT_EQ(g_logger.load(), nullptr);
    EXPECT_EXIT(save_crash_log(), ::testing::ExitedWithCode(1), "ASSERTION FAILED at .*: logger != nullptr\n");
}

} // namespace

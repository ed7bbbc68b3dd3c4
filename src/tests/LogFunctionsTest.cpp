#include "utils/LogFunctions.h"

#include "timeutils/TimeUtils.h"
#include "utils/ProcessLogger.h"

#include "testsupport/StderrOnTerminal.h"

#include <gmock/gmock.h>

#include <atomic>
#include <regex>
#include <thread>

namespace {

constexpr uint64_t kMinute = 60000000;
constexpr uint64_t kHour = 60 * kMinute;
using testing::ElementsAre;

// Its watchdog is stopped at once, so that its start-up warning comes before the test.
class RecordingLogger : public Logger
{
public:
    RecordingLogger() : Logger(testing::TempDir(), testing::TempDir(), "", 0, 0, "") { Logger::stop(); }
    void save_crash_log() override { calls.push_back("crash"); }
    void notify_listeners(int level, const char* text) override
    {
        calls.push_back("notify " + std::to_string(level) + ":" + text);
    }
    void write(const char* text) override { calls.push_back(std::string("write:") + text); }
    std::vector<std::string> calls;
};

class LogFunctionsTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        flush_partial_line(UINT64_MAX);
        set_logger(nullptr);
        set_now_offset_for_tests(0);
    }
    // Results of n calls with one text at one time.
    static std::vector<int> suppress(const char* text, uint64_t t, int n)
    {
        std::vector<int> results;
        for (int i = 0; i < n; ++i)
            results.push_back(suppress_duplicate_message(text, t));
        return results;
    }
    static int passed(const std::vector<int>& results)
    {
        return static_cast<int>(std::count(results.begin(), results.end(), kSuppressPass));
    }
    // Each test's times lie far from the others', so their entries and purges stay apart.
    static uint64_t fresh_time()
    {
        static uint64_t next = static_cast<uint64_t>(now_us());
        return next += 1000 * kHour;
    }
    // The text with each time stamp replaced by '@'.
    static std::string unstamp(const std::string& text)
    {
        return std::regex_replace(text, std::regex("[0-9]{8} [0-9]{2}:[0-9]{2}:[0-9]{2} "), "@");
    }
    RecordingLogger logger;
};

TEST_F(LogFunctionsTest, HundredMessagesAnHourPassThenOneAMinuteWithTheDroppedCount)
{
    const uint64_t t = fresh_time();
    EXPECT_EQ(passed(suppress("disk full", t, 150)), 100);
    EXPECT_EQ(passed(suppress("other text", t, 1)), 1);
    EXPECT_EQ(suppress("disk full", t + kMinute, 1)[0], kSuppressDrop);
    EXPECT_EQ(suppress("disk full", t + kMinute + 1, 2), (std::vector<int>{51, kSuppressDrop}));
    // 53 in the hour: suppression ends. Then 251 in an hour: another hour follows.
    EXPECT_EQ(suppress("disk full", t + kHour + 1, 1)[0], kSuppressPass);
    EXPECT_EQ(passed(suppress("disk full", t + kHour + 2, 101)), 99);
    suppress("disk full", t + kHour + 3, 150);
    EXPECT_EQ(suppress("disk full", t + 2 * kHour + 3, 2), (std::vector<int>{152, kSuppressDrop}));

    char text[64] = "x\n", unended[64] = "x";
    format_suppressed_count(text, sizeof(text), 50);
    format_suppressed_count(unended, sizeof(unended), 50);
    EXPECT_STREQ(text, "x (50 messages suppressed)\n");
    EXPECT_STREQ(unended, "x(50 messages suppressed)\n");
}

TEST_F(LogFunctionsTest, WindowRestartsAfterAnIdleHourAndEntriesGoAfterTwo)
{
    const uint64_t t = fresh_time();
    EXPECT_EQ(passed(suppress("a", t, 100)), 100);
    EXPECT_EQ(passed(suppress("a", t + kHour + 1, 100)), 100);
    // Deep in suppression: only dropping the entry lets the next one through.
    suppress("b", t, 300);
    EXPECT_EQ(suppress("b", t + 2 * kHour + kMinute, 1)[0], kSuppressPass);
}

TEST_F(LogFunctionsTest, EachFunctionReachesConsoleAndLoggerInItsOrder)
{
    testing::internal::CaptureStderr();
    log_info_quiet("iq %d\n", 1);
    log_quiet("q\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    set_logger(&logger);
    testing::internal::CaptureStderr();
    log_plain("p\n");
    log_quiet("q\n");
    log_info_quiet("iq\n");
    log_info("i\n");
    log_warning("w\n");
    log_critical("c");
    log_hardware_error("cam", "h%d\n", 2);
    EXPECT_EQ(unstamp(testing::internal::GetCapturedStderr()),
              "p\n@i\n@WARNING: w\n@CRITICAL: c@WARNING: HARDWARE ERROR (cam): h2\n\n");
    std::transform(logger.calls.begin(), logger.calls.end(), logger.calls.begin(), unstamp);
    EXPECT_THAT(logger.calls, ElementsAre("write:p\n", "notify 0:p\n", "write:q\n", "notify 0:q\n", "notify 0:iq\n",
                                          "write:@iq\n", "notify 0:i\n", "write:@i\n", "notify 1:w\n",
                                          "write:@WARNING: w\n", "notify 2:c", "write:@CRITICAL: c", "crash",
                                          "notify 1:HARDWARE ERROR (cam): h2\n\n",
                                          "write:@WARNING: HARDWARE ERROR (cam): h2\n\n"));
}

TEST_F(LogFunctionsTest, CutMessagesStillEndTheirLineButCriticalOnes)
{
    testing::internal::CaptureStderr();
    log_warning("%s", std::string(70000, 'x').c_str());
    log_critical("%s", std::string(70000, 'x').c_str());
    const std::string output = testing::internal::GetCapturedStderr();
    ASSERT_EQ(output.size(), 2 * (kLogMessageBufferSize - 1));
    EXPECT_EQ(output.substr(kLogMessageBufferSize - 3, 2) + output.back(), "x\nx");
}

TEST_F(LogFunctionsTest, ColoursOnATerminalAroundTheRightPieces)
{
    testsupport::StderrOnTerminal terminal;
    for (auto [length, coloured] : {std::pair{-1, 4}, {0, 0}, {4, 4}, {9, 4}, {-5, 4}, {2, 2}}) {
        console_write_colored(3, "abcd", length);
        EXPECT_EQ(terminal.take(), "\033[1;33m" + std::string("abcd", coloured) + "\033[0m" + ("abcd" + coloured))
            << length;
    }
    log_info("i\n");
    log_critical("c\n");
    log_plain("p\n");
    EXPECT_EQ(unstamp(terminal.take()), "\033[1m@\033[0mi\n\033[1;31m@CRITICAL: c\n\033[0m\033[0mp\n\033[0m");
}

TEST_F(LogFunctionsTest, PartialLinesReachListenersWhenCompleteOrAfterASecond)
{
    log_quiet("kept by nobody");
    set_logger(&logger);
    log_quiet("abc");
    log_quiet("def\n");
    log_quiet("abc");
    set_now_offset_for_tests(2000000);
    log_info_quiet("late\n");
    const std::string big(40000, 'x');
    log_quiet("%s", big.c_str());
    log_quiet("%s", big.c_str());
    std::vector<std::string> notified;
    std::copy_if(logger.calls.begin(), logger.calls.end(), std::back_inserter(notified),
                 [](const std::string& call) { return call.compare(0, 7, "notify ") == 0; });
    EXPECT_THAT(notified, ElementsAre("notify 0:abcdef\n", "notify 0:abc\n", "notify 0:late\n",
                                      "notify 0:" + big + big + "\n"));
}

TEST_F(LogFunctionsTest, SleepEndsEarlyWhenTheLoggersConditionIsSignalled)
{
    set_logger(&logger);
    // Signals until the sleep ends, so a signal before the wait began does no harm.
    std::atomic<bool> woken{false};
    std::thread waker([&] {
        for (; !woken; std::this_thread::sleep_for(std::chrono::milliseconds(10)))
            logger.sleep_condition.notify_all();
    });
    const auto start = std::chrono::steady_clock::now();
    sleep_us(60000000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    woken = true;
    waker.join();
}

} // namespace

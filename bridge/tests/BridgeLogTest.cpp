#include "support/BridgeLog.h"

#include "support/ConnectionSettings.h"
#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using testsupport::read_file;
using testsupport::TempFolder;

namespace {

class BridgeLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved_path = log_path();
        verbosity = 1;
        m_log = m_folder / "korvel-orvanta-client.log";
        testsupport::write_file(m_log, "left from the last run\n");
        set_log_path(m_log);
    }
    void TearDown() override
    {
        verbosity = 1;
        set_log_limits_for_tests();
        set_log_path(m_saved_path);
    }

    // The log's lock as another process takes it (another open file
    // description, so this process's own lock counts too); -1 while it is held.
    int take_lock()
    {
        const int fd = ::open(log_lock_path(m_log).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return fd;
        ::close(fd);
        return -1;
    }

    TempFolder m_folder;
    std::string m_log;
    std::string m_saved_path;
};

TEST_F(BridgeLogTest, ARunHoldingTheLockBeginsANewFileKeepingTheLastAsOldAndOthersAppend)
{
    EXPECT_EQ(log_lock_path(m_log), m_folder / "korvel-orvanta-client.lock");
    const struct {
        LogStart start;
        bool service_running;
        std::string log;
        std::string old;
    } cases[] = {
        {LogStart::NewFile, false, "run sc create\nno line end", "left from the last run\n"},
        {LogStart::Append, false, "left from the last run\nrun sc create\nno line end", "older run\n"},
        // A copy started beside a running service leaves its lines in place.
        {LogStart::NewFile, true, "left from the last run\nrun sc create\nno line end", "older run\n"},
    };
    for (const auto& c : cases) {
        testsupport::write_file(m_log, "left from the last run\n");
        testsupport::write_file(m_log + kOldLogSuffix, "older run\n");
        set_log_path("");
        const int service = c.service_running ? take_lock() : -1;
        ASSERT_EQ(service >= 0, c.service_running);
        set_log_path(m_log, c.start);
        log_message(kLogInfo, "run %s\n", "sc create");
        log_message(kLogError, "no line end");
        EXPECT_EQ(read_file(m_log), c.log);
        EXPECT_EQ(read_file(m_log + kOldLogSuffix), c.old);
        if (service >= 0)
            ::close(service);
        // A run that began the file holds the lock for its life.
        const int other = take_lock();
        EXPECT_EQ(other >= 0, c.start == LogStart::Append || c.service_running);
        if (other >= 0)
            ::close(other);
    }
}

TEST_F(BridgeLogTest, ALinkedLogMovesItsTargetAsideBesideIt)
{
    const std::string target = m_folder / "target.log";
    testsupport::write_file(target, "left from the last run\n");
    std::filesystem::remove(m_log);
    std::filesystem::create_symlink(target, m_log);
    set_log_path(m_log);
    set_log_limits_for_tests(40, std::chrono::milliseconds(0));
    for (const char* line : {"line 1 is 20 bytes\n", "line 2 is 20 bytes\n", "line 3 is 20 bytes\n"})
        log_message(kLogError, "%s", line);
    EXPECT_EQ(read_file(target + kOldLogSuffix), "line 1 is 20 bytes\nline 2 is 20 bytes\n");
    EXPECT_EQ(read_file(target), "line 3 is 20 bytes\n");
    EXPECT_TRUE(std::filesystem::is_symlink(m_log));
    EXPECT_FALSE(std::filesystem::exists(m_log + kOldLogSuffix));
}

TEST_F(BridgeLogTest, MessagesAboveVerbosityAreDroppedAndDoNotTruncate)
{
    struct Case {
        int verbosity;
        std::string expected;
    };
    for (const Case& c : {Case{0, "level 0\n"}, Case{1, "level 1\nlevel 0\n"}, Case{2, "level 2\nlevel 1\nlevel 0\n"}}) {
        testsupport::write_file(m_log, "old\n");
        set_log_path(m_log);
        verbosity = c.verbosity;
        log_message(kLogVerbose, "level 2\n");
        log_message(kLogInfo, "level 1\n");
        // Dropped messages leave the last run's file as it is.
        if (c.verbosity == 0) {
            EXPECT_EQ(read_file(m_log), "old\n");
        }
        log_message(kLogError, "level 0\n");
        EXPECT_EQ(read_file(m_log), c.expected) << c.verbosity;
    }
}

TEST_F(BridgeLogTest, LongMessageIsCut)
{
    const std::string text(5000, 'z');
    log_message(kLogError, "%s", text.c_str());
    EXPECT_EQ(read_file(m_log), text.substr(0, kLogMessageMaxLength));
    EXPECT_EQ(kLogMessageMaxLength, 4095u);
}

TEST_F(BridgeLogTest, LinesTheLogCannotTakeGoToStandardErrorAfterTheReason)
{
    const std::string unopenable = m_folder / "missing/x.log";
    testing::internal::CaptureStderr();
    set_log_path(unopenable);
    log_message(kLogError, "one\n");
    log_message(kLogError, "two\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "unable to write log " + unopenable + " (" + std::strerror(ENOENT) + ")\none\ntwo\n");
    // What the log took is not repeated there.
    testing::internal::CaptureStderr();
    set_log_path(m_log);
    log_message(kLogError, "kept\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(read_file(m_log), "kept\n");
}

TEST_F(BridgeLogTest, LinesFromManyThreadsNeverInterleave)
{
    constexpr int kThreads = 8;
    constexpr int kLines = 200;
    const std::string body(300, 'b');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &body] {
            for (int i = 0; i < kLines; ++i)
                log_message(kLogError, "thread %d line %d %s\n", t, i, body.c_str());
        });
    for (std::thread& thread : threads)
        thread.join();

    std::istringstream lines(read_file(m_log));
    std::string line;
    std::vector<int> next(kThreads, 0);
    int count = 0;
    while (std::getline(lines, line)) {
        int t = -1;
        int i = -1;
        char rest[400] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d %399s", &t, &i, rest), 3) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        EXPECT_EQ(i, next[t]++) << line;
        EXPECT_EQ(rest, body);
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

TEST_F(BridgeLogTest, PastTheSizeLimitTheFileMovesAsideAndANewOneBegins)
{
    set_log_limits_for_tests(40, std::chrono::milliseconds(0));
    const std::string old = m_log + kOldLogSuffix;
    // Lines of 19 bytes: the third begins a new file.
    for (const char* line : {"line 1 is 20 bytes\n", "line 2 is 20 bytes\n", "line 3 is 20 bytes\n", "line 4 is 20 bytes\n"})
        log_message(kLogError, "%s", line);
    EXPECT_EQ(read_file(old), "line 1 is 20 bytes\nline 2 is 20 bytes\n");
    EXPECT_EQ(read_file(m_log), "line 3 is 20 bytes\nline 4 is 20 bytes\n");
    // One file before is kept; a message larger than the limit is written whole.
    const std::string longer(60, 'x');
    log_message(kLogError, "%s", longer.c_str());
    EXPECT_EQ(read_file(old), "line 3 is 20 bytes\nline 4 is 20 bytes\n");
    EXPECT_EQ(read_file(m_log), longer);
}

TEST_F(BridgeLogTest, LinesRepeatedWithinTheWindowAreWrittenOnceThenCounted)
{
    // A window that no run outlasts: only the stop ends it.
    set_log_limits_for_tests(kLogMaxFileSize, std::chrono::hours(1));
    for (const char* text : {"A\n", "A\n", "A\n", "B\n", "A\n", ".", "."})
        log_message(kLogError, "%s", text);
    log_repeat_counts();
    EXPECT_EQ(read_file(m_log), "A\nB\n..") << "no window has ended";
    // At stop, every count still open.
    log_repeat_counts(true);
    EXPECT_EQ(read_file(m_log), "A\nB\n..repeated 3 times: A\n");

    // Once its window has ended, a count goes out with the next line, or from
    // the service's poll when none comes.
    set_log_limits_for_tests(kLogMaxFileSize, std::chrono::seconds(1));
    log_message(kLogError, "C\n");
    log_message(kLogError, "C\n");
    move_log_clock_for_tests(std::chrono::seconds(1));
    log_message(kLogError, "D\n");
    log_message(kLogError, "D\n");
    const std::string before = "A\nB\n..repeated 3 times: A\nC\nrepeated 1 times: C\nD\n";
    EXPECT_EQ(read_file(m_log), before);
    move_log_clock_for_tests(std::chrono::seconds(1));
    log_repeat_counts();
    EXPECT_EQ(read_file(m_log), before + "repeated 1 times: D\n");
}

} // namespace

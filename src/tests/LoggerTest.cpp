#include "logger/Backlog.h"
#include "logger/Logger.h"

#include "timeutils/TimeUtils.h"
#include "utils/Assertion.h"
#include "utils/LogFunctions.h"
#include "utils/ProcessLogger.h"

#include "testsupport/ChildProcess.h"
#include "testsupport/TestFolder.h"
#include "testsupport/WaitUntil.h"

#include <gmock/gmock.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <thread>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

constexpr int64_t kSecond = 1000000;

// Keeps what is written to it, for watching the clock watchdog.
class TextLogger : public Logger
{
public:
    explicit TextLogger(const std::string& dir) : Logger(dir, dir, "", 0, 0, "") {}
    void write(const char* text) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_text += text;
    }
    int count(const std::string& part)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        int n = 0;
        for (size_t at = m_text.find(part); at != std::string::npos; at = m_text.find(part, at + 1))
            ++n;
        return n;
    }

private:
    std::mutex m_mutex;
    std::string m_text;
};

class LoggerTest : public ::testing::Test
{
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    void TearDown() override
    {
        set_logger(nullptr);
        set_now_offset_for_tests(0);
    }
    std::unique_ptr<Logger> make(const std::string& name, uint64_t max_size, int32_t max_old)
    {
        return std::make_unique<Logger>(folder.Path("logs"), folder.Path("crash"), name, max_size, max_old, "");
    }
    // Makes it the process logger; the watchdogs start without a warning to it,
    // whenever they get there.
    static void install(Logger& logger)
    {
        logger.thread_hook = [](const char*) {};
        set_logger(&logger);
    }
    void put(const std::string& name, const std::string& text)
    {
        std::filesystem::create_directories(std::filesystem::path(folder.Path(name)).parent_path());
        folder.Write(name, text);
    }
    // Moves the test clock to 2024-01-02 03:04:05 local time plus the seconds.
    static void set_clock(int seconds)
    {
        set_now_offset_for_tests(0);
        const int64_t target = ymd_to_time(2024, 1, 2, false) + (3 * 3600 + 4 * 60 + 5 + seconds) * kSecond;
        set_now_offset_for_tests(target - now_us());
    }
    // Moves the clock back an hour further at a time, from `hours` on, until the
    // logger has `detected` jumps (a busy watchdog may first read the clock after
    // a move); the hours moved, 0 when it never has.
    static int move_clock_back_until(TextLogger& logger, int detected, int hours = 1)
    {
        for (; hours <= 10; ++hours) {
            set_now_offset_for_tests(-hours * 3600 * kSecond);
            if (wait_until([&] { return logger.count("DETECTED") >= detected; }, std::chrono::seconds(1)))
                return hours;
        }
        return 0;
    }
    TestFolder folder;
    // The death tests' children run the fixture too.
    testsupport::ChildFoldersInside child_folders{folder};
};

TEST_F(LoggerTest, FileRotatesOnlyPastItsLimitIntoTheOlderFile)
{
    auto logger = make("app.log", 10, 0);
    logger->write("123456789"); // with the head line feed: exactly 10 bytes
    EXPECT_FALSE(std::filesystem::exists(folder.Path("logs/app.older.log")));
    logger->write("x");
    EXPECT_EQ(folder.Read("logs/app.older.log"), "\n123456789x");
    EXPECT_EQ(folder.Read("logs/app.log"), "\n");
    EXPECT_FALSE(std::filesystem::exists(folder.Path("logs/app.log_olds")));
}

TEST_F(LoggerTest, ConstructionTrimsOnlyOldFilesOfItsOwnName)
{
    for (const std::string name : {"app.log", "app(1).log", "a+b.log", "x(.log"}) {
        std::filesystem::create_directories(folder.Path("logs/" + name + "_olds"));
        std::string foreign = "20240102030405_" + name;
        foreign[foreign.rfind('.')] = 'x';
        put("logs/" + name + "_olds/20240102030405_" + name, "");
        put("logs/" + name + "_olds/" + foreign, "");
        make(name, 10, 0);
        EXPECT_FALSE(std::filesystem::exists(folder.Path("logs/" + name + "_olds/20240102030405_" + name))) << name;
        EXPECT_TRUE(std::filesystem::exists(folder.Path("logs/" + name + "_olds/" + foreign))) << name;
    }
}

TEST_F(LoggerTest, DatedFilesKeepTheNewestAndASecondRotationInOneSecondAppends)
{
    auto logger = make("app.log", 1000, 3);
    for (int i = 0; i < 5; ++i) {
        set_clock(i);
        logger->write(("line " + std::to_string(i) + "\n").c_str());
        logger->rotate_now();
    }
    logger->write("line 5\n");
    logger->rotate_now();
    std::vector<std::string> names;
    for (const LogFileText& file : logger->read_logs())
        names.push_back(file.name);
    EXPECT_THAT(names, ElementsAre("app.log", "20240102030409_app.log", "20240102030408_app.log",
                                   "20240102030407_app.log"));
    EXPECT_EQ(folder.Read("logs/app.log_olds/20240102030409_app.log"), "\nline 4\n\nline 5\n");
    EXPECT_EQ(folder.Entries().size(), 1u);
}

TEST_F(LoggerTest, FailuresAreReportedAndAFailedMoveStopsOnlyThatLoggersRotation)
{
    folder.Write("logs", "a file where the folder should be");
    CaptureStderr();
    make("app.log", 10, 0)->write("x");
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("Logger: Cannot open '" + folder.Path("logs/app.log") + "'\n"));

    std::filesystem::remove(folder.Path("logs"));
    put("logs/app.log_olds", "a file where the folder should be");
    auto blocked = make("app.log", 5, 3);
    auto other = std::make_unique<Logger>(folder.Path("other"), folder.Path("crash"), "app.log", 5, 0, "");
    CaptureStderr();
    blocked->write("123456");
    blocked->write("123456");
    other->write("123456");
    other->write("123456");
    const std::string warnings = GetCapturedStderr();
    EXPECT_EQ(warnings.find("Logger: Can't create directory"), warnings.rfind("Logger: Can't create directory"));
    EXPECT_EQ(folder.Read("logs/app.log"), "\n123456\n123456");
    EXPECT_EQ(folder.Read("other/app.older.log"), "\n123456");
}

TEST_F(LoggerTest, AnOldFileThatCannotBeRemovedIsGivenUp)
{
    const std::string olds = "logs/app.log_olds/";
    put(olds + "20240101000000_app.log/inside", "");
    put(olds + "20240101000001_app.log", "");
    put(olds + "20240101000002_app.log", "");
    CaptureStderr();
    make("app.log", 10, 1); // gone at once: its watchdog has logged the warning
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("Removing file failed: " + folder.Path(olds + "20240101000000_app.log")));
    EXPECT_FALSE(std::filesystem::exists(folder.Path(olds + "20240101000001_app.log")));
    EXPECT_TRUE(std::filesystem::exists(folder.Path(olds + "20240101000002_app.log")));
}

TEST(Backlog, KeepsTheLatestBytesOldestFirstAndDumpsOnlyIntoANewFile)
{
    TestFolder folder;
    const std::pair<std::vector<const char*>, std::string> cases[] = {
        {{}, ""}, {{"abc", "defgh"}, "abcdefgh"}, {{"abc", "defgh", "ij"}, "cdefghij"}, {{"0123456789"}, "23456789"}};
    for (const auto& c : cases) {
        Backlog backlog(8);
        for (const char* text : c.first)
            backlog.write(text);
        const std::string name = "dump" + std::to_string(&c - cases);
        EXPECT_TRUE(backlog.dump(folder.Path(name)));
        EXPECT_EQ(folder.Read(name), c.second);
        EXPECT_FALSE(backlog.dump(folder.Path("dump0")));
    }
    EXPECT_EQ(folder.Read("dump0"), "");
}

TEST_F(LoggerTest, CrashLogTakesTheBacklogOrTheFileAndTheNextWriteStartsAfresh)
{
    Logger identified(folder.Path("logs"), folder.Path("crash"), "", "ident", 10, 0, "");
    identified.write("hello");
    identified.save_crash_log();
    EXPECT_EQ(folder.Read("crash/_crash00_ident.log"), "hello");

    auto logger = make("app.log", 1000, 0);
    logger->write("one");
    logger->save_crash_log();
    EXPECT_EQ(folder.Read("crash/_crash01_app.log"), "\none");
    logger->write("two");
    EXPECT_EQ(folder.Read("logs/app.log"), "\ntwo");

    // A crash log that cannot be saved leaves the text for the next write to follow.
    auto stuck = std::make_unique<Logger>(folder.Path("logs"), folder.Path("logs/app.log"), "b.log", 1000, 0, "");
    stuck->write("one");
    stuck->save_crash_log();
    stuck->write("two");
    EXPECT_EQ(folder.Read("logs/b.log"), "\none\ntwo");
}

TEST_F(LoggerTest, ChangingTheFolderMovesTheLogAndTheSameFolderKeepsIt)
{
    auto logger = make("app.log", 1000, 0);
    logger->write("one");
    logger->change_log_dir(folder.Path("logs/"), 1000, 0);
    logger->change_log_dir(folder.Path("moved"), 1000, 0);
    logger->write("two");
    EXPECT_EQ(folder.Read("moved/app.log"), "\none\ntwo");
    EXPECT_FALSE(std::filesystem::exists(folder.Path("logs/app.log")));
    EXPECT_FALSE(std::filesystem::exists(folder.Path("logs/app.bkp.log")));
}

// Hears only the test's own thread: a watchdog that looked for a logger just
// before it was installed warns to it from its own thread.
class Listener : public LogListener
{
public:
    void on_message(const std::string& text) override
    {
        if (std::this_thread::get_id() != m_owner)
            return;
        heard.push_back(text);
        if (heard.size() == 1)
            log_info("heard\n"); // reaches this listener again
    }
    std::vector<std::string> heard;

private:
    const std::thread::id m_owner = std::this_thread::get_id();
};

TEST_F(LoggerTest, LiveListenersHearEachMessageAndMayLog)
{
    auto logger = make("app.log", 1000, 0);
    install(*logger);
    auto kept = std::make_shared<Listener>();
    auto dropped = std::make_shared<Listener>();
    logger->add_listener(dropped);
    logger->add_listener(kept);
    dropped.reset();
    logger->notify_listeners(1, "x\n");
    EXPECT_THAT(kept->heard, ElementsAre("x\n", HasSubstr("heard\n")));
    EXPECT_THAT(folder.Read("logs/app.log"), HasSubstr("heard\n"));
}

TEST_F(LoggerTest, WatchdogWakesSleepersForTwoSecondsAfterTheClockGoesBack)
{
    TextLogger logger(folder.Folder());
    set_logger(&logger);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    set_now_offset_for_tests(3600 * kSecond); // forward: nothing
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(logger.count("CLOCK SCREWUP"), 0);

    const int hours = move_clock_back_until(logger, 1);
    ASSERT_NE(hours, 0);
    // An hour further back, the episode lasts until the clock is let go.
    set_now_offset_for_tests(-(hours + 1) * 3600 * kSecond);
    int woken = 0;
    EXPECT_TRUE(wait_until([&] {
        const auto start = std::chrono::steady_clock::now();
        sleep_us(kSecond);
        woken += std::chrono::steady_clock::now() - start < std::chrono::milliseconds(500);
        return woken > 10;
    }, std::chrono::seconds(10)));
    EXPECT_EQ(logger.count("OVER"), 0);
    set_now_offset_for_tests(0);
    EXPECT_TRUE(wait_until([&] { return logger.count("CLOCK SCREWUP OVER") > 0; }));
    EXPECT_EQ(logger.count("DETECTED CLOCK SCREWUP\n"), 1);
}

TEST_F(LoggerTest, StopIsPromptMidEpisodeAndLeavesOtherWatchdogsRunning)
{
    // Each watchdog sees the clock go back once; both episodes last until it is let go.
    TextLogger second(folder.Folder());
    set_logger(&second);
    int hours = move_clock_back_until(second, 1);
    ASSERT_NE(hours, 0);
    TextLogger first(folder.Folder());
    hours = move_clock_back_until(second, 2, hours + 1);
    ASSERT_NE(hours, 0);
    set_now_offset_for_tests(-(hours + 1) * 3600 * kSecond);
    const auto start = std::chrono::steady_clock::now();
    first.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(second.count("OVER"), 1);
    set_now_offset_for_tests(0);
    ASSERT_TRUE(wait_until([&] { return second.count("OVER") == 2; }, std::chrono::seconds(3)));
    set_now_offset_for_tests(-(hours + 2) * 3600 * kSecond);
    EXPECT_TRUE(wait_until([&] { return second.count("DETECTED") == 3; }, std::chrono::seconds(5)));
}

TEST_F(LoggerTest, ConstructionWaitsForNoLockItsCallerHolds)
{
    struct Locking : LogListener {
        std::mutex mutex;
        void on_message(const std::string&) override { std::lock_guard<std::mutex> lock(mutex); }
    };
    // No thread hook: each new watchdog's warning reaches the listener, and the
    // global mutex, once they are free.
    const auto construct_under_held_locks = [&] {
        static Logger process(folder.Path("logs"), folder.Path("crash"), "app.log", 1000, 0, "");
        set_logger(&process);
        static const auto listener = std::make_shared<Locking>();
        process.add_listener(listener);
        std::unique_ptr<Logger> under_listener, under_logger;
        {
            std::lock_guard<std::mutex> held(listener->mutex);
            under_listener = make("a.log", 1000, 0);
        }
        {
            DeferredLogLock held;
            under_logger = make("b.log", 1000, 0);
        }
        // Another thread in a lock scope, waiting for a lock our thread holds.
        std::unique_lock<std::mutex> ours(listener->mutex);
        std::atomic<bool> scoped{false};
        std::thread other([&] {
            DeferredLogLock held;
            scoped = true;
            std::lock_guard<std::mutex> wait(listener->mutex);
        });
        while (!scoped)
            std::this_thread::yield();
        const auto third = make("c.log", 1000, 0);
        ours.unlock();
        other.join();
    };
    EXPECT_EXIT((::alarm(5), construct_under_held_locks(), ::_exit(0)), ::testing::ExitedWithCode(0), "");
}

TEST_F(LoggerTest, FailedChecksInsideTheLoggerStillEndTheProcess)
{
    struct Failing : LogListener {
        void on_message(const std::string&) override { KORVEL_ASSERT(false); }
    };
    EXPECT_EXIT(
        {
            ::alarm(10);
            static Logger logger(folder.Path("logs"), folder.Path("crash"), "app.log", 1000, 0, "");
            install(logger);
            static const auto failing = std::make_shared<Failing>();
            logger.add_listener(failing);
            KORVEL_ASSERT(!"first");
        },
        ::testing::ExitedWithCode(1), "first\"\n.*: false\n");
    EXPECT_EXIT(
        {
            ::alarm(10);
            static Logger logger(folder.Path("logs"), folder.Path("crash"), "app.log", 1000, 0, "");
            install(logger);
            DeferredLogLock lock;
            KORVEL_ASSERT(!"held");
        },
        ::testing::ExitedWithCode(1), "held");
}

std::string marked(int writer, int number)
{
    return "<T" + std::to_string(writer) + " " + std::to_string(number) + ">\n";
}

// How often each marked text occurs in the files under the folder.
std::map<std::pair<int, int>, int> count_marked(const std::string& root)
{
    std::map<std::pair<int, int>, int> counts;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string text = entry.is_regular_file() ? testsupport::read_file(entry.path()) : std::string();
        int writer = 0, number = 0;
        for (size_t at = text.find("<T"); at != std::string::npos; at = text.find("<T", at + 1))
            if (std::sscanf(text.c_str() + at, "<T%d %d>", &writer, &number) == 2)
                ++counts[{writer, number}];
    }
    return counts;
}

TEST_F(LoggerTest, EveryTextSurvivesWritersRotationsFolderChangesCrashLogsAndOtherLoggersAtOnce)
{
    constexpr int kWriters = 3, kSavers = 4, kRounds = 15;
    Logger logger(folder.Path("a"), folder.Path("crash"), "app.log", 4096, 1000, "");
    install(logger);
    std::atomic<bool> done{false};
    std::atomic<int> round{0}, saved{0};
    std::atomic<std::chrono::steady_clock::time_point> fire_at{};
    std::vector<int> written(kWriters);
    std::vector<std::thread> threads;
    const auto every = [&](int pause_us, auto step) {
        threads.emplace_back([&done, pause_us, step]() mutable {
            for (int n = 0; !done; ++n, std::this_thread::sleep_for(std::chrono::microseconds(pause_us)))
                step(n);
        });
    };
    for (int w = 0; w < kWriters; ++w)
        every(200, [&, w](int n) { logger.write(marked(w, n).c_str()); written[w] = n + 1; });
    every(20000, [&](int) { logger.rotate_now(); });
    for (int c = 0; c < 2; ++c)
        every(50000 + c * 20000, [&](int n) { logger.change_log_dir(folder.Path(n % 2 ? "a" : "b"), 4096, 1000); });
    every(10000, [&](int) { Logger other(folder.Path("a"), folder.Path("crash"), "app.log", 4096, 1000, ""); });
    // A new round reaches the savers within a pause; they then save at one instant.
    for (int s = 0; s < kSavers; ++s)
        every(100, [&, seen = 0](int) mutable {
            if (round == seen)
                return;
            seen = round;
            while (std::chrono::steady_clock::now() < fire_at.load())
                std::this_thread::yield();
            logger.save_crash_log();
            ++saved;
        });
    std::filesystem::create_directories(folder.Path("kept"));
    for (int r = 1; r <= kRounds && !HasFailure(); ++r) {
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        fire_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
        round = r;
        EXPECT_TRUE(wait_until([&] { return saved == r * kSavers; })) << r;
        // Each round's crash logs go aside, so that none is ever pruned.
        for (const auto& entry : std::filesystem::directory_iterator(folder.Path("crash"))) {
            const std::string name = entry.path().filename().string();
            std::filesystem::rename(entry.path(), folder.Path("kept/" + std::to_string(r) + name));
        }
    }
    done = true;
    for (std::thread& thread : threads)
        thread.join();

    auto counts = count_marked(folder.Folder());
    int texts = 0, lost = 0, repeated = 0;
    for (int w = 0; w < kWriters; ++w) {
        for (int n = 0; n < written[w]; ++n, ++texts) {
            lost += counts[{w, n}] == 0;
            repeated += counts[{w, n}] > 1;
        }
    }
    EXPECT_EQ(lost + repeated, 0) << lost << " lost and " << repeated << " repeated of " << texts;
}

TEST_F(LoggerTest, ARemovedFolderOrFileIsNoticedAtTheNextWriteAndRotationGoesOn)
{
    // Four rotations after the removal: none of the five dated files is trimmed.
    const std::string pad(40, '.');
    for (const std::string removed : {"folder/logs", "file/logs/app.log"}) {
        const std::string root = removed.substr(0, removed.find('/'));
        Logger logger(folder.Path(root + "/logs"), folder.Path("crash"), "app.log", 2000, 5, "");
        for (int n = 0; n < 210; ++n) {
            if (n == 10)
                std::filesystem::remove_all(folder.Path(removed));
            logger.write((pad + marked(0, n)).c_str());
        }
        auto counts = count_marked(folder.Path(root));
        for (int n = 10; n < 210; ++n)
            EXPECT_EQ((counts[{0, n}]), 1) << removed << " " << n;
        EXPECT_LE(std::filesystem::file_size(folder.Path(root + "/logs/app.log")), 2000u) << removed;
    }
}

TEST_F(LoggerTest, StartLoggingKeepsThePreviousLogAndTheFirstLogger)
{
    put("logs/app.log", "previous");
    put("logs/app.older.log", "");
    start_logging(folder.Path("logs"), folder.Path("crash/sub"), "app.log", "id", 1000);
    std::unique_ptr<Logger> first(get_logger());
    EXPECT_EQ(folder.Read("crash/sub/app.bkp.log"), "previous");
    EXPECT_FALSE(std::filesystem::exists(folder.Path("logs/app.older.log")));
    start_logging(folder.Path("logs"), folder.Path("crash"), "b.log", "id", 1000);
    EXPECT_EQ(get_logger(), first.get());
    EXPECT_EQ(crash_dump_filename(), folder.Path("crash/sub/_crash00_app.dmp"));
    EXPECT_EXIT(start_logging("", "", "app.log", "id", 1), ::testing::ExitedWithCode(1), "!crashlog_dir.empty\\(\\)");
}

} // namespace

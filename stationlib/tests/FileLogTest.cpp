#include "LogCapture.h"
#include "threads/CFileLog.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int32_t kCategory = 6;

int32_t write_line(uint32_t level, const char* module, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int32_t n = g_fileLog.WriteV(level, module, format, args);
    va_end(args);
    return n;
}

std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

const std::string kStamp = R"(\[(\d\d)/(\d\d)/\d\d (\d\d):(\d\d):(\d\d)\.\d\d\d\])";

TEST(FileLogTest, AsShippedNothingIsWritten)
{
    // Never opened: the log refuses the line itself.
    EXPECT_EQ(write_line(LOG_LEVEL_ERROR, "System", "text %d", 1), 0);
    // Opened but every mask 0: log_printf filters everything out.
    LogCapture capture;
    for (uint32_t level : {1u, 2u, 4u, 8u, 16u, 32u, 63u, 0xFFFFFFFFu})
        for (int32_t category : {0, kCategory, 511})
            log_printf(level, category, "System", 0, "text %u", level);
    EXPECT_EQ(capture.Contents(), "");
}

TEST(FileLogTest, LineFormatWithEachLevelTag)
{
    LogCapture capture;
    set_log_category_mask_for_tests(kCategory, 0xFFFFFFFFu);
    struct Case { uint32_t level; const char* tag; };
    const Case cases[] = {
        {1, " [E] "}, {2, " [W] "}, {4, " [I] "}, {8, " [D] "},
        {16, " [<] "}, {32, " [>] "}, {3, " [X] "}, {64, " [X] "},
    };
    for (const Case& c : cases)
        log_printf(c.level, kCategory, "System", 0, "value %u of %s", c.level, "test");

    std::vector<std::string> lines = split_lines(capture.Contents());
    ASSERT_EQ(lines.size(), std::size(cases));
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        std::string tag = std::regex_replace(std::string(cases[i].tag), std::regex(R"([\[\]<>])"), R"(\$&)");
        std::regex expected(kStamp + tag + R"(\[System\] value )" + std::to_string(cases[i].level) + " of test");
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, expected));
        int day = std::stoi(m[1]), month = std::stoi(m[2]), hour = std::stoi(m[3]);
        int minute = std::stoi(m[4]), second = std::stoi(m[5]);
        EXPECT_TRUE(day >= 1 && day <= 31 && month >= 1 && month <= 12);
        EXPECT_TRUE(hour <= 23 && minute <= 59 && second <= 60);
    }
}

TEST(FileLogTest, LevelZeroAndNoModuleLeaveTheirTagsOut)
{
    LogCapture capture;
    int32_t n = write_line(0, nullptr, "%s", "bare");
    std::string text = capture.Contents();
    EXPECT_EQ(n, static_cast<int32_t>(text.size()));
    EXPECT_TRUE(std::regex_match(text, std::regex(kStamp + "bare\r\n"))) << text;
}

TEST(FileLogTest, CategoryAndMaskFilter)
{
    LogCapture capture;
    set_log_category_mask_for_tests(0, LOG_LEVEL_ERROR);
    set_log_category_mask_for_tests(511, LOG_LEVEL_INFO);
    struct Case { uint32_t level; int32_t category; bool written; };
    const Case cases[] = {
        {LOG_LEVEL_ERROR, 0, true},
        {LOG_LEVEL_WARNING, 0, false},
        {LOG_LEVEL_ERROR | LOG_LEVEL_WARNING, 0, true}, // either bit passes
        {LOG_LEVEL_INFO | LOG_LEVEL_DEBUG, 511, true},
        {LOG_LEVEL_ERROR, 511, false},
        {LOG_LEVEL_ERROR, 1, false},
        {0xFFFFFFFFu, 512, false},
        {0xFFFFFFFFu, 100000, false},
        {0xFFFFFFFFu, -1, false},
        {0xFFFFFFFFu, INT32_MIN, false},
    };
    std::string expected;
    for (size_t i = 0; i < std::size(cases); ++i) {
        log_printf(cases[i].level, cases[i].category, "M", 0, "case %zu", i);
        if (cases[i].written)
            expected += "case " + std::to_string(i) + "|";
    }
    std::string seen;
    for (const std::string& line : split_lines(capture.Contents()))
        seen += line.substr(line.rfind("case ")) + "|";
    EXPECT_EQ(seen, expected);
    EXPECT_NE(capture.Contents().find(" [X] [M] case 2\r\n"), std::string::npos);
}

TEST(FileLogTest, LongMessageAndModuleAreCutToTheirBuffers)
{
    LogCapture capture;
    set_log_category_mask_for_tests(kCategory, LOG_LEVEL_ERROR);
    const std::string longModule(100, 'm');
    const std::string longMessage(20000, 'a');
    log_printf(LOG_LEVEL_ERROR, kCategory, longModule.c_str(), 0, "%s", longMessage.c_str());

    std::vector<std::string> lines = split_lines(capture.Contents());
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    size_t moduleStart = line.find("[m");
    ASSERT_NE(moduleStart, std::string::npos);
    size_t messageStart = line.find('a');
    ASSERT_NE(messageStart, std::string::npos);
    // The module prefix keeps 63 bytes: "[" and 62 characters of the name.
    EXPECT_EQ(messageStart - moduleStart, CFileLog::kPrefixBufferSize - 1);
    EXPECT_EQ(line.size() - messageStart, CFileLog::kMessageBufferSize - 1);
}

TEST(FileLogTest, ConcurrentLinesAreNeverInterleaved)
{
    LogCapture capture;
    set_log_category_mask_for_tests(kCategory, LOG_LEVEL_DEBUG);
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                log_printf(LOG_LEVEL_DEBUG, kCategory, "T", 0, "thread %d line %d %s", t, i, "payload payload");
        });
    }
    for (auto& thread : threads)
        thread.join();

    std::vector<std::string> lines = split_lines(capture.Contents());
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    const std::regex whole(kStamp + R"( \[D\] \[T\] thread \d line \d+ payload payload)");
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        ASSERT_TRUE(std::regex_match(line, whole)) << line;
        int t = 0, i = 0;
        std::istringstream(line.substr(line.find("thread ") + 7)) >> t;
        std::istringstream(line.substr(line.find("line ") + 5)) >> i;
        EXPECT_EQ(i, next[t]++) << "lines of one thread keep their order";
    }
}

} // namespace

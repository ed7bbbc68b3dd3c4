#include "platform/Process.h"

#include "platform/Event.h"
#include "platform/ModulePath.h"
#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

using testsupport::TempFolder;

namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLineTest, SplitsAsWindowsProgramsDo)
{
    struct Case {
        const char* line;
        Args args;
    };
    const Case cases[] = {
        {"", {}},
        {"  \t ", {}},
        {"sc", {"sc"}},
        {"  sc  start   x ", {"sc", "start", "x"}},
        {"sc create \"Korvel Orvanta Client\" binPath= \"/opt/a b/client\"",
         {"sc", "create", "Korvel Orvanta Client", "binPath=", "/opt/a b/client"}},
        // The program name: quotes are only removed, backslashes stand.
        {"\"C:\\Program Files\\x\\\"y z", {"C:\\Program Files\\x\\y", "z"}},
        {"a\\\\b \\x", {"a\\\\b", "\\x"}},
        {"p a\\\"b", {"p", "a\"b"}},
        {"p a\\\\\"b c\"", {"p", "a\\b c"}},
        {"p a\\\\\\\"b", {"p", "a\\\"b"}},
        {"p \"a\"\"b\"", {"p", "a\"b"}},
        {"p \"\" x", {"p", "", "x"}},
        {"p \"unterminated arg", {"p", "unterminated arg"}},
        {"p ab\"c d\"ef", {"p", "abc def"}},
        {"p\ta\tb", {"p", "a", "b"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::split_command_line(c.line), c.args) << c.line;
}

class ProcessTest : public ::testing::Test
{
protected:
    void SetUp() override { platform::set_executable_path_override(m_folder / "host"); }
    void TearDown() override { platform::set_executable_path_override(""); }

    // A script in the executable's folder that records its arguments, one a line.
    std::string write_recorder(const std::string& name)
    {
        const std::string path = m_folder / name;
        testsupport::write_file(path, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\" >> \"" + (m_folder / "record") +
                                          "\"; done\nexit 7\n",
                                0755);
        return path;
    }

    TempFolder m_folder;
};

TEST_F(ProcessTest, FindsProgramInExecutableFolderBeforePath)
{
    const std::string own = write_recorder("sh");
    EXPECT_EQ(platform::find_program("sh"), own);
    EXPECT_EQ(platform::find_program("./relative/tool"), "./relative/tool");
    EXPECT_EQ(platform::find_program("no-such-program-anywhere"), "");
    // Not executable: not a candidate.
    testsupport::write_file(m_folder / "plain", "text", 0644);
    EXPECT_EQ(platform::find_program("plain"), "");
    ::unlink(own.c_str());
    EXPECT_NE(platform::find_program("sh"), "");
    EXPECT_NE(platform::find_program("sh"), own);
}

TEST_F(ProcessTest, RunsCommandLineAndReportsExitCode)
{
    write_recorder("recorder");
    platform::Process process;
    ASSERT_TRUE(process.Start("recorder create \"Korvel Orvanta Client\" binPath= \"/x y/z\""));
    ASSERT_TRUE(process.Wait(10000));
    EXPECT_EQ(process.GetExitCode(), 7);
    EXPECT_EQ(testsupport::read_file(m_folder / "record"), "create\nKorvel Orvanta Client\nbinPath=\n/x y/z\n");
}

TEST_F(ProcessTest, MissingProgramFailsWithErrorTwo)
{
    platform::Process process;
    EXPECT_FALSE(process.Start("no-such-program-anywhere start x"));
    EXPECT_EQ(process.GetError(), 2u);
    EXPECT_FALSE(process.Start(""));
    EXPECT_EQ(process.GetError(), 2u);
    EXPECT_FALSE(process.Wait(0));
}

TEST_F(ProcessTest, WaitTimesOutOnRunningProcess)
{
    platform::Process process;
    ASSERT_TRUE(process.Start("/bin/sleep 30"));
    EXPECT_FALSE(process.Wait(50));
    ::kill(process.GetPid(), SIGKILL);
    ASSERT_TRUE(process.Wait(platform::kInfinite));
    EXPECT_EQ(process.GetExitCode(), 128 + SIGKILL);
}

TEST_F(ProcessTest, ChildStartsWithSignalsUnblockedAndNoInheritedDescriptors)
{
    sigset_t term;
    sigset_t previous;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &term, &previous), 0);
    platform::Process killed;
    const bool started = killed.Start("/bin/sh -c \"kill -TERM $$; sleep 10\"");
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ASSERT_TRUE(started);
    ASSERT_TRUE(killed.Wait(10000));
    EXPECT_EQ(killed.GetExitCode(), 128 + SIGTERM);

    const int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    platform::Process probe;
    ASSERT_TRUE(probe.Start("/bin/sh -c \"test -e /proc/self/fd/" + std::to_string(fd) + "\""));
    ASSERT_TRUE(probe.Wait(10000));
    EXPECT_EQ(probe.GetExitCode(), 1);
    ::close(fd);
}

} // namespace

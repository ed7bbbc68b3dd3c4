#include "utils/FileFunctions.h"

#include "testsupport/ChildProcess.h"
#include "testsupport/TestFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <future>

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

class FileFunctionsTest : public ::testing::Test
{
protected:
    TestFolder folder;
};

TEST_F(FileFunctionsTest, ReplacementCutAtFlushKeepsTheOldFileAndTheNextOneRecovers)
{
    const mode_t umask_bits = ::umask(022);
    ::umask(umask_bits);
    const struct {
        void (*replace)(const std::string&, const std::string&, bool);
        const char* old_bytes; // nullptr: no file yet
        const char* expected;
    } cases[] = {{write_file_atomically, "old", "new"}, {write_file_atomically, nullptr, "new"},
                 {append_file_atomically, "old", "oldnew"}, {append_file_atomically, nullptr, "new"}};
    for (const auto& c : cases) {
        const std::string path = folder.Path(std::to_string(&c - cases));
        if (c.old_bytes != nullptr)
            testsupport::write_file(path, c.old_bytes, 0600);
        // Data within the stream's buffer: only the flush meets the lowered limit.
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit lowered{1000, saved.rlim_max};
        const sighandler_t handler = ::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &lowered);
        EXPECT_THROW(c.replace(path, std::string(3000, 'x'), false), std::runtime_error) << path;
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, handler);
        EXPECT_EQ(testsupport::read_file(path), c.old_bytes ? c.old_bytes : "") << path;
        EXPECT_EQ(::access(path.c_str(), F_OK) == 0, c.old_bytes != nullptr) << path;
        EXPECT_EQ(::access((path + "-temp").c_str(), F_OK), 0) << path;

        c.replace(path, "new", true);
        EXPECT_EQ(testsupport::read_file(path), c.expected) << path;
        EXPECT_EQ(static_cast<mode_t>(std::filesystem::status(path).permissions()),
                  c.old_bytes ? 0600 : 0666 & ~umask_bits) << path;
    }
}

TEST_F(FileFunctionsTest, FailedMoveIsThrownListedOrLogged)
{
    const std::string source = folder.Path("missing"), target = folder.Path("target");
    const std::string text = "filed to rename file from " + source + " to " + target + ": ";
    EXPECT_THROW(move_file(source, target, true), std::runtime_error);
    std::vector<std::string> messages;
    move_file(source, target, false, &messages);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(text, 0), 0u) << messages[0];
    CaptureStderr();
    move_file(source, target, false);
    EXPECT_NE(GetCapturedStderr().find("WARNING: " + text), std::string::npos);
}

TEST_F(FileFunctionsTest, MoveAcrossFileSystemsReplacesTheTarget)
{
    struct stat shm{}, tmp{};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(folder.Folder().c_str(), &tmp) != 0 || shm.st_dev == tmp.st_dev)
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    const std::string source = "/dev/shm/korvel-test-" + std::to_string(::getpid());
    testsupport::write_file(source, "moved");
    folder.Write("log", "previous");
    move_file(source, folder.Path("log"), true);
    EXPECT_EQ(folder.Read("log"), "moved");
    EXPECT_NE(::access(source.c_str(), F_OK), 0);
}

TEST_F(FileFunctionsTest, WholeFileReadRefusesFoldersAndFifosAtOnce)
{
    ASSERT_EQ(::mkfifo(folder.Path("fifo").c_str(), 0600), 0);
    for (const std::string name : {"", "fifo"}) {
        const std::string path = folder.Path(name);
        auto result = std::async(std::launch::async, [&] {
            try {
                return read_whole_file(path);
            } catch (const std::runtime_error& error) {
                return std::string(error.what());
            }
        });
        if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            ADD_FAILURE() << path << " waits for a writer";
            ::close(::open(path.c_str(), O_WRONLY));
        }
        EXPECT_EQ(result.get(), "cannot open '" + path + "' with mode 'rb': Invalid argument");
    }
}

TEST_F(FileFunctionsTest, DangerousLocationsAreRefused)
{
    const std::string root = "SystemDrive root is a prohibited location for safety reasons";
    const std::string system = "system paths are prohibited locations for safety reasons";
    const std::string t = folder.Folder();
    ASSERT_EQ(::symlink("/etc", (t + "/etc-link").c_str()), 0);
    const std::pair<std::string, std::string> cases[] = {
        {"/", root}, {"//", root}, {"/var/..", root}, {"/usr/lib", system}, {"/etc/x", system},
        {"/usrdata/x", system}, {t + "/etc-link/x", system}, {t, ""},
        {t + "/cwd/", "Current working folder root is a prohibited location for safety reasons"}};
    for (const auto& c : cases) {
        std::string message;
        try {
            check_safe_location(c.first, (t + "/cwd").c_str());
        } catch (const std::logic_error& error) {
            message = error.what();
        }
        EXPECT_EQ(message, c.second) << c.first;
    }
}

} // namespace

#include "platform/RegularFile.h"

#include "testsupport/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <utility>

namespace {

TEST(RegularFile, OpensRegularFilesAndRefusesEverythingElseAtOnce)
{
    testsupport::TempFolder folder;
    std::ofstream(folder / "file") << "x";
    ASSERT_EQ(::symlink((folder / "file").c_str(), (folder / "link").c_str()), 0);
    // No writer ever comes: an open that waited for one would never return.
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    const std::pair<std::string, int> opening[] = {
        {folder / "file", O_RDONLY}, {folder / "link", O_RDONLY}, {folder / "new", O_WRONLY | O_CREAT}};
    for (const auto& [path, flags] : opening) {
        const int fd = platform::open_regular_file(path, flags);
        ASSERT_GE(fd, 0) << path;
        // What the caller gets blocks as any descriptor does.
        EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << path;
        EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << path;
        ::close(fd);
    }
    for (const std::string& path : {folder / "fifo", folder.path(), std::string("/dev/null")}) {
        EXPECT_EQ(platform::open_regular_file(path, O_RDONLY), -1) << path;
        EXPECT_EQ(errno, EINVAL) << path;
    }
}

} // namespace

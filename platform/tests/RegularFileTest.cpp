#include "platform/RegularFile.h"

#include "testsupport/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

namespace {

TEST(RegularFile, OpensRegularFilesAndRefusesEverythingElseAtOnce)
{
    testsupport::TempFolder folder;
    std::ofstream(folder / "file") << "x";
    ASSERT_EQ(::symlink((folder / "file").c_str(), (folder / "link").c_str()), 0);
    // No writer ever comes: an open that waited for one would never return.
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir((folder / "folder").c_str(), 0700), 0);

    const struct
    {
        std::string path;
        int flags;
        bool opens;
    } cases[] = {
        {folder / "file", O_RDONLY, true},
        {folder / "link", O_RDONLY, true},
        {folder / "new", O_WRONLY | O_CREAT, true},
        {folder / "fifo", O_RDONLY, false},
        {folder / "fifo", O_RDWR, false},
        {folder / "folder", O_RDONLY, false},
        {"/dev/null", O_RDONLY, false},
        {folder / "missing", O_RDONLY, false},
    };
    for (const auto& c : cases) {
        errno = 0;
        const int fd = platform::open_regular_file(c.path, c.flags);
        EXPECT_EQ(fd >= 0, c.opens) << c.path;
        if (fd < 0) {
            EXPECT_NE(errno, 0) << c.path;
            continue;
        }
        // What the caller gets blocks as any descriptor does.
        EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << c.path;
        EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << c.path;
        ::close(fd);
    }
}

} // namespace

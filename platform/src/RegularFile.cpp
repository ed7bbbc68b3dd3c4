#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int open_regular_file(const std::string& path, int flags, mode_t mode)
{
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, mode);
    while (fd == -1 && errno == EINTR);
    if (fd == -1)
        return -1;
    // The type is that of what was opened, not of what the path named a moment before.
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode))
        error = EINVAL;
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool read_regular_file(const std::string& path, uint64_t max_size, std::string& text)
{
    text.clear();
    const int fd = open_regular_file(path, O_RDONLY);
    if (fd < 0)
        return false;
    int error = 0;
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (static_cast<uint64_t>(info.st_size) > max_size)
        error = EFBIG;
    else
        text.reserve(static_cast<size_t>(info.st_size));
    // Read to the end, which a file growing meanwhile may put past the bound.
    char buffer[65536];
    while (error == 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        else if (text.size() + static_cast<size_t>(n) > max_size)
            error = EFBIG;
        else
            text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (error != 0) {
        text.clear();
        errno = error;
        return false;
    }
    return true;
}

bool file_identity(int fd, FileIdentity& identity)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return false;
    identity = FileIdentity{info.st_dev, info.st_ino};
    return true;
}

bool path_names_file(const std::string& path, const FileIdentity& identity)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno != ENOENT && errno != ENOTDIR;
    return info.st_dev == identity.device && info.st_ino == identity.inode;
}

bool write_all(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            // Not for a file with room left; taken as the device being full.
            errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace platform

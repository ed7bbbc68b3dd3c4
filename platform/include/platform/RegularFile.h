#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace platform {

// open(2) of `path` with `flags` (O_CLOEXEC added) that succeeds only for a regular
// file: the open itself never waits (a FIFO without a writer, a device), and
// anything but a regular file is closed again at once and refused with EINVAL.
// The descriptor returned blocks as usual; -1 with errno on failure.
int open_regular_file(const std::string& path, int flags, mode_t mode = 0666);

// The whole content of the regular file into `text`, opened as above. False
// with errno set (text empty) when it cannot be opened or read, or holds more
// than `max_size` bytes (EFBIG), which is known before anything is allocated.
bool read_regular_file(const std::string& path, uint64_t max_size, std::string& text);

// What tells one file from another, whatever names it.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
};

// The identity of the descriptor's file; false with errno when it cannot be read.
bool file_identity(int fd, FileIdentity& identity);

// Whether the path (through symbolic links) still names the file of that
// identity: false once it names another file or none (the file or a folder on
// its way removed or renamed). A path that cannot be examined for another
// reason (no permission, say) counts as naming it: nothing says it moved.
bool path_names_file(const std::string& path, const FileIdentity& identity);

// Writes all of `bytes` to the descriptor, going on after a short write or an
// interruption. False with errno set when a write fails.
bool write_all(int fd, const std::string& bytes);

} // namespace platform

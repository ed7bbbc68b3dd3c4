#pragma once

#include <sys/types.h>

#include <string>

namespace platform {

// open(2) of `path` with `flags` (O_CLOEXEC added) that succeeds only for a regular
// file: the open itself never waits (a FIFO without a writer, a device), and
// anything but a regular file is closed again at once and refused with EINVAL.
// The descriptor returned blocks as usual; -1 with errno on failure.
int open_regular_file(const std::string& path, int flags, mode_t mode = 0666);

} // namespace platform

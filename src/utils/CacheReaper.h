#pragma once

#include <string>
#include <vector>

// Trims a cache folder: once its regular files total 2 GiB or more, deletes them
// oldest first until at most 1,572,864,000 bytes remain. Symbolic links and
// sub-folders are left alone and not counted. Returns the deleted file names,
// oldest first. A file-system error is logged as a warning and ends the work.
std::vector<std::string> CacheReaper(const std::string& folder);

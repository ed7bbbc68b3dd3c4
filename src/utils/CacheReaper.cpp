#include "utils/CacheReaper.h"

#include "utils/LogFunctions.h"

#include <boost/filesystem.hpp>

#include <cstdint>
#include <ctime>
#include <map>
#include <utility>

namespace fs = boost::filesystem;

namespace {

constexpr uintmax_t kReapFrom = 2147483648u;
constexpr uintmax_t kReapTo = 1572864000u;

} // namespace

std::vector<std::string> CacheReaper(const std::string& folder)
{
    std::vector<std::string> deleted;
    if (folder.empty())
        return deleted;
    try {
        // By time, then name: files of one time must not hide each other.
        std::map<std::pair<std::time_t, std::string>, uintmax_t> files;
        uintmax_t total = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (!fs::is_regular_file(entry.symlink_status()))
                continue;
            const uintmax_t size = fs::file_size(entry.path());
            total += size;
            files.emplace(std::make_pair(fs::last_write_time(entry.path()), entry.path().string()), size);
        }
        if (total < kReapFrom)
            return deleted;
        for (auto oldest = files.begin(); oldest != files.end() && total > kReapTo; oldest = files.erase(oldest)) {
            fs::remove(oldest->first.second);
            total -= oldest->second;
            deleted.push_back(fs::path(oldest->first.second).filename().string());
        }
    } catch (const fs::filesystem_error& error) {
        log_warning("CacheReaper: %s\n", error.what());
    }
    return deleted;
}

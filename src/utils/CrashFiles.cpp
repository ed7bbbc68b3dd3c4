#include "utils/CrashFiles.h"

#include "utils/FileFunctions.h"
#include "utils/Assertion.h"
#include "utils/LogFunctions.h"
#include "utils/ProcessLogger.h"
#include "utils/StringPrintf.h"

#include "platform/DirectoryListing.h"

#include <boost/regex.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <iterator>
#include <sstream>
#include <vector>

namespace {

// Any stem make_crash_filename can write: capitals, '_' and '.' included.
const char* const kCrashLogPattern = "_crash([0-9][0-9]+)_.*\\.log";
const char* const kCrashFilePattern = "_crash([0-9][0-9]+)_.*\\.(dmp|log)";

// Crash logs beyond this count are pruned; the lowest numbers are kept.
constexpr size_t kMaxCrashLogs = 9;
constexpr size_t kKeptLowest = 3;
// The highest index a name can carry ("%02i" of an int).
constexpr uint64_t kHighestIndex = INT32_MAX;

bool names_a_file(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The first index from `index` on (after the highest, from 0) whose log and
// dump names are free. Each name passed over is an entry of the folder, so
// it ends.
std::string free_crash_filename(const std::string& folder, const std::string& base, uint64_t index)
{
    for (;; ++index) {
        if (index > kHighestIndex)
            index = 0;
        const std::string name = make_crash_filename(folder, base, static_cast<int32_t>(index));
        if (!names_a_file(name + ".log") && !names_a_file(name + ".dmp"))
            return name;
    }
}

} // namespace

NumberedFiles ls_regexp(const std::string& folder, const std::string& expression,
                        std::vector<std::string>* messages)
{
    const boost::regex pattern(expression);
    NumberedFiles files;
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::list_directory(folder, "*", entries)) {
        const std::string message = string_printf("ls_regexp('%s', '%s') failed: %s\n", folder.c_str(),
                                                  expression.c_str(), std::strerror(errno));
        if (messages != nullptr)
            messages->push_back(message);
        else
            log_warning("%s", message.c_str());
        return files;
    }
    for (const platform::DirectoryEntry& entry : entries) {
        boost::smatch match;
        if (!boost::regex_match(entry.name, match, pattern))
            continue;
        uint64_t number = 0;
        std::istringstream digits(match[1].str());
        if (!(digits >> number))
            number = 0;
        files.emplace(number, folder + "/" + entry.name);
    }
    return files;
}

NumberedFiles list_crash_files(const std::string& folder)
{
    return ls_regexp(folder, kCrashFilePattern);
}

std::string make_crash_filename(const std::string& folder, const std::string& base, int32_t index)
{
    return string_printf("%s/_crash%02i_%s", folder.c_str(), index, path_stem(base).c_str());
}

std::string allocate_crash_filename(const std::string& folder, const std::string& base)
{
    NumberedFiles logs = ls_regexp(folder, kCrashLogPattern);
    // Numbers no index can follow are passed over.
    logs.erase(logs.lower_bound(kHighestIndex), logs.end());
    if (logs.empty())
        return free_crash_filename(folder, base, 0);
    const uint64_t next = logs.rbegin()->first + 1;
    if (next <= kMaxCrashLogs)
        return free_crash_filename(folder, base, next);

    NumberedFiles all = list_crash_files(folder);
    // all normally holds every log; a file gone in between must not let the
    // fourth entry run off the end.
    while (all.size() > kKeptLowest && logs.size() > kMaxCrashLogs) {
        const uint64_t number = std::next(all.begin(), kKeptLowest)->first;
        const auto range = all.equal_range(number);
        for (auto it = range.first; it != range.second; ++it) {
            // unlink, never a folder: one named like a crash file stays. One
            // gone already went to a save pruning at the same time.
            if (::unlink(it->second.c_str()) != 0 && errno != ENOENT)
                log_warning("allocate_crash_filename failed to remove %s: %s\n", it->second.c_str(),
                            std::strerror(errno));
        }
        all.erase(number);
        logs.erase(number);
    }
    return free_crash_filename(folder, base, logs.empty() ? 0 : logs.rbegin()->first + 1);
}

std::string crash_file_base()
{
    const Logger* logger = g_logger.load();
    KORVEL_ASSERT(logger != nullptr);
    return logger->crash_file_base();
}

std::string crash_log_filename()
{
    return crash_file_base() + ".log";
}

std::string crash_dump_filename()
{
    return crash_file_base() + ".dmp";
}

#pragma once

// Numbered file listings and the names of crash files. Crash files live in one
// folder as "_crashNN_<stem>.log" (and ".dmp"); the three lowest numbers are kept
// for good, and the next numbers are pruned so that at most nine crash logs
// remain.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Full paths (folder + "/" + name) by the number read from capture group 1 (0
// when it does not read as a number), equal numbers in name order.
using NumberedFiles = std::multimap<uint64_t, std::string>;

// The entries of the folder whose whole name matches the expression. A folder
// that cannot be listed gives no entries and a warning (into `messages` when
// given, else logged); an invalid expression throws boost::regex_error.
NumberedFiles ls_regexp(const std::string& folder, const std::string& expression,
                        std::vector<std::string>* messages = nullptr);

// Crash logs and dumps of every stem.
NumberedFiles list_crash_files(const std::string& folder);

// "<folder>/_crash<index, two digits at least>_<stem of base>".
std::string make_crash_filename(const std::string& folder, const std::string& base, int32_t index);

// The name (without extension) of the next crash file for the base name, after
// pruning the folder's crash files as described above. Numbers no int index can
// follow are passed over, and no existing log or dump has the name.
std::string allocate_crash_filename(const std::string& folder, const std::string& base);

// The next crash file name (without extension) for the process logger's log
// file, or its identity when it has no file name. A logger must be set.
std::string crash_file_base();
std::string crash_log_filename();
std::string crash_dump_filename();

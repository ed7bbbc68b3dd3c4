#pragma once

// Folder listings that do not depend on readdir order or letter case: entries are
// sorted by name without regard to case, and masks match in any case, as Windows
// lists folders.

#include <string>
#include <vector>

namespace platform {

struct DirectoryEntry
{
    std::string name;
    bool is_directory = false;
};

// '*' and '?' are the only wildcards; every other character, '[' and '\\'
// included, stands for itself, ASCII letters in either case.
bool name_matches_mask(const std::string& name, const std::string& mask);

// The entries of `folder` (files and folders, never "." or "..") whose names match
// `mask`, sorted case-insensitively (ties by bytes). False when the folder cannot
// be read; `out` is then empty.
bool list_directory(const std::string& folder, const std::string& mask, std::vector<DirectoryEntry>& out);

} // namespace platform

#include "platform/DirectoryListing.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace platform {
namespace {

unsigned char fold(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool name_less(const DirectoryEntry& a, const DirectoryEntry& b)
{
    int order = 0;
    size_t n = std::min(a.name.size(), b.name.size());
    for (size_t i = 0; i < n && order == 0; ++i)
        order = int(fold(static_cast<unsigned char>(a.name[i]))) - int(fold(static_cast<unsigned char>(b.name[i])));
    if (order != 0)
        return order < 0;
    if (a.name.size() != b.name.size())
        return a.name.size() < b.name.size();
    return a.name < b.name;
}

bool entry_is_directory(const std::string& folder, const dirent& entry)
{
    if (entry.d_type == DT_DIR)
        return true;
    if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK)
        return false;
    struct stat info{};
    std::string path = folder + "/" + entry.d_name;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

bool name_matches_mask(const std::string& name, const std::string& mask)
{
    // Windows masks know no bracket classes: a '[' is an ordinary character.
    std::string pattern;
    pattern.reserve(mask.size());
    for (char c : mask) {
        if (c == '[')
            pattern += "[[]";
        else
            pattern += c;
    }
    return ::fnmatch(pattern.c_str(), name.c_str(), FNM_NOESCAPE | FNM_CASEFOLD) == 0;
}

bool list_directory(const std::string& folder, const std::string& mask, std::vector<DirectoryEntry>& out)
{
    out.clear();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir)
        return false;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (!name_matches_mask(entry->d_name, mask))
            continue;
        out.push_back(DirectoryEntry{entry->d_name, entry_is_directory(folder, *entry)});
    }
    std::sort(out.begin(), out.end(), name_less);
    return true;
}

} // namespace platform

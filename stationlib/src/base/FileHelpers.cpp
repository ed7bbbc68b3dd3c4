#include "base/FileHelpers.h"

#include "base/InputBounds.h"
#include "base/StringHelpers.h"

#include "platform/DirectoryListing.h"
#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    // Closes now and tells whether the close succeeded (a delayed write error
    // shows up here).
    bool close()
    {
        int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool make_directory(const std::string& path, int& error)
{
    if (::mkdir(path.c_str(), 0777) == 0)
        return true;
    error = errno;
    return false;
}

} // namespace

bool path_exists(const std::string& path)
{
    struct stat info{};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

bool is_directory(const std::string& path)
{
    struct stat info{};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool is_regular_file(const std::string& path)
{
    struct stat info{};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool file_remove(const std::string& path)
{
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

std::string file_read_all(const std::string& path)
{
    std::string text;
    if (path.empty() || !platform::read_regular_file(path, kMaxXmlFileSize, text))
        return std::string();
    size_t zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
    return text;
}

bool file_write_all(const std::string& path, const std::string& text)
{
    if (path.empty())
        return false;
    // A FIFO or device in the file's place is refused, never waited on.
    FileDescriptor file(platform::open_regular_file(path, O_WRONLY | O_CREAT | O_TRUNC));
    if (file.get() < 0)
        return false;
    // A full disk shows as a failed write, or only at the close.
    const bool written = platform::write_all(file.get(), text);
    return file.close() && written;
}

bool create_directories(const std::string& path)
{
    int error = 0;
    if (make_directory(path, error) || error == EEXIST)
        return true;
    if (error != ENOENT)
        return false;
    // A missing parent: create it first, unless the path has none left to create.
    const std::string parent = parent_folder(path);
    if (parent.empty() || parent == path)
        return false;
    if (!create_directories(parent))
        return false;
    return make_directory(path, error) || error == EEXIST;
}

void list_files(std::vector<std::string>& out, const std::string& folder, const std::string& mask)
{
    out.clear();
    std::string prefix = folder;
    if (!text_ends_with(prefix, std::string(1, kPathSeparator)))
        prefix += kPathSeparator;
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::list_directory(folder.empty() ? "." : folder, mask, entries))
        return;
    out.reserve(entries.size());
    for (const platform::DirectoryEntry& entry : entries)
        out.push_back(prefix + entry.name);
}

std::string link_target(const std::string& path)
{
    std::string current = path;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat info{};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        if (hop == kMaxLinkHops)
            break;
        std::string target(static_cast<size_t>(info.st_size) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), &target[0], target.size());
        // A link changed while it was read is not followed half-way.
        if (n <= 0 || static_cast<size_t>(n) >= target.size())
            break;
        target.resize(static_cast<size_t>(n));
        // A relative target is taken from the link's own folder.
        if (target[0] != kPathSeparator && current.find(kPathSeparator) != std::string::npos)
            target = parent_folder(current) + kPathSeparator + target;
        current = target;
    }
    return std::string();
}

std::string file_name_part(const std::string& path)
{
    size_t slash = path.rfind(kPathSeparator);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string file_title(const std::string& path)
{
    std::string name = file_name_part(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string parent_folder(const std::string& path)
{
    size_t slash = path.rfind(kPathSeparator);
    return slash == std::string::npos ? path : path.substr(0, slash);
}

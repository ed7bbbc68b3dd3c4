#include "zip/ZipPlatform.h"

#include "zip/CZipException.h"
#include "zip/CZipPathComponent.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace ZipPlatform {

int GetPathKind(const std::string& path)
{
    if (::access(path.c_str(), F_OK) != 0)
        return 0;
    return DirectoryExists(path) ? -1 : 1;
}

bool DirectoryExists(const std::string& path)
{
    // Entering the folder would move the whole process; asking is enough.
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool ForceDirectory(const std::string& path)
{
    std::string folder = path;
    while (folder.size() > 1 && CZipPathComponent::IsSeparator(folder.back()))
        folder.pop_back();
    if (folder.empty() || CZipPathComponent(folder).GetFilePath() == folder || DirectoryExists(folder))
        return true;
    if (!ForceDirectory(CZipPathComponent(folder).GetFilePath()))
        return false;
    return CreateFolder(folder) || (errno == EEXIST && DirectoryExists(folder));
}

bool CreateFolder(const std::string& path)
{
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool SetPathAttributes(const std::string& path, uint32_t attributes)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return false;
    // Windows still creates files in a read-only folder; Linux would refuse.
    if (S_ISDIR(info.st_mode))
        return true;
    mode_t mode = info.st_mode & 07777;
    if (attributes & kAttrReadOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    return ::chmod(path.c_str(), mode) == 0;
}

bool SetPathTime(const std::string& path, std::time_t time)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = time;
    times[1].tv_nsec = time == -1 ? UTIME_NOW : 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool RemoveFile(const std::string& path, bool throwOnError)
{
    if (::unlink(path.c_str()) == 0)
        return true;
    if (throwOnError)
        CZipException::Throw(CZipException::kNotRemoved, path);
    return false;
}

bool RenameFile(const std::string& oldPath, const std::string& newPath, bool throwOnError)
{
    if (::renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (throwOnError)
        CZipException::Throw(CZipException::kNotRenamed, oldPath);
    return false;
}

uint32_t GetDriveFreeSpace(const std::string& path)
{
    struct statvfs info;
    if (::statvfs(path.c_str(), &info) != 0)
        return 0;
    const unsigned __int128 bytes = static_cast<unsigned __int128>(info.f_bavail) * info.f_frsize;
    return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes);
}

bool IsDriveRemovable(const std::string&)
{
    return false;
}

bool SetDriveLabel(const std::string&, const std::string&)
{
    return false;
}

bool TruncateFile(int handle, uint64_t size)
{
    return ::ftruncate(handle, static_cast<off_t>(size)) == 0;
}

bool CommitFile(int handle)
{
    return ::fsync(handle) == 0;
}

} // namespace ZipPlatform

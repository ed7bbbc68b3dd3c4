#pragma once

// The file-system functions the archive classes need from the platform, on POSIX.
// They report false and raise nothing, except RemoveFile and RenameFile with their
// throw argument on.

#include <cstdint>
#include <ctime>
#include <string>

namespace ZipPlatform {

// This platform's system id in the high byte of "version made by": entry names
// come back with backslashes and attributes in MS-DOS form.
constexpr int kSystemId = 0;
// Names compare without regard to case.
constexpr bool kCaseSensitive = false;

// What an entry gets when its own attributes cannot be used.
constexpr uint32_t DefaultFileAttributes()
{
    return 0x81A40020;
}
constexpr uint32_t DefaultFolderAttributes()
{
    return 0x41FF0010;
}
// MS-DOS attribute bits.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrFolder = 0x10;

inline bool IsFolderAttribute(uint32_t attributes)
{
    return (attributes & kAttrFolder) != 0;
}

// 0 when the path does not exist, -1 for a folder, 1 otherwise.
int GetPathKind(const std::string& path);
// A folder we may enter; the current folder stays as it is.
bool DirectoryExists(const std::string& path);
// Creates the folder with all missing parents.
bool ForceDirectory(const std::string& path);
bool CreateFolder(const std::string& path);
// MS-DOS attributes: on a file read-only clears the write bits, else the owner may
// write; on a folder nothing changes. Hidden, system and archive are ignored.
bool SetPathAttributes(const std::string& path, uint32_t attributes);
// Modification time `time` (now when -1), access time now.
bool SetPathTime(const std::string& path, std::time_t time);
// Raises 113 with the path on failure when `throwOnError`.
bool RemoveFile(const std::string& path, bool throwOnError = true);
// Never replaces an existing file; raises 114 with the old path when `throwOnError`.
bool RenameFile(const std::string& oldPath, const std::string& newPath, bool throwOnError = true);
// Bytes free to unprivileged users, at most 0xFFFFFFFF; 0 on failure.
uint32_t GetDriveFreeSpace(const std::string& path);
// No removable drives and no volume labels here.
bool IsDriveRemovable(const std::string& path);
bool SetDriveLabel(const std::string& path, const std::string& label);
bool TruncateFile(int handle, uint64_t size);
bool CommitFile(int handle);

} // namespace ZipPlatform

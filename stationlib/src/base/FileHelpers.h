#pragma once

// The library's file-system helpers. Paths are byte strings; '/' separates folders.
// Failures come back as false, an empty text or an empty list, never as messages.

#include <cstdint>
#include <string>
#include <vector>

constexpr char kPathSeparator = '/';

// A file or folder exists at the path.
bool path_exists(const std::string& path);
// A folder exists at the path.
bool is_directory(const std::string& path);
// A regular file (or a link to one) exists at the path.
bool is_regular_file(const std::string& path);
// The file was deleted (folders are not).
bool file_remove(const std::string& path);
// The file's text up to its first zero byte; empty when platform's
// read_regular_file refuses it with the bound of XML files (kMaxXmlFileSize).
std::string file_read_all(const std::string& path);
// Creates or replaces the file with exactly the bytes of `text`; false when any
// byte could not be written.
bool file_write_all(const std::string& path, const std::string& text);
// Creates the folder with every missing parent. True when it exists afterwards;
// false when a path runs out of parents or the system refuses.
bool create_directories(const std::string& path);
// Full paths (folder + name) of the files and folders in `folder` whose names
// match `mask` ('*', '?', letters in any case), sorted by name in any case.
void list_files(std::vector<std::string>& out, const std::string& folder, const std::string& mask);

// The file a path finally names when its symbolic links are followed, the last
// of which need not exist yet; the path itself when it is no link; empty when
// the links run in a loop or cannot be read.
std::string link_target(const std::string& path);

// The text after the last separator (the whole text when there is none).
std::string file_name_part(const std::string& path);
// file_name_part without its last extension.
std::string file_title(const std::string& path);
// The text before the last separator (the whole text when there is none).
std::string parent_folder(const std::string& path);

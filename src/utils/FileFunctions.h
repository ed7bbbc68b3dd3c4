#pragma once

// Path names and files. Paths are byte strings; "/" and "\\" both separate
// components. Failures are thrown as std::runtime_error (file operations) or
// std::logic_error (refused locations); Boost.Filesystem errors pass through
// where noted.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Starts with a separator or holds a ':' anywhere (a drive); false for "".
bool is_absolute_path(const std::string& path);

// The last component without its extension ("a/b.c/d.txt" gives "d").
std::string path_stem(const std::string& path);
// The last component's extension, dot included; "" when it has none.
std::string path_extension(const std::string& path);

// fopen, throwing "cannot open '<name>' with mode '<mode>': <reason>".
FILE* open_file(const std::string& name, const char* mode);
// One fwrite of the whole block; len must not be 0.
void write_file_data(FILE* file, const void* data, size_t len, const std::string& name);
// Exactly len bytes (not 0), else "cannot read from '<name>', eof".
void read_file_data(FILE* file, void* buffer, size_t len, const std::string& name);

// The largest file read whole into memory: far beyond any log file, which
// rotates at a few MiB, and still an allocation the process survives.
constexpr uint64_t kMaxWholeFileSize = 1024 * 1024 * 1024;
// Only a regular file, and none larger than kMaxWholeFileSize: anything else
// throws "cannot open '<name>' with mode 'rb': <reason>" at once (a FIFO gives
// "Invalid argument" without waiting for a writer).
std::string read_whole_file(const std::string& name);

// Sets both file times to now (whole seconds); 0 on success, -1 on failure.
int touch_file(const std::string& name);

// Each of "*/:<>?\\| and the double quote becomes a blank.
std::string sanitize_file_name(std::string name);

// Renames source to target, replacing it; across file systems copies and removes
// the source. Failures throw std::runtime_error when throw_on_error is set, else
// go to `messages` when given, else to log_warning.
void move_file(const std::string& source, const std::string& target, bool throw_on_error,
               std::vector<std::string>* messages = nullptr);

// Copies the file, replacing the target; works across file systems.
void copy_file_replacing(const std::string& from, const std::string& to);

// Replace the file so that readers see either the old or the new contents: the
// new contents go to name + "-temp", which is synced and renamed over the name
// and keeps the replaced file's permission bits. On failure the old file stays
// and the error is thrown; the temporary may stay behind.
void write_file_atomically(const std::string& name, const std::string& data, bool text_mode);
void append_file_atomically(const std::string& name, const std::string& data, bool text_mode);

// Throws std::logic_error when the path (symbolic links and ".." resolved) is the
// root, the given working folder root, or inside a system folder, so that a bulk
// deletion there is refused.
void check_safe_location(const std::string& path, const char* cwd_root);

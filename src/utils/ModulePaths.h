#pragma once

// The file of the module that holds this library's code, its folder, data files
// searched in a fixed list of folders around it, and platform tags taken from
// the end of module file names.

#include <string>

// Full path of the module holding this code (the executable: the library is
// linked statically). Looked up once; the platform's test override wins.
std::string module_path();
// module_path cut at its last '/'.
std::string module_dir();

// True when stat succeeds (files and folders alike).
bool file_exists(const std::string& path);

// The first existing candidate: "./" + name, then the module folder and the
// folders around it. None: std::runtime_error listing every candidate when
// throw_on_error is set, else an empty text.
std::string find_file(const std::string& name, bool throw_on_error);

// Byte comparison; a suffix longer than the text gives false.
bool ends_with(const std::string& text, const std::string& suffix);

// The platform tag at the end of a file name ("vc120x64d", "arm", ...); empty
// when none matches.
std::string platform_suffix(const std::string& file_name);
// platform_suffix of the module's file name without folder and extension.
std::string own_platform_suffix();
std::string own_platform_dll_name();
std::string own_platform_exe_name();

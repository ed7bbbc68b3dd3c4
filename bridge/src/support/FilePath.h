#pragma once

#include <string>

// The path with everything after its last '\' or '/' replaced by the file name.
std::string path_replace_file_name(const std::string& path, const std::string& file_name);

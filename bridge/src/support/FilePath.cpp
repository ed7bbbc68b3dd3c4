#include "support/FilePath.h"

std::string path_replace_file_name(const std::string& path, const std::string& file_name)
{
    const size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos)
        return file_name;
    return path.substr(0, separator + 1) + file_name;
}

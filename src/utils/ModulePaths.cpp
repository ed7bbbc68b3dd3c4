#include "utils/ModulePaths.h"

#include "platform/ModulePath.h"

#include <sys/stat.h>

#include <stdexcept>
#include <vector>

namespace {

// An address inside this module.
const char g_module_anchor = 0;

struct SuffixTag
{
    const char* suffix;
    const char* tag;
};

// Tested in this order; the last matching row wins.
const SuffixTag kPlatformSuffixes[] = {
    {"vc71.dll", "vc71"},          {"vc71.exe", "vc71"},          {"vc71", "vc71"},
    {"vc71e.dll", "vc71"},         {"vc71e.exe", "vc71"},         {"vc71e", "vc71"},
    {"vc71d.dll", "vc71d"},        {"vc71d.exe", "vc71d"},        {"vc71d", "vc71d"},
    {"i386", "i386"},              {"i686", "i686"},              {"i386d", "i386d"},
    {"i686d", "i686d"},            {"k8", "k8"},                  {"k8d", "k8d"},
    {"core2", "core2"},            {"core2d", "core2d"},          {"ia32", "ia32"},
    {"ia32d", "ia32d"},            {"core2.so", "core2"},         {"core2d.so", "core2d"},
    {"core2.dylib", "core2"},      {"core2d.dylib", "core2d"},    {"ia32.so", "ia32"},
    {"ia32d.so", "ia32d"},         {"ia32.dylib", "ia32"},        {"ia32d.dylib", "ia32d"},
    {"vc120.exe", "vc120"},        {"vc120e.exe", "vc120"},       {"vc120.dll", "vc120"},
    {"vc120", "vc120"},            {"vc120e", "vc120"},           {"vc120d.exe", "vc120d"},
    {"vc120d.dll", "vc120d"},      {"vc120d", "vc120d"},          {"vc120x64.exe", "vc120x64"},
    {"vc120x64.dll", "vc120x64"},  {"vc120x64", "vc120x64"},      {"vc120x64d.exe", "vc120x64d"},
    {"vc120x64d.dll", "vc120x64d"}, {"vc120x64d", "vc120x64d"},   {"arm", "arm"},
    {"armd", "armd"},
};

// Folders searched after the working folder, relative to the module folder.
const char* const kSearchFolders[] = {
    "/",
    "/vc120/",
    "/vc120x64/",
    "/../",
    "/../ramlo/",
    "/../ramloutils/",
    "/../ramlograbbers/",
    "/../ramloutils/lib/",
    "/../../ramlo/",
    "/../../ramlograbbers/",
    "/../../ramloutils/",
    "/../Resources/",
};

} // namespace

std::string module_path()
{
    // A null address names no module, so this is the test override or nothing.
    std::string overridden = platform::module_path(nullptr);
    if (!overridden.empty())
        return overridden;
    // Filled once, also when first used from several threads at a time.
    static const std::string path = [] {
        std::string found = platform::module_path(&g_module_anchor);
        return found.empty() ? platform::executable_path() : found;
    }();
    return path;
}

std::string module_dir()
{
    const std::string path = module_path();
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(0, slash);
}

bool file_exists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

std::string find_file(const std::string& name, bool throw_on_error)
{
    const std::string folder = module_dir();
    std::vector<std::string> candidates{"./" + name};
    for (const char* sub_folder : kSearchFolders)
        candidates.push_back(folder + sub_folder + name);
    for (const std::string& candidate : candidates)
        if (file_exists(candidate))
            return candidate;
    if (!throw_on_error)
        return std::string();
    std::string message = "cannot find file " + name + ", tried:\n";
    for (const std::string& candidate : candidates)
        message += candidate + "\n";
    throw std::runtime_error(message);
}

bool ends_with(const std::string& text, const std::string& suffix)
{
    return suffix.size() <= text.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string platform_suffix(const std::string& file_name)
{
    std::string tag;
    for (const SuffixTag& row : kPlatformSuffixes)
        if (ends_with(file_name, row.suffix))
            tag = row.tag;
    return tag;
}

std::string own_platform_suffix()
{
    const std::string path = module_path();
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos)
        name.resize(dot);
    return platform_suffix(name);
}

std::string own_platform_dll_name()
{
    return own_platform_suffix() + ".dll";
}

std::string own_platform_exe_name()
{
    return own_platform_suffix() + ".exe";
}

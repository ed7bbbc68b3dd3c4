#include "platform/ModulePath.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace platform {
namespace {

// Outlive the other globals of the module that links this (see Event.cpp).
__attribute__((init_priority(200))) std::mutex g_override_mutex;
__attribute__((init_priority(200))) std::string g_executable_override;
__attribute__((init_priority(200))) std::string g_module_override;

std::string read_self_exe()
{
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return std::string();
        if (static_cast<size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

std::string parent_of(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return std::string();
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

} // namespace

std::string executable_path()
{
    {
        std::lock_guard<std::mutex> lock(g_override_mutex);
        if (!g_executable_override.empty())
            return g_executable_override;
    }
    return read_self_exe();
}

std::string executable_folder()
{
    return parent_of(executable_path());
}

std::string module_path(const void* address_in_module)
{
    {
        std::lock_guard<std::mutex> lock(g_override_mutex);
        if (!g_module_override.empty())
            return g_module_override;
    }
    Dl_info info{};
    link_map* map = nullptr;
    if (address_in_module == nullptr || ::dladdr1(address_in_module, &info, reinterpret_cast<void**>(&map),
                                                  RTLD_DL_LINKMAP) == 0)
        return std::string();
    // The main program has no name of its own in the link map; the loader then
    // reports argv[0], which may be a bare or relative name, or any text at all.
    if (map == nullptr || map->l_name == nullptr || map->l_name[0] == '\0')
        return read_self_exe();
    std::string name = map->l_name;
    if (name.front() != '/') {
        char resolved[PATH_MAX];
        if (::realpath(name.c_str(), resolved) != nullptr)
            return resolved;
    }
    return name;
}

void set_executable_path_override(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_override_mutex);
    g_executable_override = path;
}

void set_module_path_override(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_override_mutex);
    g_module_override = path;
}

} // namespace platform

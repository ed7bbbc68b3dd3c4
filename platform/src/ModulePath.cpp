#include "platform/ModulePath.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <mutex>
#include <vector>

namespace platform {
namespace {

std::mutex g_override_mutex;
std::string g_executable_override;
std::string g_module_override;

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
    if (address_in_module == nullptr || ::dladdr(address_in_module, &info) == 0 || info.dli_fname == nullptr)
        return std::string();
    std::string name = info.dli_fname;
    // The main program reports the name it was started with; resolve it fully.
    if (name.find('/') == std::string::npos || name.front() != '/') {
        char resolved[PATH_MAX];
        if (::realpath(name.c_str(), resolved) != nullptr)
            return resolved;
        if (name.find('/') == std::string::npos)
            return read_self_exe();
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

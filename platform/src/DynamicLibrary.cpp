#include "platform/DynamicLibrary.h"

#include "platform/ModulePath.h"

#include <dlfcn.h>
#include <link.h>
#include <strings.h>
#include <unistd.h>

namespace platform {

std::string library_file_name(const std::string& name)
{
    static const char kDll[] = ".dll";
    const size_t extension = sizeof(kDll) - 1;
    const size_t slash = name.find_last_of('/');
    const size_t file = slash == std::string::npos ? 0 : slash + 1;
    if (name.size() - file <= extension || strcasecmp(name.c_str() + name.size() - extension, kDll) != 0)
        return name;
    return name.substr(0, file) + "lib" + name.substr(file, name.size() - file - extension) + ".so";
}

namespace {

LibraryHandle open_library(const std::string& file, LibraryLoadFailure* failure)
{
    LibraryHandle library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr && failure != nullptr) {
        const char* reason = ::dlerror();
        failure->file = file;
        failure->reason = reason != nullptr ? reason : "";
    }
    return library;
}

} // namespace

LibraryHandle load_library(const std::string& name, LibraryLoadFailure* failure)
{
    const std::string file = library_file_name(name);
    if (file.empty()) {
        if (failure != nullptr)
            *failure = LibraryLoadFailure{file, "no file name"};
        return nullptr;
    }
    if (file.find('/') != std::string::npos)
        return open_library(file, failure);

    const std::string folder = executable_folder();
    if (!folder.empty()) {
        const std::string beside = (folder == "/" ? folder : folder + "/") + file;
        // A file found there is the one Windows would take, loadable or not.
        if (::access(beside.c_str(), F_OK) == 0)
            return open_library(beside, failure);
    }
    return open_library(file, failure);
}

std::string library_path(LibraryHandle library)
{
    link_map* map = nullptr;
    if (library == nullptr || ::dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr)
        return std::string();
    return map->l_name;
}

void* find_library_symbol(LibraryHandle library, const char* name)
{
    if (library == nullptr || name == nullptr)
        return nullptr;
    return ::dlsym(library, name);
}

bool free_library(LibraryHandle library)
{
    return library != nullptr && ::dlclose(library) == 0;
}

} // namespace platform

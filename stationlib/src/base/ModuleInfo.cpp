#include "base/ModuleInfo.h"
#include "base/ModuleInfoState.h"

#include "base/FileHelpers.h"
#include "base/ResourceTable.h"
#include "base/StringHelpers.h"

#include "platform/ModulePath.h"

#include <mutex>
#include <vector>

namespace {

constexpr const char* kUnavailable = "UNAVAILABLE";
constexpr const char* kFileVersionKey = "\\StringFileInfo\\040904B0\\FileVersion";
constexpr const char* kProductNameKey = "\\StringFileInfo\\040904B0\\ProductName";

// Any object of the library will do: its address names the module that holds it.
const char g_module_anchor = 0;

ModuleInfoState& state()
{
    return module_info_state();
}

// The library attaches before anyone asks about it: the first question runs the
// attach step, so the module named first is the library itself.
void ensure_attached()
{
    static std::once_flag attached;
    std::call_once(attached, [] { read_version_info(); });
}

bool query_version_value(const char* key, std::string& value)
{
    const ResourceEntry* entry = find_resource("VERSION", key);
    if (entry == nullptr)
        return false;
    value.assign(reinterpret_cast<const char*>(entry->data), entry->size);
    return true;
}

std::string read_module_file_name(const void* module)
{
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        if (!state().path_read) {
            state().path_read = true;
            state().named_module = module;
        }
        module = state().named_module;
    }
    // The path is asked every time so that a test override takes effect; a module's
    // path never changes while the process runs.
    std::string path = module != nullptr ? platform::module_path(module) : platform::executable_path();
    return path.empty() ? std::string(kUnavailable) : path;
}

} // namespace

const void* library_module_handle()
{
    return &g_module_anchor;
}

std::string get_module_file_name(const void* module)
{
    ensure_attached();
    return read_module_file_name(module);
}

std::string library_folder()
{
    return parent_folder(get_module_file_name(nullptr));
}

void read_version_info()
{
    ModuleVersion version;
    std::string product_name;
    read_module_file_name(library_module_handle());

    std::string file_version;
    if (query_version_value(kFileVersionKey, file_version)) {
        std::vector<std::string> pieces;
        split_char(file_version, pieces, '.');
        int32_t* numbers[] = {&version.major, &version.minor, &version.build, &version.revision};
        for (size_t i = 0; i < pieces.size() && i < 4; ++i)
            *numbers[i] = crt_atoi(pieces[i].c_str());
    }
    query_version_value(kProductNameKey, product_name);

    std::lock_guard<std::mutex> lock(state().mutex);
    state().version = version;
    state().product_name = product_name;
}

int32_t get_module_version()
{
    ModuleVersion version = get_file_version();
    return static_cast<int32_t>(static_cast<uint32_t>(version.major) << 16 | static_cast<uint32_t>(version.minor));
}

ModuleVersion get_file_version()
{
    ensure_attached();
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().version;
}

std::string get_product_name()
{
    ensure_attached();
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().product_name;
}

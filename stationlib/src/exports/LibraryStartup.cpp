#include "exports/LibraryStartup.h"

#include "base/FileHelpers.h"
#include "base/ModuleInfo.h"
#include "base/Timeouts.h"
#include "config/CConfig.h"

#include "platform/ModulePath.h"

#include <charconv>
#include <cstdlib>
#include <mutex>

namespace {

constexpr char kExecutableFolderVariable[] = "ARDENTIS_TEST_EXECUTABLE_FOLDER";
constexpr char kLibraryFolderVariable[] = "ARDENTIS_TEST_LIBRARY_FOLDER";
constexpr char kTimeScaleVariable[] = "ARDENTIS_TEST_TIME_SCALE";
constexpr char kDefaultLibraryFileName[] = "libArdentis.so";

std::string environment_text(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// The whole text must be the number; anything else counts as not given.
uint32_t parse_scale(const std::string& text)
{
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end)
        return 0;
    return value;
}

// The same file name, in the folder the tests chose.
std::string relocated(const std::string& folder, const std::string& path, const char* fallbackName)
{
    std::string name = file_name_part(path);
    if (name.empty())
        name = fallbackName;
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

void apply_test_settings(const LibraryTestSettings& settings)
{
    if (!settings.executableFolder.empty())
        platform::set_executable_path_override(
            relocated(settings.executableFolder, platform::executable_path(), "host"));
    if (!settings.libraryFolder.empty())
        platform::set_module_path_override(relocated(
            settings.libraryFolder, platform::module_path(library_module_handle()), kDefaultLibraryFileName));
    if (settings.timeScale != 0)
        Timeouts::SetScaleForTests(settings.timeScale);
}

} // namespace

LibraryTestSettings read_library_test_settings()
{
    LibraryTestSettings settings;
    settings.executableFolder = environment_text(kExecutableFolderVariable);
    settings.libraryFolder = environment_text(kLibraryFolderVariable);
    settings.timeScale = parse_scale(environment_text(kTimeScaleVariable));
    return settings;
}

void library_attach()
{
    static std::once_flag attached;
    std::call_once(attached, [] {
        apply_test_settings(read_library_test_settings());
        // The library names itself first, so every later question about the
        // module path answers with the library file; this also reads the version block.
        get_module_file_name(library_module_handle());
    });
}

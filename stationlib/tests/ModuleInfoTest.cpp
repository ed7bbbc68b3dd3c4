#include "base/ModuleInfo.h"

#include "platform/ModulePath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ModuleInfo, VersionBlockOfTheLibrary)
{
    EXPECT_EQ(get_module_version(), 327682);
    ModuleVersion version = get_file_version();
    EXPECT_EQ(version.major, 5);
    EXPECT_EQ(version.minor, 2);
    EXPECT_EQ(version.build, 4);
    EXPECT_EQ(version.revision, 1);
    // "Библиотека клиента ПЦН KORVEL" in Windows-1251.
    EXPECT_EQ(get_product_name(),
              "\xC1\xE8\xE1\xEB\xE8\xEE\xF2\xE5\xEA\xE0 \xEA\xEB\xE8\xE5\xED\xF2\xE0 \xCF\xD6\xCD KORVEL");

    read_version_info();  // a second read finds the same
    EXPECT_EQ(get_module_version(), 327682);
}

TEST(ModuleInfo, NamesTheLibraryFileWhereverTheHostLies)
{
    platform::set_executable_path_override("/opt/host/bin/program");
    platform::set_module_path_override("/srv/library/libArdentis.so");
    EXPECT_EQ(get_module_file_name(nullptr), "/srv/library/libArdentis.so");
    EXPECT_EQ(get_module_file_name(library_module_handle()), "/srv/library/libArdentis.so");
    EXPECT_EQ(library_folder(), "/srv/library");
    platform::set_module_path_override(std::string());
    platform::set_executable_path_override(std::string());
}

TEST(ModuleInfo, WithoutOverrideTheModuleHoldingTheLibraryIsNamed)
{
    // Linked statically into this test, the library lives in the test program.
    std::string path = get_module_file_name(nullptr);
    EXPECT_EQ(path, platform::module_path(library_module_handle()));
    EXPECT_EQ(path.front(), '/');
    EXPECT_EQ(library_folder(), path.substr(0, path.rfind('/')));
}

} // namespace

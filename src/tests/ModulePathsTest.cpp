#include "utils/ModulePaths.h"

#include "platform/ModulePath.h"

#include "testsupport/ChildProcess.h"
#include "testsupport/TestFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace {

// The module is "<folder>/bin/x_vc120x64d.dll".
class ModulePathsTest : public ::testing::Test
{
protected:
    ModulePathsTest() { platform::set_module_path_override(folder.Path("bin/x_vc120x64d.dll")); }
    ~ModulePathsTest() override { platform::set_module_path_override(std::string()); }
    TestFolder folder;
};

TEST_F(ModulePathsTest, ModuleFolderAndTags)
{
    EXPECT_EQ(module_dir(), folder.Path("bin"));
    EXPECT_EQ(own_platform_suffix(), "vc120x64d");
    const std::pair<const char*, const char*> cases[] = {
        {"x_armd", "armd"}, {"x_arm", "arm"}, {"libx_core2d.so", "core2d"}, {"x_vc71e.exe", "vc71"}, {"x.dll", ""},
    };
    for (const auto& [name, tag] : cases)
        EXPECT_EQ(platform_suffix(name), tag) << name;
    platform::set_module_path_override(std::string());
    EXPECT_EQ(module_path(), platform::executable_path());
}

TEST_F(ModulePathsTest, WorkingFolderFirstThenAroundTheModuleElseEveryCandidateListed)
{
    for (const char* sub_folder : {"bin", "Resources"})
        std::filesystem::create_directories(folder.Path(sub_folder));
    folder.Write("bin/data.xml", "");
    folder.Write("Resources/res.xml", "");
    const std::string f = folder.Path("bin");
    EXPECT_EQ(find_file("data.xml", true), f + "/data.xml");
    EXPECT_EQ(find_file("res.xml", true), f + "/../Resources/res.xml");
    folder.Write("data.xml", "");
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::chdir(folder.Folder().c_str()) == 0 && find_file("data.xml", true) == "./data.xml" ? 0 : 1);
    EXPECT_EQ(testsupport::wait_child(child, 10000), 0);

    EXPECT_EQ(find_file("none", false), "");
    std::string tried = "cannot find file none, tried:\n./none\n";
    for (const char* sub : {"/", "/vc120/", "/vc120x64/", "/../", "/../ramlo/", "/../ramloutils/", "/../ramlograbbers/",
                            "/../ramloutils/lib/", "/../../ramlo/", "/../../ramlograbbers/", "/../../ramloutils/",
                            "/../Resources/"})
        tried += f + sub + "none\n";
    try {
        find_file("none", true);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), tried);
    }
}

} // namespace

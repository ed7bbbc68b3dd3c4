#include "platform/ModulePath.h"

#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <spawn.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

namespace {

std::string self_exe()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer));
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

void function_in_this_program() {}

TEST(ModulePath, NamesTheProgramItself)
{
    const std::string exe = self_exe();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(platform::executable_path(), exe);
    EXPECT_EQ(platform::executable_folder(), exe.substr(0, exe.rfind('/')));
    EXPECT_EQ(platform::module_path(reinterpret_cast<const void*>(&function_in_this_program)), exe);
    EXPECT_EQ(platform::module_path(nullptr), "");
}

TEST(ModulePath, NamesASharedLibraryByItsFile)
{
    const void* in_library = ::dlsym(RTLD_DEFAULT, "dladdr1");
    ASSERT_NE(in_library, nullptr);
    const std::string path = platform::module_path(in_library);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_NE(path, self_exe());
    EXPECT_EQ(::access(path.c_str(), R_OK), 0) << path;
}

TEST(ModulePath, OverridesAnswerUntilCleared)
{
    platform::set_executable_path_override("/opt/host/bin/program");
    platform::set_module_path_override("/srv/lib/libArdentis.so");
    EXPECT_EQ(platform::executable_path(), "/opt/host/bin/program");
    EXPECT_EQ(platform::executable_folder(), "/opt/host/bin");
    EXPECT_EQ(platform::module_path(reinterpret_cast<const void*>(&function_in_this_program)),
              "/srv/lib/libArdentis.so");
    platform::set_executable_path_override("/program");
    EXPECT_EQ(platform::executable_folder(), "/");
    platform::set_executable_path_override("");
    platform::set_module_path_override("");
    EXPECT_EQ(platform::executable_path(), self_exe());
    EXPECT_EQ(platform::module_path(reinterpret_cast<const void*>(&function_in_this_program)), self_exe());
}

TEST(ModulePath, TheProgramIsFoundWhateverNameItWasStartedWith)
{
    // The program started as "decoy" from a folder that holds a file of that name:
    // the name it was started with must not be taken for its file.
    testsupport::TempFolder folder;
    testsupport::write_file(folder / "decoy", "not the program");
    const std::string output = folder / "output.txt";

    std::vector<std::string> args = {"decoy", "--gtest_filter=ModulePath.NamesTheProgramItself"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.path().c_str());
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const std::string exe = self_exe();
    const int started = ::posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(started, 0);
    EXPECT_EQ(testsupport::wait_child(pid, 60000), 0) << testsupport::read_file(output);
}

} // namespace

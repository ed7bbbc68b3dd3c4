#include "platform/DynamicLibrary.h"

#include "platform/ModulePath.h"
#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using testsupport::TempFolder;

namespace {

TEST(LibraryFileNameTest, MapsWindowsNamesToSharedObjects)
{
    const struct {
        const char* name;
        const char* file;
    } cases[] = {
        {"Ardentis.dll", "libArdentis.so"},
        {"Ardentis.DLL", "libArdentis.so"},
        {"a.b.dll", "liba.b.so"},
        {"/opt/korvel/Ardentis.dll", "/opt/korvel/libArdentis.so"},
        {"sub/Ardentis.Dll", "sub/libArdentis.so"},
        {"libz.so.1", "libz.so.1"},
        {"Ardentis", "Ardentis"},
        {".dll", ".dll"},
        {"/opt/.dll", "/opt/.dll"},
        {"Ardentis.dll.bak", "Ardentis.dll.bak"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::library_file_name(c.name), c.file) << c.name;
}

// zlib is on every host this builds on; it stands in for a library of ours.
class DynamicLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override { platform::set_executable_path_override(m_folder / "host"); }
    void TearDown() override { platform::set_executable_path_override(""); }

    // Where the system keeps zlib, found through a symbol of a loaded copy.
    static std::string system_zlib_path()
    {
        platform::LibraryHandle zlib = platform::load_library("libz.so.1");
        if (zlib == nullptr)
            return std::string();
        const std::string path = platform::module_path(platform::find_library_symbol(zlib, "zlibVersion"));
        platform::free_library(zlib);
        return path;
    }

    // The folder a library's symbol was loaded from.
    static std::string loaded_from(platform::LibraryHandle library)
    {
        return platform::module_path(platform::find_library_symbol(library, "zlibVersion"));
    }

    TempFolder m_folder;
};

TEST_F(DynamicLibraryTest, FindsExportsAndReleases)
{
    platform::LibraryHandle zlib = platform::load_library("libz.so.1");
    ASSERT_NE(zlib, nullptr);
    using Version = const char* (*)();
    auto version = reinterpret_cast<Version>(platform::find_library_symbol(zlib, "zlibVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version()[0], '1');
    EXPECT_EQ(platform::find_library_symbol(zlib, "msc_no_such_export"), nullptr);
    EXPECT_EQ(platform::find_library_symbol(zlib, nullptr), nullptr);
    EXPECT_TRUE(platform::free_library(zlib));
}

TEST_F(DynamicLibraryTest, TheExecutablesFolderComesFirst)
{
    const std::string zlib = system_zlib_path();
    ASSERT_FALSE(zlib.empty());
    struct Case {
        const char* file;  // the copy beside the executable
        const char* name;  // what the host loads
    };
    // A Windows name, and a name the system's search would find as well.
    for (const Case& c : {Case{"libArdentis.so", "Ardentis.dll"}, Case{"libz.so.1", "libz.so.1"}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::copy_file(zlib, m_folder / c.file);
        platform::LibraryHandle library = platform::load_library(c.name);
        ASSERT_NE(library, nullptr);
        EXPECT_EQ(loaded_from(library), m_folder / c.file);
        EXPECT_EQ(platform::library_path(library), m_folder / c.file);
        EXPECT_TRUE(platform::free_library(library));
    }
}

TEST_F(DynamicLibraryTest, NameWithFolderLoadsAsItStands)
{
    const std::string zlib = system_zlib_path();
    ASSERT_FALSE(zlib.empty());
    std::filesystem::create_directory(m_folder / "lib");
    std::filesystem::copy_file(zlib, m_folder / "lib/libArdentis.so");

    // Not found beside the executable under the bare name...
    EXPECT_EQ(platform::load_library("Ardentis.dll"), nullptr);
    // ...but through its folder.
    platform::LibraryHandle library = platform::load_library(m_folder / "lib/Ardentis.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(loaded_from(library), m_folder / "lib/libArdentis.so");
    EXPECT_TRUE(platform::free_library(library));
}

TEST_F(DynamicLibraryTest, MissingOrBrokenLibraryGivesNull)
{
    EXPECT_EQ(platform::load_library("KorvelNoSuchLibrary.dll"), nullptr);
    EXPECT_EQ(platform::load_library(""), nullptr);
    // A file beside the executable that is no library is not passed over for the
    // system's copy.
    testsupport::write_file(m_folder / "libz.so.1", std::string(128, 'x'));
    platform::LibraryLoadFailure failure;
    EXPECT_EQ(platform::load_library("libz.so.1", &failure), nullptr);
    EXPECT_EQ(failure.file, m_folder / "libz.so.1");
    EXPECT_EQ(failure.reason, m_folder / "libz.so.1: invalid ELF header");
    EXPECT_FALSE(platform::free_library(nullptr));
    EXPECT_EQ(platform::find_library_symbol(nullptr, "zlibVersion"), nullptr);
}

} // namespace

// The test-only settings the library takes from the environment when it attaches.

#include "exports/LibraryStartup.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

namespace {

// Sets the three variables for one case and clears them again.
class TestEnvironment
{
public:
    TestEnvironment(const char* executable, const char* library, const char* scale)
    {
        Set("ARDENTIS_TEST_EXECUTABLE_FOLDER", executable);
        Set("ARDENTIS_TEST_LIBRARY_FOLDER", library);
        Set("ARDENTIS_TEST_TIME_SCALE", scale);
    }
    ~TestEnvironment()
    {
        ::unsetenv("ARDENTIS_TEST_EXECUTABLE_FOLDER");
        ::unsetenv("ARDENTIS_TEST_LIBRARY_FOLDER");
        ::unsetenv("ARDENTIS_TEST_TIME_SCALE");
    }

private:
    static void Set(const char* name, const char* value)
    {
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
};

} // namespace

TEST(LibraryStartupTest, TestSettingsComeFromTheEnvironment)
{
    struct Case
    {
        const char* executable;
        const char* library;
        const char* scale;
        uint32_t expectedScale;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, 0},
        {"/tmp/exe", "/tmp/lib", "50", 50},
        {"", "", "", 0},
        {"/x", nullptr, "0", 0},
        {nullptr, "/y", "4294967295", 4294967295u},
        // Anything but a whole number is no scale at all.
        {nullptr, nullptr, "4294967296", 0},
        {nullptr, nullptr, "-3", 0},
        {nullptr, nullptr, "12x", 0},
        {nullptr, nullptr, " 12", 0},
        {nullptr, nullptr, "fast", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("scale ") + (c.scale ? c.scale : "(unset)"));
        TestEnvironment environment(c.executable, c.library, c.scale);
        const LibraryTestSettings settings = read_library_test_settings();
        EXPECT_EQ(settings.executableFolder, c.executable ? c.executable : "");
        EXPECT_EQ(settings.libraryFolder, c.library ? c.library : "");
        EXPECT_EQ(settings.timeScale, c.expectedScale);
    }
}

#pragma once

// A fresh folder under the system's temporary folder for one test, removed with
// its contents when the object goes.
//
// A death test of the "threadsafe" style runs the test again in a child process
// that dies before its own folders can be removed. While a ChildFoldersInside
// lives, such a child makes its folders inside the one given, which this
// process removes.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace testsupport {

constexpr char kChildFoldersVariable[] = "KORVEL_TEST_CHILD_FOLDERS";

class TempFolder
{
public:
    TempFolder()
    {
        std::filesystem::path base = std::filesystem::temp_directory_path();
        const char* parent = std::getenv(kChildFoldersVariable);
        if (!GTEST_FLAG_GET(internal_run_death_test).empty() && parent != nullptr && parent[0] != '\0')
            base = parent;
        std::string pattern = (base / "korvel-test-XXXXXX").string();
        if (::mkdtemp(&pattern[0]) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed: " << std::strerror(errno);
            return;
        }
        m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Names the folder to death-test children for its lifetime. Made before any
// thread of the test starts, as it sets the environment.
class ChildFoldersInside
{
public:
    explicit ChildFoldersInside(const TempFolder& folder)
    {
        if (const char* previous = std::getenv(kChildFoldersVariable)) {
            m_previous = previous;
            m_hadPrevious = true;
        }
        ::setenv(kChildFoldersVariable, folder.path().c_str(), 1);
    }
    ~ChildFoldersInside()
    {
        if (m_hadPrevious)
            ::setenv(kChildFoldersVariable, m_previous.c_str(), 1);
        else
            ::unsetenv(kChildFoldersVariable);
    }
    ChildFoldersInside(const ChildFoldersInside&) = delete;
    ChildFoldersInside& operator=(const ChildFoldersInside&) = delete;

private:
    std::string m_previous;
    bool m_hadPrevious = false;
};

} // namespace testsupport

#pragma once

// The built station library placed as "libArdentis.so" beside a pretended
// executable in a temporary folder, where the proxy finds it by the name the
// bridge uses. The library keeps its own copy of the module paths, so it is told
// the same folder through its test environment and writes its files there.

#include "platform/ModulePath.h"
#include "testsupport/ChildProcess.h"

#include <stdlib.h>

#include <filesystem>
#include <string>

class RealArdentisLibrary
{
public:
    RealArdentisLibrary()
    {
        // A fresh copy per test: a new load starts with an empty handle table and
        // reads the test environment again.
        std::filesystem::copy_file(KORVEL_ARDENTIS_LIBRARY, m_folder / "libArdentis.so");
        platform::set_executable_path_override(m_folder / "korvel-orvanta-client");
        ::setenv(kExecutableFolderVariable, m_folder.path().c_str(), 1);
    }
    ~RealArdentisLibrary()
    {
        ::unsetenv(kExecutableFolderVariable);
        platform::set_executable_path_override("");
    }
    RealArdentisLibrary(const RealArdentisLibrary&) = delete;
    RealArdentisLibrary& operator=(const RealArdentisLibrary&) = delete;

    const testsupport::TempFolder& folder() const { return m_folder; }

private:
    static constexpr const char* kExecutableFolderVariable = "ARDENTIS_TEST_EXECUTABLE_FOLDER";

    testsupport::TempFolder m_folder;
};

#pragma once

// The stand-in station library placed as "libArdentis.so" beside a pretended
// executable in a temporary folder, with its script in the test.

#include "FakeArdentis.h"
#include "platform/ModulePath.h"
#include "testsupport/ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

class FakeArdentisLibrary
{
public:
    explicit FakeArdentisLibrary(const char* variant = KORVEL_FAKE_ARDENTIS_WHOLE)
    {
        // A copy, not a link: each test gets a library of its own.
        std::filesystem::copy_file(variant, m_folder / "libArdentis.so");
        platform::set_executable_path_override(m_folder / "korvel-orvanta-client");
        char address[32];
        std::snprintf(address, sizeof(address), "%llx",
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&state)));
        setenv(kFakeArdentisStateVariable, address, 1);
    }
    ~FakeArdentisLibrary()
    {
        unsetenv(kFakeArdentisStateVariable);
        platform::set_executable_path_override("");
    }
    FakeArdentisLibrary(const FakeArdentisLibrary&) = delete;
    FakeArdentisLibrary& operator=(const FakeArdentisLibrary&) = delete;

    const testsupport::TempFolder& folder() const { return m_folder; }

    FakeArdentisState state;

private:
    testsupport::TempFolder m_folder;
};

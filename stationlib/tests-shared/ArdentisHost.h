#pragma once

// The built libArdentis.so as a host sees it: loaded by path, its twelve exports
// bound by name. The library is loaded once per test process, after the test-only
// environment points its folders into a temporary folder and shortens its time
// constants, and unloaded when the tests end.

#include "Ardentis.h"

#include "testsupport/TestFolder.h"

#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

struct ArdentisExports
{
    msc_Initialize_t Initialize = nullptr;
    msc_Finalize_t Finalize = nullptr;
    msc_Create_t Create = nullptr;
    msc_Open_t Open = nullptr;
    msc_Close_t Close = nullptr;
    msc_IsConnected_t IsConnected = nullptr;
    msc_WaitEvent_t WaitEvent = nullptr;
    msc_ReadEvent_t ReadEvent = nullptr;
    msc_ResetEventQueue_t ResetEventQueue = nullptr;
    msc_GetLastError_t GetLastError = nullptr;
    msc_GetInfo_t GetInfo = nullptr;
    msc_IOCtrl_t IOCtrl = nullptr;
};

// Divisor of the library's time constants in these tests: reconnect checks every
// 10 ms, requests wait 6 s, event requests 60 s, pings every 5 s with 500 ms for
// the answer (so a loaded machine does not drop a link in the middle of a test).
constexpr uint32_t kArdentisTimeScale = 10;

class ArdentisHost : public ::testing::Environment
{
public:
    static ArdentisHost& Instance()
    {
        static ArdentisHost* host = [] {
            auto* created = new ArdentisHost;
            ::testing::AddGlobalTestEnvironment(created);
            return created;
        }();
        return *host;
    }

    void SetUp() override
    {
        ASSERT_FALSE(m_folder.Folder().empty());
        namespace fs = std::filesystem;
        for (const char* sub : {"exe", "lib", "cwd"})
            fs::create_directories(m_folder.Path(sub));
        // What the host's folder and the working folder hold before the library comes.
        m_folder.Write("cwd/Ardentis.ini", kLibrarySettings);
        m_previousFolder = fs::current_path().string();
        fs::current_path(m_folder.Path("cwd"));

        ::setenv("ARDENTIS_TEST_EXECUTABLE_FOLDER", m_folder.Path("exe").c_str(), 1);
        ::setenv("ARDENTIS_TEST_LIBRARY_FOLDER", m_folder.Path("lib").c_str(), 1);
        ::setenv("ARDENTIS_TEST_TIME_SCALE", std::to_string(kArdentisTimeScale).c_str(), 1);

        m_library = platform::load_library(ARDENTIS_LIBRARY_PATH);
        ASSERT_NE(m_library, nullptr) << ARDENTIS_LIBRARY_PATH;
        Bind(m_exports.Initialize, "msc_Initialize");
        Bind(m_exports.Finalize, "msc_Finalize");
        Bind(m_exports.Create, "msc_Create");
        Bind(m_exports.Open, "msc_Open");
        Bind(m_exports.Close, "msc_Close");
        Bind(m_exports.IsConnected, "msc_IsConnected");
        Bind(m_exports.WaitEvent, "msc_WaitEvent");
        Bind(m_exports.ReadEvent, "msc_ReadEvent");
        Bind(m_exports.ResetEventQueue, "msc_ResetEventQueue");
        Bind(m_exports.GetLastError, "msc_GetLastError");
        Bind(m_exports.GetInfo, "msc_GetInfo");
        Bind(m_exports.IOCtrl, "msc_IOCtrl");
    }

    void TearDown() override
    {
        if (m_library != nullptr) {
            if (m_exports.Finalize != nullptr)
                m_exports.Finalize();
            EXPECT_TRUE(platform::free_library(m_library));
            m_library = nullptr;
        }
        std::error_code ignored;
        std::filesystem::current_path(m_previousFolder, ignored);
    }

    const ArdentisExports& Exports() const { return m_exports; }
    bool Loaded() const
    {
        return m_library != nullptr && m_exports.IOCtrl != nullptr && m_exports.Initialize != nullptr;
    }
    // Temporary folders: "exe" stands for the host's folder, "lib" for the
    // library's, "cwd" is the working folder.
    const TestFolder& Folder() const { return m_folder; }

    static constexpr const char* kLibrarySettings = "[Main]\r\nKey=Value\r\n";

private:
    ArdentisHost() = default;

    template <class F>
    void Bind(F& function, const char* name)
    {
        function = reinterpret_cast<F>(platform::find_library_symbol(m_library, name));
        EXPECT_NE(function, nullptr) << name;
    }

    TestFolder m_folder;
    std::string m_previousFolder;
    platform::LibraryHandle m_library = nullptr;
    ArdentisExports m_exports;
};

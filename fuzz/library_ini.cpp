// The library's ini files: the instance settings "ardentis.ini" beside the host,
// read over the built-in defaults and written back at once, and the global
// "Ardentis.ini" of the current folder. Checks that a file the library wrote
// reads back to the same settings: writing it again changes no byte.
//
// Input: the file's bytes.

#include "FuzzSupport.h"

#include "config/CConfig.h"
#include "config/CServerClientConfig.h"


#include <unistd.h>

#include <cstdint>
#include <string>

namespace {

struct Harness
{
    fuzzsupport::LibrarySandbox sandbox{"ini"};

    Harness()
    {
        FUZZ_CHECK(::chdir(sandbox.Path().c_str()) == 0, "cannot enter the sandbox");
    }
};

} // namespace

FUZZ_HARNESS_STATE(Harness, "Feeds \"ardentis.ini\" and \"Ardentis.ini\" to the library's settings.")

namespace {

// The settings file as an instance leaves it after reading it.
std::string settle_instance_settings()
{
    CServerClientConfig settings;
    settings.LoadViewSettings();
    settings.GetServerHost();
    settings.GetServerPort();
    settings.GetUserName();
    settings.GetGroupSel();
    settings.GetObjSel();
    return fuzzsupport::ReadFile(harness->sandbox / CServerClientConfig::kFileName);
}

} // namespace


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string instanceFile = harness->sandbox / CServerClientConfig::kFileName;
    fuzzsupport::WriteFile(instanceFile, data, size);
    const std::string first = settle_instance_settings();
    const std::string second = settle_instance_settings();
    FUZZ_CHECK(first == second, "settings written by the library read back differently");

    const char globalName[] = "Ardentis.ini";
    fuzzsupport::WriteFile(harness->sandbox / globalName, data, size);
    CConfig global(globalName, -1, false);
    if (global.Open(globalName)) {
        std::string value;
        global.GetValue("Main", "ServerHost", value);
        global.GetInt("Main", "ServerPort", 0);
    }
    return 0;
}

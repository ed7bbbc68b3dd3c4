#pragma once

#include <cstdint>
#include <string>

class CConfig;
class CMS_HelperClientLib;
template <class T>
class HandleTable;

// Settings that only tests give the library, through the environment: the folder
// to take as the host executable's, the folder to take as the library's own, and
// a divisor of the protocol's time constants. Empty or 0 when not given.
struct LibraryTestSettings
{
    std::string executableFolder;  // ARDENTIS_TEST_EXECUTABLE_FOLDER
    std::string libraryFolder;     // ARDENTIS_TEST_LIBRARY_FOLDER
    uint32_t timeScale = 0;        // ARDENTIS_TEST_TIME_SCALE, a positive decimal number
};

LibraryTestSettings read_library_test_settings();

// The library's attach step, run once before the first export does its work:
// takes the test settings, keeps the module's path and reads the version block.
void library_attach();

// The library settings object: no file name, no defaults, over the current
// directory as it was when the library was loaded. msc_Initialize opens its file;
// nothing reads it.
CConfig& library_settings();

// The exports' table of instances; instances the host never finalised are
// deleted with it when the library is unloaded.
HandleTable<CMS_HelperClientLib>& library_instances();

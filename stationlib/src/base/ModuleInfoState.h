#pragma once

// What the library has read about its own module. One object per loaded library,
// built at load with the library's other globals and read through ModuleInfo.h.

#include "base/ModuleInfo.h"

#include <mutex>
#include <string>

struct ModuleInfoState
{
    std::mutex mutex;
    bool path_read = false;
    const void* named_module = nullptr;  // the module the first call named; null = the executable
    ModuleVersion version;
    std::string product_name;  // the version block's ProductName, empty until attach
};

ModuleInfoState& module_info_state();

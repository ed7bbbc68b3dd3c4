#pragma once

#include <string>

#include "TestFolder.h"
#include "platform/ModulePath.h"

// A fresh temporary folder that stands in for the executable's folder for the
// life of one test.
class ConfigTestFolder : public TestFolder
{
public:
    ConfigTestFolder() { platform::set_executable_path_override(Folder() + "/host"); }
    ~ConfigTestFolder() { platform::set_executable_path_override(std::string()); }
};

#pragma once

#include <string>

#include "platform/ModulePath.h"
#include "testsupport/TestFolder.h"

// A fresh temporary folder that stands in for the executable's folder and the
// library's for the life of one test.
class ConfigTestFolder : public TestFolder
{
public:
    ConfigTestFolder()
    {
        platform::set_executable_path_override(Path("host"));
        platform::set_module_path_override(Path("libArdentis.so"));
    }
    ~ConfigTestFolder()
    {
        platform::set_executable_path_override(std::string());
        platform::set_module_path_override(std::string());
    }
};
